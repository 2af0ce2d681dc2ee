// How the simulated server answers each request type. Requests are read
// with the codec's request layouts (DecodeRequest) and answers written with
// its answer layouts (EncodeAnswer), so no wire offset is written down twice.
// To answer one more type, add a handler and a row to a table in answers.cpp.
#pragma once

#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "net/frame.h"
#include "tools/standin/book.h"
#include "tools/standin/pushes.h"
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

// The fields of `request`'s body as the server reads them, for the trace;
// nothing for a type without a layout or a body that does not fit it.
std::optional<Json::Value> ReadRequest(const ReceivedFrame& request);

}  // namespace tessel::standin
