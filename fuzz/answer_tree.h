// The way answers were written before they were written directly: each
// field read into a jsoncpp value tree, the tree printed by jsoncpp's default
// StreamWriter. Kept only to check the direct text against it.
#pragma once

#include <string>

#include "messages/inbound/answer_conventions.h"

namespace tessel::fuzz {

std::string AnswerTextThroughTree(const AnswerLayout& layout, BodyView body);

}  // namespace tessel::fuzz
