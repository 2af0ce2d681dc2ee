// How the stand-in answers each request type. To answer one more type, add
// a function and a row to the table in answers.cpp.
#pragma once

#include <mutex>
#include <optional>
#include <string>
#include <string_view>

#include "net/frame.h"
#include "tools/standin/standin.h"

namespace tessel::standin {

// The one password the stand-in checks, shared by every connection.
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

// What an answer may consult or change besides the request itself.
struct AnswerContext {
  Credentials& credentials;
  std::string& lastUser;  // last user logged in on this connection
};

// The answer frame for `request`, or nothing when its type goes unanswered.
std::optional<Frame> AnswerFor(const ReceivedFrame& request, AnswerContext& context);

}  // namespace tessel::standin
