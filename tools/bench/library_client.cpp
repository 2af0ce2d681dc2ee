#include "tools/bench/library_client.h"

#include <dlfcn.h>
#include <json/reader.h>

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string_view>
#include <thread>

namespace tessel::bench {
namespace {

using Clock = std::chrono::steady_clock;

constexpr uint64_t kLoginContext = 1;
// ModifyPwd contexts come from the caller's trip numbers, kept clear of the login's.
constexpr uint64_t kFirstTripContext = 1000;
constexpr auto kAnswerTimeout = std::chrono::seconds(5);

const std::string kLoginJson =
    R"({"func":"Login","user_name":"trader01","pass_word":"secret","heart_beat":30,)"
    R"("compress":0,"encrypt":0})";
const std::string kModifyPwdJson =
    R"({"func":"ModifyPwd","user_name":"trader01","pass_word":"secret","new_pass_word":"secret"})";

// The request callback has no user pointer besides the context, so the
// answers of this process's one client meet here.
struct AnswerBox {
  std::mutex lock;
  std::condition_variable arrived;
  // Under lock:
  uint64_t last = 0;  // context of the latest answer
  bool failed = false;
  std::string loginText;
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
    if (answer.rfind(R"({"status":)", 0) == 0) box.failed = true;
    if (context == kLoginContext) box.loginText.assign(answer);
    box.last = context;
  }
  box.arrived.notify_one();
}

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

int32_t LibraryClient::Send(const std::string& text, uint64_t context) {
  return plugin_.sendRequest(client_, text.data(), static_cast<int32_t>(text.size()), &OnAnswer,
                             context);
}

bool LibraryClient::LogIn(std::string& why) {
  // SendRequest refuses requests until the main channel's TLS is up.
  bool sent = false;
  for (int attempt = 0; attempt < 200 && !sent; ++attempt) {
    sent = Send(kLoginJson, kLoginContext) == 1;
    if (!sent) std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  if (!sent) {
    why = "the main channel did not come up within 10 s";
    return false;
  }
  if (!AwaitAnswer(kLoginContext, std::chrono::seconds(10))) {
    why = "no login answer";
    return false;
  }
  std::lock_guard<std::mutex> hold(Box().lock);
  if (!LoginSucceeded(Box().loginText)) {
    why = "login refused: " + Box().loginText;
    return false;
  }
  return true;
}

bool LibraryClient::ModifyPwd(uint64_t context) {
  context += kFirstTripContext;
  return Send(kModifyPwdJson, context) == 1 && AwaitAnswer(context, kAnswerTimeout);
}

void LibraryClient::Close() {
  if (client_ != nullptr) plugin_.destroyClient(client_);
  client_ = nullptr;
  if (library_ != nullptr) dlclose(library_);
  library_ = nullptr;
}

}  // namespace tessel::bench
