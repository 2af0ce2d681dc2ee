// JSON values appended to a text exactly as jsoncpp's default StreamWriter
// prints them (reals to 17 significant digits, non-ASCII as \u escapes of
// its UTF-8 reading), so answers can be written without building a tree.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace tessel::json_text {

void AppendInt(std::string& out, int64_t value);
void AppendUInt(std::string& out, uint64_t value);
// A non-finite value is written as null: JSON has no infinity or NaN.
void AppendReal(std::string& out, double value);
void AppendQuoted(std::string& out, std::string_view text);

// A line break and `depth` tabs: where a member, an element or a closing
// bracket starts.
void AppendBreak(std::string& out, int depth);

}  // namespace tessel::json_text
