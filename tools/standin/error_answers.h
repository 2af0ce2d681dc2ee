// Answers that carry only an error in their head: what the stand-in sends
// when a test or the control port asks it to fail a request, and the
// layouts by which the trace reads what the stand-in sends.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "messages/inbound/answer_conventions.h"
#include "net/frame.h"
#include "tools/standin/standin.h"

namespace tessel::standin {

// The layout of the answer to `messageType`: the answer head alone for Login
// and Logout, the codec's own for the others; null for the heartbeat and for
// types nothing answers.
const AnswerLayout* AnswerLayoutOf(uint32_t messageType);

// The answer to `request` holding `reply` and `user` in its head and nothing
// else; nothing when its type has no answer layout.
std::optional<Frame> ErrorAnswer(const ReceivedFrame& request, const std::string& user,
                                 const ErrorReply& reply);

}  // namespace tessel::standin
