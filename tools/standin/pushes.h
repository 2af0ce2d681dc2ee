// The push frames the simulated server sends: the reports of what changed in
// the book, and any push a test asks for, written with the codec's push
// layouts (EncodeAnswer).
#pragma once

#include <json/value.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "net/frame.h"
#include "tools/standin/book.h"

namespace tessel::standin {

// A push frame for the push connections logged in as `user`.
struct Push {
  std::string user;
  Frame frame;
};

// The pushes reporting `changes`: an execution report (10) and an order
// progress (17) per order change, a fund change (301) or a position change
// (302) per change of cash or holdings. A cancel's execution report carries
// the cancel's number as "request_no" and the order's as "orig_request_no";
// every other report and the order progress carry the order's number.
std::vector<Push> PushesFor(const Book& book, const std::vector<Change>& changes);

// A push frame of `type` holding `values`, keyed as the client reports them;
// nothing for a type that is not a push.
std::optional<Frame> EncodePush(uint32_t type, const Json::Value& values);

}  // namespace tessel::standin
