#include "messages/inbound/json_text.h"

#include <charconv>
#include <cmath>
#include <cstdio>

namespace tessel::json_text {
namespace {

template <typename Number>
void AppendDecimal(std::string& out, Number value) {
  char digits[24];
  const std::to_chars_result end = std::to_chars(digits, digits + sizeof digits, value);
  out.append(digits, end.ptr);
}

constexpr unsigned kReplacement = 0xFFFD;

// The code point of the UTF-8 sequence at `at`, moving `at` to its last byte.
// As jsoncpp reads it: the lead byte alone decides the length, continuation
// bytes are not checked, and a cut, overlong or surrogate sequence is U+FFFD.
unsigned ReadCodePoint(const unsigned char*& at, const unsigned char* end) {
  const unsigned lead = *at;
  const auto tail = [&at](int i) { return static_cast<unsigned>(at[i]) & 0x3F; };
  if (lead < 0x80) return lead;
  if (lead < 0xE0) {
    if (end - at < 2) return kReplacement;
    const unsigned point = ((lead & 0x1F) << 6) | tail(1);
    at += 1;
    return point < 0x80 ? kReplacement : point;
  }
  if (lead < 0xF0) {
    if (end - at < 3) return kReplacement;
    const unsigned point = ((lead & 0x0F) << 12) | (tail(1) << 6) | tail(2);
    at += 2;
    if (point >= 0xD800 && point <= 0xDFFF) return kReplacement;
    return point < 0x800 ? kReplacement : point;
  }
  if (lead < 0xF8) {
    if (end - at < 4) return kReplacement;
    const unsigned point = ((lead & 0x07) << 18) | (tail(1) << 12) | (tail(2) << 6) | tail(3);
    at += 3;
    return point < 0x10000 ? kReplacement : point;
  }
  return kReplacement;
}

void AppendEscape(std::string& out, unsigned unit) {
  static constexpr char kHex[] = "0123456789abcdef";
  const char escape[6] = {'\\', 'u', kHex[(unit >> 12) & 0xF], kHex[(unit >> 8) & 0xF],
                          kHex[(unit >> 4) & 0xF], kHex[unit & 0xF]};
  out.append(escape, sizeof escape);
}

void AppendCodePoint(std::string& out, unsigned point) {
  if (point < 0x20) {
    AppendEscape(out, point);
  } else if (point < 0x80) {
    out += static_cast<char>(point);
  } else if (point < 0x10000) {
    AppendEscape(out, point);
  } else {
    point -= 0x10000;
    AppendEscape(out, 0xD800 + ((point >> 10) & 0x3FF));
    AppendEscape(out, 0xDC00 + (point & 0x3FF));
  }
}

// The escape jsoncpp gives a byte by its own name, or null.
const char* NamedEscape(unsigned char byte) {
  switch (byte) {
    case '"': return "\\\"";
    case '\\': return "\\\\";
    case '\b': return "\\b";
    case '\f': return "\\f";
    case '\n': return "\\n";
    case '\r': return "\\r";
    case '\t': return "\\t";
    default: return nullptr;
  }
}

bool IsPlain(unsigned char byte) {
  return byte >= 0x20 && byte < 0x80 && byte != '"' && byte != '\\';
}

}  // namespace

void AppendInt(std::string& out, int64_t value) { AppendDecimal(out, value); }
void AppendUInt(std::string& out, uint64_t value) { AppendDecimal(out, value); }

void AppendReal(std::string& out, double value) {
  if (!std::isfinite(value)) {
    out += "null";
    return;
  }
  char digits[40];
  const int length = std::snprintf(digits, sizeof digits, "%.17g", value);
  bool fraction = false;
  for (int i = 0; i < length; ++i) {
    if (digits[i] == ',') digits[i] = '.';  // a host's locale may use a comma
    fraction = fraction || digits[i] == '.' || digits[i] == 'e';
  }
  out.append(digits, static_cast<size_t>(length));
  if (!fraction) out += ".0";  // still a real when read back
}

void AppendQuoted(std::string& out, std::string_view text) {
  const auto* at = reinterpret_cast<const unsigned char*>(text.data());
  const auto* end = at + text.size();
  out += '"';
  while (at != end) {
    const unsigned char* plain = at;
    while (plain != end && IsPlain(*plain)) ++plain;
    out.append(reinterpret_cast<const char*>(at), static_cast<size_t>(plain - at));
    at = plain;
    if (at == end) break;
    if (const char* named = NamedEscape(*at)) {
      out += named;
    } else {
      AppendCodePoint(out, ReadCodePoint(at, end));
    }
    ++at;
  }
  out += '"';
}

void AppendBreak(std::string& out, int depth) {
  out += '\n';
  out.append(static_cast<size_t>(depth), '\t');
}

}  // namespace tessel::json_text
