#include "tools/standin/control.h"

#include <json/reader.h>
#include <json/writer.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

#include "plugin/function_table.h"
#include "tools/standin/errors.h"

namespace tessel::standin {
namespace {

// How an argument is written in words, and the JSON it must be.
enum class Kind {
  Word,        // a string without spaces
  Integer,     // a whole number within 32 bits
  Number,      // any number
  NameOrType,  // a "func" name, or a message type as a whole number
  Text,        // the rest of the line, spaces and all
  Object,      // the rest of the line: a JSON object
};

struct Arg {
  const char* key = nullptr;  // null: no more arguments
  Kind kind = Kind::Word;
  bool required = true;
};

// Runs a command whose arguments have their kinds; "" when it was done,
// else why not.
using Handler = std::string (*)(StandIn& standIn, const Json::Value& command);

struct Command {
  const char* name;
  const char* words;  // the synopsis
  const char* does;
  Arg args[3];
  Handler run;
};

constexpr int kMaxSeconds = 24 * 60 * 60;
constexpr int kMaxDelayMillis = 10 * 60 * 1000;

std::optional<Channel> ChannelNamed(const Json::Value& name) {
  if (name.asString() == "main") return Channel::Main;
  if (name.asString() == "push") return Channel::Push;
  return std::nullopt;
}

bool InRange(const Json::Value& value, int least, int most) {
  return value.asInt() >= least && value.asInt() <= most;
}

std::string Drop(StandIn& standIn, const Json::Value& command) {
  const std::optional<Channel> channel = ChannelNamed(command["channel"]);
  if (!channel) return "the channel is main or push";
  const std::string how = command.get("how", "close").asString();
  if (how == "close") {
    standIn.DropConnections(*channel);
  } else if (how == "reset") {
    standIn.ResetConnections(*channel);
  } else {
    return "how is close or reset";
  }
  return {};
}

// A fault on one channel for a number of seconds.
std::string ForSeconds(StandIn& standIn, const Json::Value& command,
                       void (StandIn::*fault)(Channel, std::chrono::milliseconds)) {
  const std::optional<Channel> channel = ChannelNamed(command["channel"]);
  if (!channel) return "the channel is main or push";
  if (!InRange(command["seconds"], 0, kMaxSeconds)) return "seconds are 0 to 86400";
  (standIn.*fault)(*channel, std::chrono::seconds(command["seconds"].asInt()));
  return {};
}

std::string Stall(StandIn& standIn, const Json::Value& command) {
  return ForSeconds(standIn, command, &StandIn::StopReadingFor);
}

std::string Silent(StandIn& standIn, const Json::Value& command) {
  return ForSeconds(standIn, command, &StandIn::SilentFor);
}

std::string Delay(StandIn& standIn, const Json::Value& command) {
  if (!InRange(command["ms"], 0, kMaxDelayMillis)) return "ms are 0 to 600000";
  standIn.DelayAnswers(std::chrono::milliseconds(command["ms"].asInt()));
  return {};
}

// "error_no" (or `fallback`) and "error_info", by default the simulator's
// own text for that number.
ErrorReply ReplyIn(const Json::Value& command, int32_t fallback) {
  const int32_t errorNo = command.get("error_no", fallback).asInt();
  return {errorNo, command.isMember("error_info") ? command["error_info"].asString()
                                                  : std::string(ErrorText(errorNo))};
}

std::string Error(StandIn& standIn, const Json::Value& command) {
  const Json::Value& func = command["func"];
  Channel channel = Channel::Main;
  uint32_t type = 0;
  if (func.isString()) {
    const auto found = Functions().find(func.asString());
    if (found == Functions().end()) return "no function is named " + func.asString();
    type = found->second;
    if (found->first == kPushLoginFunc) channel = Channel::Push;
  } else if (func.asInt() >= 0) {
    type = static_cast<uint32_t>(func.asInt());
  }
  if (!standIn.FailNext(channel, type, ReplyIn(command, 0))) {
    return func.asString() + " has no answer to carry an error";
  }
  return {};
}

std::string RefuseLogins(StandIn& standIn, const Json::Value& command) {
  standIn.RefuseLogins(ReplyIn(command, kWrongPassword));
  return {};
}

std::string AcceptLogins(StandIn& standIn, const Json::Value&) {
  standIn.RefuseLogins(std::nullopt);
  return {};
}

std::string Push(StandIn& standIn, const Json::Value& command) {
  const int type = command["type"].asInt();
  if (type < 0 || !standIn.SendPush(Channel::Push, static_cast<uint32_t>(type),
                                    command.get("fields", Json::objectValue))) {
    return "no push has type " + std::to_string(type);
  }
  return {};
}

std::string Price(StandIn& standIn, const Json::Value& command) {
  const Json::Value& mark = command["mark"];
  if (!InRange(mark, 0, 255) ||
      !standIn.SetPrice(static_cast<uint8_t>(mark.asInt()), command["code"].asString(),
                        command["price"].asDouble())) {
    return "no security " + command["code"].asString() + " on market " + mark.asString() +
           ", or a price that is not positive";
  }
  return {};
}

std::string Restart(StandIn& standIn, const Json::Value&) {
  standIn.Stop();
  return standIn.Start() ? std::string() : "cannot start again: are its ports taken?";
}

constexpr Kind kWord = Kind::Word;
constexpr Kind kInteger = Kind::Integer;

const Command kCommands[] = {
    {"drop", "drop main|push [close|reset]",
     "close the link's connections: a TCP close (no TLS close) or a TCP reset",
     {{"channel", kWord}, {"how", kWord, false}}, Drop},
    {"stall", "stall main|push SECONDS",
     "read and write nothing on the link for SECONDS (0 ends it): a hung server",
     {{"channel", kWord}, {"seconds", kInteger}}, Stall},
    {"silent", "silent main|push SECONDS",
     "read but answer nothing on the link for SECONDS (0 ends it)",
     {{"channel", kWord}, {"seconds", kInteger}}, Silent},
    {"delay", "delay MS", "hold every answer MS milliseconds (0 ends it); pushes go at once",
     {{"ms", kInteger}}, Delay},
    {"error", "error FUNC ERROR_NO [TEXT]",
     "answer the next FUNC request (a \"func\" name or a message type) with ERROR_NO and "
     "TEXT, not acting on it",
     {{"func", Kind::NameOrType}, {"error_no", kInteger}, {"error_info", Kind::Text, false}},
     Error},
    {"refuse-logins", "refuse-logins [ERROR_NO [TEXT]]",
     "answer every Login with ERROR_NO (1001) and TEXT until accept-logins",
     {{"error_no", kInteger, false}, {"error_info", Kind::Text, false}}, RefuseLogins},
    {"accept-logins", "accept-logins", "log in again whoever gives the password", {},
     AcceptLogins},
    {"push", "push TYPE [FIELDS]",
     "send a push of TYPE on the push link, FIELDS a JSON object keyed as the client "
     "reports them",
     {{"type", kInteger}, {"fields", Kind::Object, false}}, Push},
    {"price", "price MARK CODE PRICE",
     "set a security's price (MARK 49 Shanghai, 50 Shenzhen); open orders it crosses fill",
     {{"mark", kInteger}, {"code", kWord}, {"price", Kind::Number}}, Price},
    {"restart", "restart",
     "stop the server and start it again on the same ports with the same certificate", {},
     Restart},
};

const Command* Find(const std::string& name) {
  for (const Command& command : kCommands) {
    if (name == command.name) return &command;
  }
  return nullptr;
}

std::string Usage(const Command& command) { return std::string("usage: ") + command.words; }

std::string Names() {
  std::string names;
  for (const Command& command : kCommands) names += (names.empty() ? "" : ", ") + std::string(command.name);
  return names;
}

// "ok" first, for people reading the answers.
std::string AnswerLine(const std::string& error) {
  if (error.empty()) return R"({"ok":true})";
  return R"({"ok":false,"error":)" + Json::valueToQuotedString(error.c_str()) + "}";
}

std::optional<Json::Value> StrictJson(const std::string& text) {
  Json::CharReaderBuilder builder;
  Json::CharReaderBuilder::strictMode(&builder.settings_);
  const std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
  Json::Value value;
  if (!reader->parse(text.data(), text.data() + text.size(), &value, nullptr)) return {};
  return value;
}

bool Fits(const Json::Value& value, Kind kind) {
  switch (kind) {
    case Kind::Word:
    case Kind::Text:
      return value.isString();
    case Kind::Integer:
      return value.isInt();
    case Kind::Number:
      return value.isNumeric();
    case Kind::NameOrType:
      return value.isString() || value.isInt();
    case Kind::Object:
      return value.isObject();
  }
  return false;
}

// Whether `command` carries its arguments, and nothing else, each of its kind.
bool Complete(const Command& entry, const Json::Value& command) {
  size_t known = 1;  // "cmd"
  for (const Arg& arg : entry.args) {
    if (arg.key == nullptr) break;
    if (!command.isMember(arg.key)) {
      if (arg.required) return false;
      continue;
    }
    if (!Fits(command[arg.key], arg.kind)) return false;
    ++known;
  }
  return known == command.size();
}

std::optional<Json::Value> Whole(const std::string& word) {
  char* end = nullptr;
  errno = 0;
  const long long value = std::strtoll(word.c_str(), &end, 10);
  if (errno != 0 || *end != '\0' || value < INT32_MIN || value > INT32_MAX) return {};
  return Json::Value(static_cast<Json::Int>(value));
}

bool TakesRest(Kind kind) { return kind == Kind::Text || kind == Kind::Object; }

// One argument from its word, or from the rest of the line for the kinds
// that take it; nothing when the text cannot be that kind.
std::optional<Json::Value> ArgFromWords(Kind kind, const std::string& text) {
  switch (kind) {
    case Kind::Word:
    case Kind::Text:
      return Json::Value(text);
    case Kind::Integer:
      return Whole(text);
    case Kind::Number: {
      char* end = nullptr;
      const double value = std::strtod(text.c_str(), &end);
      if (end == text.c_str() || *end != '\0') return {};
      return Json::Value(value);
    }
    case Kind::NameOrType: {
      const std::optional<Json::Value> type = Whole(text);
      return type ? type : Json::Value(text);
    }
    case Kind::Object:
      return StrictJson(text);
  }
  return {};
}

// The line's words and where each starts.
std::vector<std::pair<size_t, std::string>> Split(const std::string& line) {
  std::vector<std::pair<size_t, std::string>> words;
  const char* const kSpace = " \t\r";
  for (size_t at = line.find_first_not_of(kSpace); at != std::string::npos;) {
    const size_t end = std::min(line.find_first_of(kSpace, at), line.size());
    words.emplace_back(at, line.substr(at, end - at));
    at = line.find_first_not_of(kSpace, end);
  }
  return words;
}

// The command in words as its JSON object; nothing when the words do not
// fit its synopsis.
std::optional<Json::Value> FromWords(const Command& entry, const std::string& line) {
  const auto words = Split(line);
  Json::Value command(Json::objectValue);
  command["cmd"] = entry.name;
  const size_t end = line.find_last_not_of(" \t\r") + 1;
  size_t next = 1;
  for (const Arg& arg : entry.args) {
    if (arg.key == nullptr || next == words.size()) break;
    const auto& [at, word] = words[next];
    std::optional<Json::Value> value =
        ArgFromWords(arg.kind, TakesRest(arg.kind) ? line.substr(at, end - at) : word);
    if (!value) return {};
    command[arg.key] = std::move(*value);
    next = TakesRest(arg.kind) ? words.size() : next + 1;
  }
  if (next != words.size()) return {};
  return command;
}

}  // namespace

std::string RunControl(StandIn& standIn, const std::string& line) {
  const auto words = Split(line);
  if (words.empty()) return AnswerLine("an empty line is no command");
  std::optional<Json::Value> command;
  const Command* entry = nullptr;
  if (words.front().second.front() == '{') {
    command = StrictJson(line);
    if (!command || !command->isObject() || !(*command)["cmd"].isString()) {
      return AnswerLine("not a JSON object with a \"cmd\" text");
    }
    entry = Find((*command)["cmd"].asString());
  } else {
    entry = Find(words.front().second);
    if (entry != nullptr) command = FromWords(*entry, line);
  }
  if (entry == nullptr) return AnswerLine("no such command; the commands are " + Names());
  if (!command || !Complete(*entry, *command)) return AnswerLine(Usage(*entry));
  return AnswerLine(entry->run(standIn, *command));
}

std::string ControlCommands() {
  std::string list;
  for (const Command& command : kCommands) {
    std::string words = command.words;
    words.resize(std::max<size_t>(words.size() + 2, 34), ' ');
    list += "  " + words + command.does + "\n";
  }
  return list;
}

}  // namespace tessel::standin
