// tessel-host: loads libTessel.so (Tessel.dll on Windows) the way a host
// application does (dlopen or LoadLibrary, QueryZephCommInterface), prints
// its descriptor and, given a request file (or "-" for standard input), runs
// a session: one JSON request per line, each sent once its channel is up
// and answered before the next is sent, with every answer and report
// printed as it arrives.
#ifdef _WIN32
#include <windows.h>
#else
#include <dlfcn.h>
#include <iconv.h>
#include <unistd.h>
#endif

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <mutex>
#include <string>
#include <thread>

#include "plugin/host_api.h"

namespace {

using QueryFn = tessel::PluginDescriptor (*)();
using Clock = std::chrono::steady_clock;

// How long a request may be refused while its channel comes up, and how long
// an answer may take (the plug-in answers every request within 30 s).
constexpr auto kChannelWait = std::chrono::seconds(20);
constexpr auto kAnswerWait = std::chrono::seconds(40);

#ifdef _WIN32
using LibraryHandle = HMODULE;
constexpr char kDefaultLibrary[] = "Tessel.dll";  // beside the host, as Windows looks first

std::wstring Widen(const std::string& text, UINT codePage) {
  const int n = MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()),
                                    nullptr, 0);
  std::wstring wide(static_cast<size_t>(n > 0 ? n : 0), L'\0');
  if (n > 0) {
    MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), wide.data(), n);
  }
  return wide;
}

std::string Narrow(const std::wstring& wide, UINT codePage) {
  const int n = WideCharToMultiByte(codePage, 0, wide.data(), static_cast<int>(wide.size()),
                                    nullptr, 0, nullptr, nullptr);
  std::string text(static_cast<size_t>(n > 0 ? n : 0), '\0');
  if (n > 0) {
    WideCharToMultiByte(codePage, 0, wide.data(), static_cast<int>(wide.size()), text.data(), n,
                        nullptr, nullptr);
  }
  return text;
}

std::string GbkToUtf8(const char* text) { return Narrow(Widen(text, 936), CP_UTF8); }

// With the trailing backslash, in UTF-8.
std::string ExecutableDirectory() {
  wchar_t path[MAX_PATH] = {};
  const DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
  const std::string full = Narrow(std::wstring(path, n), CP_UTF8);
  return full.substr(0, full.find_last_of("\\/") + 1);
}

LibraryHandle OpenLibrary(const std::string& path) {
  return LoadLibraryW(Widen(path, CP_UTF8).c_str());
}
void* FindSymbol(LibraryHandle library, const char* name) {
  return reinterpret_cast<void*>(GetProcAddress(library, name));
}
void CloseLibrary(LibraryHandle library) { FreeLibrary(library); }
std::string LoadError() { return "error " + std::to_string(GetLastError()); }
#else
using LibraryHandle = void*;
constexpr char kDefaultLibrary[] = "../libTessel.so";

std::string GbkToUtf8(const char* text) {
  iconv_t converter = iconv_open("UTF-8", "GBK");
  if (converter == reinterpret_cast<iconv_t>(-1)) return text;
  std::string in(text);
  std::string out(in.size() * 3 + 1, '\0');
  char* inPtr = in.data();
  size_t inLeft = in.size();
  char* outPtr = out.data();
  size_t outLeft = out.size();
  const size_t rc = iconv(converter, &inPtr, &inLeft, &outPtr, &outLeft);
  iconv_close(converter);
  if (rc == static_cast<size_t>(-1)) return text;
  out.resize(out.size() - outLeft);
  return out;
}

std::string ExecutableDirectory() {
  char path[4096] = {};
  const ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
  const std::string full = n > 0 ? std::string(path, static_cast<size_t>(n)) : std::string();
  return full.substr(0, full.rfind('/') + 1);
}

LibraryHandle OpenLibrary(const std::string& path) {
  return dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
}
void* FindSymbol(LibraryHandle library, const char* name) { return dlsym(library, name); }
void CloseLibrary(LibraryHandle library) { dlclose(library); }
std::string LoadError() { return dlerror(); }
#endif

void PrintDescriptor(const tessel::PluginDescriptor& d) {
  std::printf("identifier:   %s\n", d.identifier);
  std::printf("display name: %s\n", GbkToUtf8(d.displayName).c_str());
  std::printf("english name: %s\n", d.englishName);
  std::printf("description:  %s\n", GbkToUtf8(d.description).c_str());
  std::printf("extra:        \"%s\"\n", d.extra);
  std::printf("flags:        %d\n", d.flags);
  std::printf("entry points: CreateClient=%p DestroyClient=%p SendRequest=%p SetRealTrade=%p\n",
              reinterpret_cast<void*>(d.createClient), reinterpret_cast<void*>(d.destroyClient),
              reinterpret_cast<void*>(d.sendRequest), reinterpret_cast<void*>(d.setRealTrade));
  std::fflush(stdout);
}

// What the plug-in tells the host, printed as it arrives; answers also
// wake the session waiting for them.
class Session {
 public:
  static Session& Instance() {
    static Session session;
    return session;
  }

  static void OnNotify(const char* text, int32_t length) {
    Instance().Print("** report", std::string(text, static_cast<size_t>(length)));
  }

  static void OnAnswer(const char* text, int32_t length, uint64_t context) {
    Session& s = Instance();
    s.Print("<- answer #" + std::to_string(context), std::string(text, static_cast<size_t>(length)));
    {
      std::lock_guard<std::mutex> hold(s.lock_);
      s.lastAnswered_ = context;
    }
    s.answered_.notify_all();
  }

  bool WaitForAnswer(uint64_t context) {
    std::unique_lock<std::mutex> hold(lock_);
    return answered_.wait_for(hold, kAnswerWait, [&] { return lastAnswered_ >= context; });
  }

  void Print(const std::string& what, const std::string& text) {
    std::lock_guard<std::mutex> hold(printLock_);
    std::printf("%s: %s\n", what.c_str(), text.c_str());
    std::fflush(stdout);
  }

 private:
  std::mutex lock_;
  std::condition_variable answered_;
  uint64_t lastAnswered_ = 0;
  std::mutex printLock_;
};

bool SendWhenUp(const tessel::PluginDescriptor& d, tessel::TradeClient* client,
                const std::string& line, uint64_t context) {
  const auto giveUp = Clock::now() + kChannelWait;
  while (d.sendRequest(client, line.data(), static_cast<int32_t>(line.size()),
                       &Session::OnAnswer, context) == 0) {
    if (Clock::now() > giveUp) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  return true;
}

int RunSession(const tessel::PluginDescriptor& d, std::istream& requests) {
  Session& session = Session::Instance();
  tessel::TradeClient* client = d.createClient(&Session::OnNotify);
  if (client == nullptr) {
    std::fprintf(stderr, "CreateClient failed: is %sconfig/system.xml there?\n",
                 ExecutableDirectory().c_str());
    return 1;
  }
  int failures = 0;
  uint64_t context = 0;
  std::string line;
  while (std::getline(requests, line)) {
    if (line.empty() || line[0] == '#') continue;
    ++context;
    session.Print("-> request #" + std::to_string(context), line);
    if (!SendWhenUp(d, client, line, context)) {
      session.Print("!! refused #" + std::to_string(context), "channel down or request invalid");
      ++failures;
    } else if (!session.WaitForAnswer(context)) {
      session.Print("!! no answer #" + std::to_string(context), "");
      ++failures;
    }
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(500));  // late reports
  d.destroyClient(client);
  session.Print("== session", std::to_string(context) + " requests, " +
                                   std::to_string(failures) + " failed");
  return failures == 0 ? 0 : 1;
}

void Usage() {
  std::fprintf(stderr, "usage: tessel-host [--library PATH] [--requests FILE|-]\n");
}

}  // namespace

int main(int argc, char** argv) {
  std::string library = ExecutableDirectory() + kDefaultLibrary;
  std::string requestsPath;
  for (int i = 1; i < argc; ++i) {
    const std::string option = argv[i];
    if (option == "--library" && i + 1 < argc) {
      library = argv[++i];
    } else if (option == "--requests" && i + 1 < argc) {
      requestsPath = argv[++i];
    } else {
      Usage();
      return 2;
    }
  }
  const LibraryHandle handle = OpenLibrary(library);
  if (handle == nullptr) {
    std::fprintf(stderr, "cannot load %s: %s\n", library.c_str(), LoadError().c_str());
    return 1;
  }
  auto query = reinterpret_cast<QueryFn>(FindSymbol(handle, "QueryZephCommInterface"));
  if (query == nullptr) {
    std::fprintf(stderr, "QueryZephCommInterface not found in %s\n", library.c_str());
    CloseLibrary(handle);
    return 1;
  }
  const tessel::PluginDescriptor descriptor = query();
  PrintDescriptor(descriptor);
  int result = 0;
  if (requestsPath == "-") {
    result = RunSession(descriptor, std::cin);
  } else if (!requestsPath.empty()) {
    std::ifstream file(requestsPath);
    if (!file) {
      std::fprintf(stderr, "cannot read %s\n", requestsPath.c_str());
      result = 1;
    } else {
      result = RunSession(descriptor, file);
    }
  }
  CloseLibrary(handle);
  return result;
}
