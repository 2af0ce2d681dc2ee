// The one substitution a session file knows: "{{last.KEY}}" stands for the
// text of KEY in the previous answer, so a request can name what an earlier
// one created (a cancel names its order by "request_no").
#pragma once

#include <json/value.h>

#include <string>

namespace tessel::host {

// Replaces each "{{last.KEY}}" in `line` with the text of KEY in
// `lastAnswer`: a string as it is, a number or boolean as written, anything
// else (missing, null, array, object) as nothing. The text is inserted as it
// is, inside whatever quotes the line puts around it, and is not expanded
// again. An unterminated "{{last." is left alone.
inline std::string FillPlaceholders(std::string line, const Json::Value& lastAnswer) {
  static const std::string kOpen = "{{last.";
  for (size_t at = line.find(kOpen); at != std::string::npos; at = line.find(kOpen, at)) {
    const size_t close = line.find("}}", at);
    if (close == std::string::npos) break;
    const std::string key = line.substr(at + kOpen.size(), close - at - kOpen.size());
    const Json::Value& value =
        lastAnswer.isObject() ? lastAnswer[key] : Json::Value::nullSingleton();
    const std::string text =
        value.isConvertibleTo(Json::stringValue) && !value.isNull() ? value.asString() : "";
    line.replace(at, close + 2 - at, text);
    at += text.size();
  }
  return line;
}

}  // namespace tessel::host
