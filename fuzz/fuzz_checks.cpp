#include "fuzz/fuzz_checks.h"

#include <json/reader.h>
#include <json/value.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "fuzz/answer_tree.h"
#include "messages/inbound/answer_layouts.h"
#include "messages/outbound/packing.h"
#include "messages/outbound/request_layout.h"
#include "net/frame.h"
#include "plugin/function_table.h"
#include "plugin/request_intake.h"
#include "session/inbound_dispatch.h"
#include "session/pending_requests.h"
#include "session/trade_client.h"
#include "support/server_config.h"

namespace tessel::fuzz {
namespace {

void AbortOnViolation(const char* what, const char* file, int line) {
  std::fprintf(stderr, "%s:%d: broken: %s\n", file, line, what);
  std::abort();
}

ViolationHandler gViolation = &AbortOnViolation;

#define FUZZ_EXPECT(condition)                                        \
  do {                                                                \
    if (!(condition)) gViolation(#condition, __FILE__, __LINE__);     \
  } while (false)

// The input in a heap block of exactly its size, so that a read one byte
// past it is an address-sanitizer report rather than a read of the
// fuzzer's own buffer.
std::unique_ptr<uint8_t[]> ExactCopy(const uint8_t* data, size_t size) {
  std::unique_ptr<uint8_t[]> copy(new uint8_t[size == 0 ? 1 : size]);
  if (size > 0) std::memcpy(copy.get(), data, size);
  return copy;
}

// What the host is promised: text its JSON reader takes, strictly.
bool ParsesAsJsonObject(const char* text, size_t size) {
  static const std::unique_ptr<Json::CharReader> reader = [] {
    Json::CharReaderBuilder builder;
    Json::CharReaderBuilder::strictMode(&builder.settings_);
    return std::unique_ptr<Json::CharReader>(builder.newCharReader());
  }();
  Json::Value value;
  std::string errors;
  return reader->parse(text, text + size, &value, &errors) && value.isObject();
}

size_t ParseAnswerList(const std::string& text, const char* listKey) {
  Json::Value value;
  const std::unique_ptr<Json::CharReader> reader(Json::CharReaderBuilder().newCharReader());
  if (!reader->parse(text.data(), text.data() + text.size(), &value, nullptr)) return 0;
  return value[listKey].size();
}

// ---- request intake ----

struct NamedFunction {
  std::string name;
  uint32_t funcId;
};

const std::vector<NamedFunction>& FunctionList() {
  static const std::vector<NamedFunction> list = [] {
    std::vector<NamedFunction> names;
    for (const auto& [name, funcId] : Functions()) names.push_back({name, funcId});
    return names;
  }();
  return list;
}

size_t QueuedCount(Channel& channel) { return channel.queue.size_approx(); }

// A layout read in table order, with no conditional group: its text rows
// must come back from the packed body as the host sent them.
bool ReadsWholeTable(const RequestLayout& layout) {
  if (layout.custom != nullptr) return false;
  for (const GroupNote& note : layout) {
    if (note.when != nullptr) return false;
  }
  return true;
}

void CheckTextsRoundTrip(const RequestLayout& layout, const Json::Value& request,
                         const uint8_t* body, size_t size) {
  if (!ReadsWholeTable(layout)) return;
  const Json::Value decoded = DecodeRequest(layout, body, size);
  for (const GroupNote& note : layout) {
    for (const RequestField& row : note.group) {
      if (row.rule != Rule::Text) continue;
      const std::string sent = request[row.key].asString();
      if (sent.find('\0') != std::string::npos) continue;  // a C text ends there
      FUZZ_EXPECT(decoded[row.name()].asString() == sent);
    }
  }
}

void CheckPackedFrame(const Frame& frame, const NamedFunction& function, uint64_t requestId) {
  FUZZ_EXPECT(frame.size() >= kFrameOverhead);
  if (frame.size() < kFrameOverhead) return;
  const FrameHeader header = ReadHeader(frame.data());
  const uint32_t bodyLength = header.bodyLength;
  FUZZ_EXPECT(header.magic == kFrameMagic);
  FUZZ_EXPECT(frame.size() == FrameSize(bodyLength));
  FUZZ_EXPECT(bodyLength <= kMaxBodyLength);
  FUZZ_EXPECT(static_cast<uint32_t>(header.messageType) == function.funcId);
  FUZZ_EXPECT(static_cast<uint64_t>(header.requestId) == requestId);
  const uint32_t secondLength = header.secondLength;
  FUZZ_EXPECT(secondLength == 0 || secondLength == bodyLength);
  const size_t trailerAt = frame.size() - kTrailerSize;
  FUZZ_EXPECT(wire::Load<uint32_t>(frame.data() + trailerAt) ==
              FrameChecksum(frame.data(), trailerAt));

  const RequestLayout* layout = FindRequestLayout(function.funcId);
  FUZZ_EXPECT(layout != nullptr);
  if (layout == nullptr || frame.size() != FrameSize(bodyLength)) return;
  FUZZ_EXPECT(secondLength == (layout->secondLengthIsBody ? bodyLength : 0u));
  if (layout->recordSize == 0) {
    FUZZ_EXPECT(bodyLength == layout->bodySize);
  } else {
    FUZZ_EXPECT(bodyLength >= layout->bodySize &&
                (bodyLength - layout->bodySize) % layout->recordSize == 0);
  }
}

void IgnoreAnswer(const char*, int32_t, uint64_t) {}

TradeClient& IntakeClient() {
  static TradeClient* client = new TradeClient();  // lives as long as the fuzzer
  return *client;
}

// ---- frame walk ----

struct WalkRecord {
  std::map<uint64_t, int> answersByContext;
  bool otherChannelAnswered = false;
};
WalkRecord gWalk;

void CountAnswer(const char* text, int32_t length, uint64_t context) {
  ++gWalk.answersByContext[context];
  if (context >= 100) gWalk.otherChannelAnswered = true;
  FUZZ_EXPECT(length >= 0);
  // Login, logout and typed answers are JSON; unknown types answer "".
  if (length > 0) FUZZ_EXPECT(ParsesAsJsonObject(text, static_cast<size_t>(length)));
}

void CheckNotice(const char* text, int32_t length) {
  FUZZ_EXPECT(length > 0 && ParsesAsJsonObject(text, static_cast<size_t>(length)));
}

void AddPending(Channel& channel, uint64_t count, uint64_t contextBase) {
  std::lock_guard<std::mutex> hold(channel.pendingLock);
  channel.pending.clear();
  for (uint64_t id = 1; id <= count; ++id) {
    TradeRequestData request;
    request.requestId = id;
    request.messageType = 4;
    request.callback = &CountAnswer;
    request.context = contextBase + id;
    channel.pending[id] = request;
  }
}

// Where the walk must stop: after every complete frame at the front.
size_t WholeFramesAtFront(const uint8_t* data, size_t size) {
  size_t used = 0;
  while (used < size) {
    const size_t frame = CompleteFrameSize(data + used, size - used);
    if (frame == 0) break;
    // What the walk takes is a whole frame within the body ceiling.
    FUZZ_EXPECT(frame >= kFrameOverhead && frame <= size - used);
    FUZZ_EXPECT(frame == FrameSize(ReadHeader(data + used).bodyLength));
    FUZZ_EXPECT(ReadHeader(data + used).bodyLength <= kMaxBodyLength);
    used += frame;
  }
  return used;
}

void WalkOnce(TradeClient& client, bool push, const uint8_t* data, size_t size) {
  std::unique_ptr<uint8_t[]> copy = ExactCopy(data, size);
  int32_t count = static_cast<int32_t>(size);
  (push ? PushDispatch : MainDispatch)(client, copy.get(), count);
  FUZZ_EXPECT(static_cast<size_t>(count >= 0 ? count : 0) ==
              size - std::min(size, WholeFramesAtFront(copy.get(), size)));
}

// ---- configuration ----

// One file per process, removed when the process ends.
struct TempFile {
  std::string path;
  ~TempFile() { unlink(path.c_str()); }
};

const std::string& ConfigPath() {
  static const TempFile file = [] {
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") +
                          "/tessel-fuzz-config-XXXXXX";
    const int fd = mkstemp(pattern.data());
    if (fd >= 0) close(fd);
    return TempFile{pattern};
  }();
  return file.path;
}

bool IsPort(int32_t port) { return port >= 1 && port <= 65535; }

}  // namespace

void SetViolationHandler(ViolationHandler handler) {
  gViolation = handler != nullptr ? handler : &AbortOnViolation;
}

void RunIntake(const uint8_t* data, size_t size) {
  if (size == 0) return;
  TradeClient& client = IntakeClient();
  client.main.connected = (data[0] & 0x40) == 0;
  client.push.connected = (data[0] & 0x80) == 0;
  const std::vector<NamedFunction>& functions = FunctionList();
  const size_t index = data[0] & 0x3F;
  const std::string rest(reinterpret_cast<const char*>(data + 1), size - 1);
  const std::string text =
      index < functions.size() ? "{\"func\":\"" + functions[index].name + "\"," + rest : rest;
  std::unique_ptr<uint8_t[]> copy =
      ExactCopy(reinterpret_cast<const uint8_t*>(text.data()), text.size());

  const uint64_t seqBefore = client.requestSeq;
  const uint64_t counterBefore = PeekRequestCounter();
  const bool accepted = SubmitRequest(client, reinterpret_cast<const char*>(copy.get()),
                                      static_cast<int32_t>(text.size()), &IgnoreAnswer, 7);
  const uint64_t numbersDrawn = PeekRequestCounter() - counterBefore;
  if (!accepted) {
    // A refused request leaves no trace: no id, no counter value, no frame.
    FUZZ_EXPECT(client.requestSeq == seqBefore);
    FUZZ_EXPECT(numbersDrawn == 0);
    FUZZ_EXPECT(QueuedCount(client.main) == 0 && QueuedCount(client.push) == 0);
    FUZZ_EXPECT(OutstandingCount(client.main) == 0 && OutstandingCount(client.push) == 0);
    return;
  }
  FUZZ_EXPECT(client.requestSeq == seqBefore + 1);
  FUZZ_EXPECT(numbersDrawn <= 1);
  // Read back as the intake reads it (its builder's defaults), for the name
  // the text carries, put there by us or not, and the values it sent.
  Json::Value request;
  {
    const std::unique_ptr<Json::CharReader> reader(Json::CharReaderBuilder().newCharReader());
    FUZZ_EXPECT(reader->parse(text.data(), text.data() + text.size(), &request, nullptr));
  }
  const auto named = Functions().find(request["func"].asString());
  FUZZ_EXPECT(named != Functions().end());
  if (named == Functions().end()) return;
  const NamedFunction function{named->first, named->second};

  const bool onPush = function.name == kPushLoginFunc;
  Channel& target = onPush ? client.push : client.main;
  Channel& other = onPush ? client.main : client.push;
  uint64_t queuedId = 0;
  FUZZ_EXPECT(target.queue.try_dequeue(queuedId));
  FUZZ_EXPECT(QueuedCount(target) == 0 && QueuedCount(other) == 0);
  FUZZ_EXPECT(OutstandingCount(other) == 0);
  std::optional<TradeRequestData> taken = TakePending(target, queuedId);
  FUZZ_EXPECT(taken.has_value() && OutstandingCount(target) == 0);
  if (!taken || taken->frame == nullptr) return;
  const TradeRequestData& queued = *taken;
  FUZZ_EXPECT(queued.requestId == seqBefore + 1);
  FUZZ_EXPECT(queued.messageType == function.funcId);
  FUZZ_EXPECT(queued.callback == &IgnoreAnswer && queued.context == 7);
  CheckPackedFrame(*queued.frame, function, seqBefore + 1);
  const Frame& frame = *queued.frame;
  if (frame.size() >= kFrameOverhead &&
      frame.size() == FrameSize(ReadHeader(frame.data()).bodyLength)) {
    CheckTextsRoundTrip(*FindRequestLayout(function.funcId), request,
                        frame.data() + kHeaderSize, frame.size() - kFrameOverhead);
  }
}

namespace {

// Every answer and push layout; byte 0 of an answer input picks one.
const AnswerLayout& LayoutOf(uint8_t pick) {
  static const std::vector<const AnswerLayout*> layouts = [] {
    std::vector<const AnswerLayout*> all;
    size_t count = 0;
    const AnswerType* answers = AllAnswerTypes(count);
    for (size_t i = 0; i < count; ++i) {
      if (answers[i].layout != nullptr) all.push_back(answers[i].layout);
    }
    const PushType* pushes = AllPushTypes(count);
    for (size_t i = 0; i < count; ++i) all.push_back(pushes[i].layout);
    return all;
  }();
  return *layouts[pick % layouts.size()];
}

}  // namespace

void RunAnswer(const uint8_t* data, size_t size) {
  if (size == 0) return;
  const AnswerLayout& layout = LayoutOf(data[0]);
  std::unique_ptr<uint8_t[]> body = ExactCopy(data + 1, size - 1);
  const BodyView view(body.get(), size - 1);
  const ParsedAnswer parsed = ParseAnswer(layout, view);
  FUZZ_EXPECT(ParsesAsJsonObject(parsed.text.data(), parsed.text.size()));
  FUZZ_EXPECT(parsed.loginLost ==
              (layout.callsReloginGate && view.Int32(layout.errorNoOffset) == kLoginLostErrorNo));
  // Each record is read from bytes of its own: the answer can outgrow the
  // body only by its JSON form, never by reading the same bytes again.
  const RecordBlock* block = layout.records;
  if (block != nullptr && !block->exactlyOne) {
    const size_t records = ParseAnswerList(parsed.text, block->listKey);
    FUZZ_EXPECT(records * RecordSize(block->recordFields) <= view.size());
  }
}

void RunAnswerText(const uint8_t* data, size_t size) {
  if (size == 0) return;
  const AnswerLayout& layout = LayoutOf(data[0]);
  std::unique_ptr<uint8_t[]> body = ExactCopy(data + 1, size - 1);
  const BodyView view(body.get(), size - 1);
  FUZZ_EXPECT(ParseAnswer(layout, view).text == AnswerTextThroughTree(layout, view));
}

void RunFrameWalk(const uint8_t* data, size_t size) {
  if (size < 2) return;
  static TradeClient* client = [] {
    auto* made = new TradeClient();  // lives as long as the fuzzer
    made->hostNotify = &CheckNotice;
    return made;
  }();
  const bool push = (data[0] & 1) != 0;
  const uint64_t pendingCount = (data[0] >> 1) & 7;
  Channel& channel = push ? client->push : client->main;
  Channel& other = push ? client->main : client->push;
  AddPending(channel, pendingCount, 0);
  AddPending(other, (data[0] & 0x10) != 0 ? pendingCount : 0, 100);
  gWalk = WalkRecord{};

  const uint8_t* stream = data + 2;
  const size_t length = size - 2;
  const size_t cut = length * data[1] / 255;
  WalkOnce(*client, push, stream, cut);
  WalkOnce(*client, push, stream, length);

  // Each pending request is answered at most once, only by its own channel,
  // and leaves the pending map when it is.
  size_t answered = 0;
  for (const auto& [context, answers] : gWalk.answersByContext) {
    FUZZ_EXPECT(answers == 1);
    FUZZ_EXPECT(context >= 1 && context <= pendingCount);
    ++answered;
  }
  FUZZ_EXPECT(!gWalk.otherChannelAnswered);
  FUZZ_EXPECT(channel.pending.size() + answered == pendingCount);
  // A relogin asked for by an answer finds no saved login: nothing queued.
  size_t strays = 0;
  for (uint64_t stray = 0;
       client->main.queue.try_dequeue(stray) || client->push.queue.try_dequeue(stray);) {
    ++strays;
  }
  FUZZ_EXPECT(strays == 0);
}

void RunConfig(const uint8_t* data, size_t size) {
  const std::string& path = ConfigPath();
  if (FILE* file = std::fopen(path.c_str(), "wb")) {
    if (size > 0) std::fwrite(data, 1, size, file);
    std::fclose(file);
  }
  ServerConfig servers;
  ServerOptions options;
  const bool loaded = LoadServerConfigFile(path, servers, &options);
  FUZZ_EXPECT(loaded == !servers.empty());
  // A log limit is whole MiB, at most 1 TiB, or none.
  FUZZ_EXPECT(options.logSizeLimit % (1u << 20) == 0 && options.logSizeLimit <= (1ull << 40));
  for (const ServerEntry& server : servers) {
    // Every entry handed to a client can be connected to.
    FUZZ_EXPECT(!server.address.empty());
    FUZZ_EXPECT(IsPort(server.port));
    FUZZ_EXPECT(server.pushaddress.empty() ? server.pushport == 0 : IsPort(server.pushport));
  }
}

}  // namespace tessel::fuzz
