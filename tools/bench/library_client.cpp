#include "tools/bench/library_client.h"

#include "tools/bench/bench_requests.h"
#include "tools/bench/latency.h"

#include <dlfcn.h>
#include <json/reader.h>

#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <string_view>
#include <thread>

namespace tessel::bench {
namespace {

// Login contexts count up from 1; ModifyPwd contexts come from the caller's
// trip numbers, kept clear of them.
constexpr uint64_t kFirstTripContext = 1'000'000;
constexpr auto kAnswerTimeout = std::chrono::seconds(5);

std::string LoginJson(const char* func, const std::string& user) {
  return std::string(R"({"func":")") + func + R"(","user_name":")" + user +
         R"(","pass_word":"secret","heart_beat":30,"compress":0,"encrypt":0})";
}

bool IsStatusText(std::string_view answer) { return answer.rfind(R"({"status":)", 0) == 0; }

// The request callback has no user pointer besides the context, so the
// answers of this process's clients meet here.
struct AnswerBox {
  std::mutex lock;
  std::condition_variable arrived;
  // Under lock:
  uint64_t last = 0;  // context of the latest round-trip answer
  bool failed = false;
  std::map<uint64_t, std::string> logins;  // login answers by context
  uint64_t nextLogin = 1;
  // Pipelined run:
  int64_t outstanding = 0;
  int64_t answered = 0;
  int64_t refillAt = 0;
  bool senderWaiting = false;
};

AnswerBox& Box() {
  static AnswerBox box;
  return box;
}

// Called on a library thread.
void OnAnswer(const char* text, int32_t length, uint64_t context) {
  const std::string_view answer(text, length > 0 ? static_cast<size_t>(length) : 0);
  AnswerBox& box = Box();
  {
    std::lock_guard<std::mutex> hold(box.lock);
    // Cancelled, timed-out and unsent requests are all answered with a
    // {"status":N,...} text; the answers measured here never start that way.
    if (IsStatusText(answer)) box.failed = true;
    if (context < kFirstTripContext) box.logins[context].assign(answer);
    box.last = context;
  }
  box.arrived.notify_all();
}

void OnPipelinedAnswer(const char* text, int32_t length, uint64_t) {
  const std::string_view answer(text, length > 0 ? static_cast<size_t>(length) : 0);
  AnswerBox& box = Box();
  bool wake = false;
  {
    std::lock_guard<std::mutex> hold(box.lock);
    if (IsStatusText(answer)) box.failed = true;
    --box.outstanding;
    ++box.answered;
    // The sender refills in batches, as the bare client does, rather than
    // waking once per answer.
    wake = box.senderWaiting && box.outstanding <= box.refillAt;
    if (wake) box.senderWaiting = false;
  }
  if (wake) box.arrived.notify_all();
}

void IgnoreAnswer(const char*, int32_t, uint64_t) {}

// No spinning first: with two CPUs a spinning waiter takes the core the
// library's send thread and the stand-in need, which measured slower.
bool AwaitAnswer(uint64_t context, Clock::duration timeout) {
  AnswerBox& box = Box();
  std::unique_lock<std::mutex> hold(box.lock);
  return box.arrived.wait_for(hold, timeout, [&] { return box.last == context; }) &&
         !box.failed;
}

bool LoginSucceeded(const std::string& text) {
  Json::Value value;
  std::string errors;
  const std::unique_ptr<Json::CharReader> reader(Json::CharReaderBuilder().newCharReader());
  return reader->parse(text.data(), text.data() + text.size(), &value, &errors) &&
         value.isObject() && value["login_status"].isInt() &&
         value["login_status"].asInt() == 0;
}

}  // namespace

bool LibraryClient::Open(const std::string& libraryPath, std::string& why) {
  library_ = dlopen(libraryPath.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (library_ == nullptr) {
    why = dlerror();
    return false;
  }
  using Query = PluginDescriptor (*)();
  const auto query = reinterpret_cast<Query>(dlsym(library_, "QueryZephCommInterface"));
  if (query == nullptr) {
    why = "no QueryZephCommInterface in " + libraryPath;
    return false;
  }
  plugin_ = query();
  // Push messages and status reports are not part of the measurement.
  client_ = plugin_.createClient([](const char*, int32_t) {});
  if (client_ == nullptr) {
    why = "CreateClient failed (configuration not found?)";
    return false;
  }
  return true;
}

int32_t LibraryClient::Send(ClientHandle* client, const std::string& text,
                            RequestCallback callback, uint64_t context) {
  return plugin_.sendRequest(client, text.data(), static_cast<int32_t>(text.size()), callback,
                             context);
}

bool LibraryClient::LogInClient(ClientHandle* client, const std::string& user, bool push,
                                std::string& why) {
  for (const char* func : {"Login", "Login_Trade_Push"}) {
    if (!push && func[5] != '\0') break;
    uint64_t context = 0;
    {
      std::lock_guard<std::mutex> hold(Box().lock);
      context = Box().nextLogin++;
    }
    // SendRequest refuses requests until the channel's TLS is up.
    const std::string json = LoginJson(func, user);
    bool sent = false;
    for (int attempt = 0; attempt < 400 && !sent; ++attempt) {
      sent = Send(client, json, &OnAnswer, context) == 1;
      if (!sent) std::this_thread::sleep_for(std::chrono::milliseconds(25));
    }
    if (!sent) {
      why = std::string(func) + ": the channel did not come up within 10 s";
      return false;
    }
    AnswerBox& box = Box();
    std::unique_lock<std::mutex> hold(box.lock);
    if (!box.arrived.wait_for(hold, std::chrono::seconds(10),
                              [&] { return box.logins.count(context) != 0; })) {
      why = std::string(func) + ": no answer";
      return false;
    }
    if (!LoginSucceeded(box.logins[context])) {
      why = std::string(func) + " refused: " + box.logins[context];
      return false;
    }
  }
  return true;
}

bool LibraryClient::LogIn(std::string& why, bool push) {
  return LogInClient(client_, "trader01", push, why);
}

bool LibraryClient::ModifyPwd(uint64_t context, int64_t& callNs) {
  context += kFirstTripContext;
  const Clock::time_point start = Clock::now();
  const bool sent = Send(client_, kModifyPwdJson, &OnAnswer, context) == 1;
  callNs = std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now() - start).count();
  return sent && AwaitAnswer(context, kAnswerTimeout);
}

int64_t LibraryClient::Pipelined(int window, Clock::duration duration) {
  AnswerBox& box = Box();
  {
    std::lock_guard<std::mutex> hold(box.lock);
    box.outstanding = 0;
    box.answered = 0;
    box.failed = false;
    box.refillAt = RefillLevel(window);
  }
  const Clock::time_point end = Clock::now() + duration;
  uint64_t context = 0;
  int64_t free = window;
  while (Clock::now() < end) {
    for (; free > 0; --free) {
      {
        std::lock_guard<std::mutex> hold(box.lock);
        ++box.outstanding;
      }
      if (Send(client_, kModifyPwdJson, &OnPipelinedAnswer, ++context) != 1) return -1;
    }
    std::unique_lock<std::mutex> hold(box.lock);
    box.senderWaiting = true;
    if (!box.arrived.wait_for(hold, kAnswerTimeout, [&] { return box.outstanding <= box.refillAt; })) {
      return -1;
    }
    if (box.failed) return -1;
    free = window - box.outstanding;
  }
  std::unique_lock<std::mutex> hold(box.lock);
  const int64_t answered = box.answered;
  // The stragglers are answered before the next measurement starts.
  box.refillAt = 0;
  box.senderWaiting = true;
  box.arrived.wait_for(hold, kAnswerTimeout, [&] {
    box.senderWaiting = true;
    return box.outstanding == 0;
  });
  return box.failed ? -1 : answered;
}

std::vector<int64_t> LibraryClient::OrderSubmitCalls(int count, std::chrono::microseconds gap,
                                                     bool afterRoundTrip) {
  std::vector<int64_t> samples;
  samples.reserve(static_cast<size_t>(count));
  for (int i = 0; i < count; ++i) {
    int64_t unused = 0;
    if (afterRoundTrip && !ModifyPwd(nextTrip_++, unused)) return {};
    const Clock::time_point start = Clock::now();
    const bool sent = Send(client_, kOrderSubmitJson[i % 2], &IgnoreAnswer, 0) == 1;
    samples.push_back(
        std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now() - start).count());
    if (!sent) return {};
    if (!afterRoundTrip) std::this_thread::sleep_for(gap);
  }
  return samples;
}

bool LibraryClient::AddIdleClients(int count, std::string& why) {
  for (int i = 0; i < count; ++i) {
    ClientHandle* client = plugin_.createClient([](const char*, int32_t) {});
    if (client == nullptr) {
      why = "CreateClient failed for an idle client";
      return false;
    }
    idle_.push_back(client);
    // Accounts of their own, so the measured client's pushes reach it alone.
    if (!LogInClient(client, "idle" + std::to_string(i), true, why)) return false;
  }
  return true;
}

void LibraryClient::Close() {
  for (ClientHandle* client : idle_) plugin_.destroyClient(client);
  idle_.clear();
  if (client_ != nullptr) plugin_.destroyClient(client_);
  client_ = nullptr;
  if (library_ != nullptr) dlclose(library_);
  library_ = nullptr;
}

}  // namespace tessel::bench
