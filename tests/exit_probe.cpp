// A host that exits without DestroyClient: loads the plug-in, logs in,
// says "ready", and returns from main as soon as a line arrives on its
// standard input, while the test drops its links. Exit status 0 is a pass.
#include <dlfcn.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

#include "plugin/host_api.h"

namespace {

void Ignore(const char*, int32_t) {}

// Registered before anything of the plug-in exists, so it runs after every
// static the plug-in made has been destroyed: the client's threads, busy
// with links the test keeps dropping, get that long to touch one.
void LingerAfterTheStaticsAreGone() {
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
}
void IgnoreAnswer(const char*, int32_t, uint64_t) {}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) return 2;
  std::atexit(&LingerAfterTheStaticsAreGone);
  void* library = dlopen(argv[1], RTLD_NOW | RTLD_LOCAL);
  if (library == nullptr) return 3;
  auto query = reinterpret_cast<tessel::PluginDescriptor (*)()>(
      dlsym(library, "QueryZephCommInterface"));
  const tessel::PluginDescriptor plugin = query();
  tessel::TradeClient* client = plugin.createClient(&Ignore);
  if (client == nullptr) return 4;
  const std::string login =
      R"({"func":"Login","user_name":"trader01","pass_word":"secret","heart_beat":30,)"
      R"("compress":0,"encrypt":0})";
  bool sent = false;
  for (int i = 0; i < 400 && !sent; ++i) {
    sent = plugin.sendRequest(client, login.data(), static_cast<int32_t>(login.size()),
                              &IgnoreAnswer, 1) == 1;
    if (!sent) std::this_thread::sleep_for(std::chrono::milliseconds(25));
  }
  if (!sent) return 5;
  std::fprintf(stderr, "ready\n");
  char line[16];
  if (std::fgets(line, sizeof line, stdin) == nullptr) return 6;
  return 0;  // no DestroyClient: the exit handlers run beside the client's threads
}
