// A host that ends badly, run by the end-to-end tests:
//   host_probe LIBRARY exit
//     logs in, says "ready" and returns from main as soon as a line arrives
//     on its standard input, without DestroyClient, while the test drops its
//     links. Exit status 0 is a pass.
//   host_probe LIBRARY kill MARKER
//     logs in, sends a QryMoney whose fund account is MARKER and waits to be
//     killed.
//   host_probe LIBRARY crash MARKER
//     the same, and aborts in the answer's callback.
//   host_probe LIBRARY race MILLISECONDS
//     creates a client on another thread and exits that long after it
//     started, while the creation may still run. Exit status 0 is a pass.
#include <dlfcn.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

#include "tessel.h"

namespace {

void Ignore(const char*, int32_t) {}
void IgnoreAnswer(const char*, int32_t, uint64_t) {}
void CrashOnAnswer(const char*, int32_t, uint64_t) { std::abort(); }

// Registered before anything of the plug-in exists, so it runs after every
// static the plug-in made has been destroyed: the client's threads, busy
// with links the test keeps dropping, get that long to touch one.
void LingerAfterTheStaticsAreGone() {
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
}

bool SendWhenUp(const PluginDescriptor& plugin, TradeClient* client,
                const std::string& text, RequestCallback callback) {
  for (int i = 0; i < 400; ++i) {
    if (plugin.sendRequest(client, text.data(), static_cast<int32_t>(text.size()), callback, 1) ==
        1) {
      return true;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(25));
  }
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) return 2;
  const std::string mode = argv[2];
  if (mode != "exit" && argc != 4) return 2;
  std::atexit(&LingerAfterTheStaticsAreGone);
  void* library = dlopen(argv[1], RTLD_NOW | RTLD_LOCAL);
  if (library == nullptr) return 3;
  auto describe = reinterpret_cast<QueryZephCommInterfaceFn>(
      dlsym(library, "QueryZephCommInterface"));
  const PluginDescriptor plugin = describe();
  if (mode == "race") {
    std::thread([plugin] { plugin.createClient(&Ignore); }).detach();
    std::this_thread::sleep_for(std::chrono::milliseconds(std::atoi(argv[3])));
    std::exit(0);  // the exit handlers run beside a creation that may not be done
  }
  TradeClient* client = plugin.createClient(&Ignore);
  if (client == nullptr) return 4;
  const std::string login =
      R"({"func":"Login","user_name":"trader01","pass_word":"secret","heart_beat":30,)"
      R"("compress":0,"encrypt":0})";
  if (!SendWhenUp(plugin, client, login, &IgnoreAnswer)) return 5;
  if (mode == "exit") {
    std::fprintf(stderr, "ready\n");
    char line[16];
    if (std::fgets(line, sizeof line, stdin) == nullptr) return 6;
    return 0;  // no DestroyClient: the exit handlers run beside the client's threads
  }
  const std::string query =
      std::string(R"({"func":"QryMoney","user_name":"trader01","client_id":"trader01",)") +
      R"("fund_account":")" + argv[3] + R"("})";
  if (!SendWhenUp(plugin, client, query, mode == "crash" ? &CrashOnAnswer : &IgnoreAnswer)) {
    return 7;
  }
  std::this_thread::sleep_for(std::chrono::seconds(30));  // killed long before
  return 8;
}
