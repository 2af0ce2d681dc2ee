// How the simulated server answers each request type, and the pushes that
// report changes to the book. Requests are read with the codec's request
// layouts (DecodeRequest) and answers written with its answer layouts
// (EncodeAnswer), so no wire offset is written down twice. To answer one more
// type, add a handler and a row to the table in answers.cpp.
#pragma once

#include <json/value.h>

#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "net/frame.h"
#include "tools/standin/book.h"
#include "tools/standin/standin.h"

namespace tessel::standin {

// The one password the server checks, shared by every connection.
class Credentials {
 public:
  void Set(std::string password);
  // True when no password is configured or `given` equals it.
  bool Accepts(std::string_view given) const;
  // Replaces the password with `next` when `current` is accepted, as one step.
  bool Change(std::string_view current, std::string_view next);

 private:
  mutable std::mutex mutex_;
  std::string password_;
};

// The book shared by every connection; hold `lock` for any use of `book`.
struct SharedBook {
  std::mutex lock;
  Book book;
};

// A push frame for the push connections logged in as `user`.
struct Push {
  std::string user;
  Frame frame;
};

// What an answer may consult or change besides the request itself.
struct AnswerContext {
  Credentials& credentials;
  std::string& lastUser;  // user logged in on this connection, "" when none
  SharedBook& book;
  // Queues what a request changed for the push channel. Called with the
  // book's lock held, so pushes leave in the order the book changed.
  std::function<void(std::vector<Push>&)> deliver;
};

// The answer frame for `request`, or nothing when its type goes unanswered.
std::optional<Frame> AnswerFor(const ReceivedFrame& request, AnswerContext& context);

// The pushes reporting `changes`: an execution report (10) and an order
// progress (17) per order change, a fund change (301) or a position change
// (302) per change of cash or holdings.
std::vector<Push> PushesFor(const Book& book, const std::vector<Change>& changes);

// A push frame of `type` holding `values`, keyed as the client reports them;
// nothing for a type that is not a push.
std::optional<Frame> EncodePush(uint32_t type, const Json::Value& values);

}  // namespace tessel::standin
