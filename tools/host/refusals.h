// What the host tool needs to tell a refused request that will go once its
// channel is up from one that never will: the state of each channel, as the
// status reports tell it, and the library's own reason, as its log tells it.
// SendRequest returns only 0 or 1; the log entry is the only place the
// library says why.
#pragma once

#include <json/reader.h>
#include <json/value.h>

#include <memory>
#include <optional>
#include <string>

namespace tessel::host {

// A channel is "coming up" until its first report: the library connects on
// its own at CreateClient, and a connected channel takes its Login before any
// report says so.
enum class Link { ComingUp, Up, Down };

struct Links {
  Link main = Link::ComingUp;
  Link push = Link::ComingUp;

  // Takes in one text from the general callback. "ConnectStatus" reports
  // say up (1) or lost (2) per connection type (2 main, 3 push); an accepted
  // Login report says up as well. A refused Login changes nothing: the link
  // is connected but not logged in, and requests are still taken.
  void Note(const Json::Value& report) {
    if (!report.isObject()) return;
    Link* link = nullptr;
    const Json::Value& type = report["connection_type"];
    if (type.isIntegral()) {
      if (type.asLargestInt() == 2) link = &main;
      if (type.asLargestInt() == 3) link = &push;
    }
    if (link == nullptr) return;
    const Json::Value& cmd = report["cmd"];
    const Json::Value& status = report["connection_status"];
    if (cmd.isString() && cmd.asString() == "ConnectStatus" && status.isIntegral()) {
      if (status.asLargestInt() == 1) *link = Link::Up;
      if (status.asLargestInt() == 2) *link = Link::Down;
      return;
    }
    const Json::Value& object = report["object"];
    const Json::Value& login = report["login_status"];
    if (object.isString() && object.asString() == "Login" && login.isIntegral() &&
        login.asLargestInt() == 0) {
      *link = Link::Up;
    }
  }
};

// The library's refusal entry: "<func> - <reason>".
struct LoggedRefusal {
  std::string func;
  std::string reason;
};

// The newest refusal entry in `logText`, the bytes the log gained while the
// request was handed over. Entries read "stamp:Request_Refused  content:F - R"
// and end in CR LF; F is the request's "func" (any text), R the library's
// reason, which never holds " - ".
inline std::optional<LoggedRefusal> NewestRefusal(const std::string& logText) {
  static const std::string kMark = ":Request_Refused  content:";
  const size_t at = logText.rfind(kMark);
  if (at == std::string::npos) return std::nullopt;
  const size_t begin = at + kMark.size();
  size_t end = logText.find("\r\n", begin);
  if (end == std::string::npos) end = logText.size();
  const std::string content = logText.substr(begin, end - begin);
  const size_t dash = content.rfind(" - ");
  if (dash == std::string::npos) return LoggedRefusal{"", content};
  return LoggedRefusal{content.substr(0, dash), content.substr(dash + 3)};
}

// Which channel, if any, a reason says was missing.
inline bool SaysChannelDown(const std::string& reason) {
  return reason == "main channel down" || reason == "push channel down";
}

// The request's JSON as the library reads it (the same default reader), or
// the reader's complaint on one line.
inline std::optional<Json::Value> ParseRequest(const std::string& text, std::string& complaint) {
  Json::Value value;
  std::string errors;
  const std::unique_ptr<Json::CharReader> reader(Json::CharReaderBuilder().newCharReader());
  if (reader->parse(text.data(), text.data() + text.size(), &value, &errors)) return value;
  // jsoncpp writes "* Line 1, Column 5\n  Missing '}'...\n": one line of it.
  complaint.clear();
  bool blank = true;
  for (char c : errors) {
    const bool space = c == '\n' || c == '\r' || c == '\t' || c == ' ';
    if (space) {
      if (!blank) complaint += ' ';
      blank = true;
    } else if (!(c == '*' && complaint.empty())) {
      complaint += c;
      blank = false;
    }
  }
  while (!complaint.empty() && complaint.back() == ' ') complaint.pop_back();
  return std::nullopt;
}

// The push login is the one request that needs the push channel as well.
inline bool NeedsPush(const std::optional<Json::Value>& request) {
  return request && request->isObject() && (*request)["func"].isString() &&
         (*request)["func"].asString() == "Login_Trade_Push";
}

enum class Verdict { Wait, Refuse };

// After a refusal: wait and retry only when the request is held back by a
// channel that is not up yet. A logged reason decides (the library checks
// the channels after the JSON and the function name and before the keys, so
// anything else it names will never change); without one, the request's own
// JSON and the status reports do.
inline Verdict Judge(const std::optional<LoggedRefusal>& logged,
                     const std::optional<Json::Value>& request, const Links& links) {
  if (logged) return SaysChannelDown(logged->reason) ? Verdict::Wait : Verdict::Refuse;
  if (!request || !request->isObject() || !(*request)["func"].isString()) return Verdict::Refuse;
  const bool up = links.main == Link::Up && (!NeedsPush(request) || links.push == Link::Up);
  return up ? Verdict::Refuse : Verdict::Wait;
}

}  // namespace tessel::host
