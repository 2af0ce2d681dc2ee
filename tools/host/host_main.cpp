// tessel-host: loads libTessel.so (Tessel.dll on Windows) the way a host
// application does (dlopen or LoadLibrary, QueryZephCommInterface), prints
// its descriptor and, given a request file (or "-" for standard input), runs
// a session: one JSON request per line, each sent once its channel is up
// and answered before the next is sent, with every answer, push and status
// report printed as it arrives. A request the library refuses is retried
// only while the channel it needs is not up; any other refusal is printed at
// once with the library's reason, read from its log.
//
// With --console FILE (Linux only) the library's own console lines (it
// writes them on the process's standard output) go to FILE, and the
// terminal keeps only the host's lines.
#include <json/reader.h>
#ifdef _WIN32
#include <windows.h>
#else
#include <dlfcn.h>
#include <fcntl.h>
#include <iconv.h>
#include <unistd.h>
#endif

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "plugin/host_api.h"
#include "tools/host/placeholders.h"
#include "tools/host/library_log.h"
#include "tools/host/refusals.h"
#include "tools/version_option.h"

namespace {

using QueryFn = tessel::PluginDescriptor (*)();
using Clock = std::chrono::steady_clock;

// How long a request may be refused while its channel comes up, and how long
// an answer may take (the plug-in answers every request within 30 s).
constexpr auto kChannelWait = std::chrono::seconds(20);
constexpr long kChannelWaitSeconds = 20;
// A request held back this long gets a line saying what it waits for.
constexpr auto kTellWaiting = std::chrono::seconds(1);
constexpr auto kAnswerWait = std::chrono::seconds(40);
// Reports that follow an answer (an order's pushes) get this long to arrive
// before the next request goes out, so the transcript reads in order.
constexpr auto kSettle = std::chrono::milliseconds(200);

// Where the host's own lines go: the terminal, even once standard output
// carries the library's console lines to a file.
FILE* out = stdout;

#ifdef _WIN32
// Not offered on Windows, where the host's and the library's lines share
// the console.
bool RedirectConsole(const std::string&) { return false; }
#else
// Sends the process's standard output (the library's console) to `path`
// and keeps the terminal for the host's lines.
bool RedirectConsole(const std::string& path) {
  const int terminal = ::dup(STDOUT_FILENO);
  const int file = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (terminal < 0 || file < 0 || ::dup2(file, STDOUT_FILENO) < 0) return false;
  ::close(file);
  out = ::fdopen(terminal, "w");
  if (out == nullptr) return false;
  std::setvbuf(out, nullptr, _IOLBF, 0);
  std::setvbuf(stdout, nullptr, _IOLBF, 0);  // the file stays current while the session runs
  return true;
}
#endif

Json::Value Parse(const std::string& text) {
  Json::Value value;
  std::string errors;
  const std::unique_ptr<Json::CharReader> reader(Json::CharReaderBuilder().newCharReader());
  if (!reader->parse(text.data(), text.data() + text.size(), &value, &errors)) return Json::Value();
  return value;
}

// What a text given to the general callback is: a status report (login,
// logout, connection) or a push message of some type.
std::string Kind(const Json::Value& notice) {
  if (notice.isMember("cmd") || notice.isMember("object")) return "** status";
  if (notice.isMember("push_type")) return "** push " + std::to_string(notice["push_type"].asInt());
  return "** report";
}

#ifdef _WIN32
using LibraryHandle = HMODULE;
constexpr char kSeparator = '\\';

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

// Beside the host, where Windows looks first.
std::string DefaultLibrary() { return ExecutableDirectory() + "Tessel.dll"; }

std::string HomeVariable() {
  const wchar_t* value = _wgetenv(L"TESSEL_HOME");
  return value != nullptr ? Narrow(value, CP_UTF8) : std::string();
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
constexpr char kSeparator = '/';

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

// By name alone: the loader finds it through this program's run path, the
// build folder in a build and the library folder once installed.
std::string DefaultLibrary() { return "libTessel.so"; }

std::string HomeVariable() {
  const char* value = std::getenv("TESSEL_HOME");
  return value != nullptr ? value : std::string();
}

LibraryHandle OpenLibrary(const std::string& path) {
  return dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
}
void* FindSymbol(LibraryHandle library, const char* name) { return dlsym(library, name); }
void CloseLibrary(LibraryHandle library) { dlclose(library); }
std::string LoadError() { return dlerror(); }
#endif

// Where the library reads config/system.xml and ca.pem and writes Log/, as
// it decides: the folder TESSEL_HOME names, or else the executable's own.
// With a trailing separator.
std::string HomeDirectory() {
  std::string named = HomeVariable();
  if (named.empty()) return ExecutableDirectory();
  if (named.back() != '/' && named.back() != '\\') named += kSeparator;
  return named;
}

void PrintDescriptor(const tessel::PluginDescriptor& d) {
  std::fprintf(out, "identifier:   %s\n", d.identifier);
  std::fprintf(out, "display name: %s\n", GbkToUtf8(d.displayName).c_str());
  std::fprintf(out, "english name: %s\n", d.englishName);
  std::fprintf(out, "description:  %s\n", GbkToUtf8(d.description).c_str());
  std::fprintf(out, "extra:        \"%s\"\n", d.extra);
  std::fprintf(out, "flags:        %d\n", d.flags);
  std::fprintf(out, "entry points: CreateClient=%p DestroyClient=%p SendRequest=%p SetRealTrade=%p\n",
              reinterpret_cast<void*>(d.createClient), reinterpret_cast<void*>(d.destroyClient),
              reinterpret_cast<void*>(d.sendRequest), reinterpret_cast<void*>(d.setRealTrade));
  std::fflush(out);
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
    Session& s = Instance();
    const std::string notice(text, static_cast<size_t>(length));
    const Json::Value parsed = Parse(notice);
    {
      std::lock_guard<std::mutex> hold(s.lock_);
      s.links_.Note(parsed);
    }
    s.Print(Kind(parsed), notice);
  }

  // Each channel's state as the status reports so far tell it.
  tessel::host::Links Links() {
    std::lock_guard<std::mutex> hold(lock_);
    return links_;
  }

  static void OnAnswer(const char* text, int32_t length, uint64_t context) {
    Session& s = Instance();
    const std::string answer(text, static_cast<size_t>(length));
    s.Print("<- answer #" + std::to_string(context), answer);
    {
      std::lock_guard<std::mutex> hold(s.lock_);
      s.lastAnswered_ = context;
      s.lastAnswer_ = Parse(answer);
    }
    s.answered_.notify_all();
  }

  // The answer to `context` once it has come, or null after the wait.
  std::optional<Json::Value> WaitForAnswer(uint64_t context) {
    std::unique_lock<std::mutex> hold(lock_);
    if (!answered_.wait_for(hold, kAnswerWait, [&] { return lastAnswered_ >= context; })) {
      return std::nullopt;
    }
    return lastAnswer_;
  }

  void Print(const std::string& what, const std::string& text) {
    std::lock_guard<std::mutex> hold(printLock_);
    std::fprintf(out, "%s: %s\n", what.c_str(), text.c_str());
    std::fflush(out);
  }

 private:
  std::mutex lock_;
  std::condition_variable answered_;
  uint64_t lastAnswered_ = 0;
  Json::Value lastAnswer_;
  tessel::host::Links links_;
  std::mutex printLock_;
};

tessel::host::LibraryLog gLog;

const char* ChannelName(const tessel::host::LoggedRefusal* logged, bool needsPush,
                        const tessel::host::Links& links) {
  if (logged != nullptr) return logged->reason == "push channel down" ? "push" : "main";
  return needsPush && links.main == tessel::host::Link::Up ? "push" : "main";
}

tessel::host::Link LinkOf(const std::string& channel, const tessel::host::Links& links) {
  return channel == "push" ? links.push : links.main;
}

// Why a request will never go as it is: the library's reason, with the
// JSON reader's own words for a syntax error.
std::string RefusalText(const std::optional<tessel::host::LoggedRefusal>& logged,
                        const std::optional<Json::Value>& request, const std::string& complaint) {
  if (logged) {
    if (!request && !complaint.empty()) return logged->reason + " (" + complaint + ")";
    return logged->reason;
  }
  if (!request) return "not JSON (" + complaint + ")";
  return "refused while its channel is up; no reason found in the library's log " +
         gLog.Path();
}

// Why a request is still held back once the wait is over.
std::string StillDownText(const std::string& channel, tessel::host::Link link) {
  const std::string down = channel + " channel down: ";
  const std::string seconds = std::to_string(kChannelWaitSeconds) + " s";
  if (link == tessel::host::Link::Down) {
    return down + "the link was lost and has not come back within " + seconds;
  }
  if (link == tessel::host::Link::Up) return down + "still down after " + seconds;
  return down + "it has not come up within " + seconds + " (is the trade server listening at " +
         "the address and port in " + HomeDirectory() + "config/system.xml?)";
}

// Hands one request to the library, retrying while the channel it needs is
// not up. False when it was refused; the refusal has been printed.
bool HandOver(const tessel::PluginDescriptor& d, tessel::ClientHandle* client,
              const std::string& line, uint64_t context) {
  Session& session = Session::Instance();
  std::string complaint;
  const std::optional<Json::Value> request = tessel::host::ParseRequest(line, complaint);
  const std::string number = "#" + std::to_string(context);
  const auto start = Clock::now();
  bool toldWaiting = false;
  for (;;) {
    // Only this thread hands requests in, so a refusal entry written past
    // this point is this request's.
    const tessel::host::LibraryLog::Mark logEnd = gLog.End();
    if (d.sendRequest(client, line.data(), static_cast<int32_t>(line.size()), &Session::OnAnswer,
                      context) != 0) {
      return true;
    }
    const std::optional<tessel::host::LoggedRefusal> logged =
        tessel::host::NewestRefusal(gLog.ReadFrom(logEnd));
    const tessel::host::Links links = session.Links();
    if (tessel::host::Judge(logged, request, links) == tessel::host::Verdict::Refuse) {
      session.Print("!! refused " + number, RefusalText(logged, request, complaint));
      return false;
    }
    const std::string channel =
        ChannelName(logged ? &*logged : nullptr, tessel::host::NeedsPush(request), links);
    const auto waited = Clock::now() - start;
    if (waited >= kChannelWait) {
      session.Print("!! refused " + number, StillDownText(channel, LinkOf(channel, links)));
      return false;
    }
    if (!toldWaiting && waited >= kTellWaiting) {
      session.Print(".. waiting " + number, channel + " channel not up yet; retrying for up to " +
                                                std::to_string(kChannelWaitSeconds) + " s");
      toldWaiting = true;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
}

int RunSession(const tessel::PluginDescriptor& d, std::istream& requests) {
  Session& session = Session::Instance();
  const std::string dateBefore = tessel::host::LibraryLog::Today();
  tessel::ClientHandle* client = d.createClient(&Session::OnNotify);
  gLog.Locate(HomeDirectory() + "Log" + kSeparator, dateBefore,
              tessel::host::LibraryLog::Today());
  if (client == nullptr) {
    std::fprintf(stderr, "CreateClient failed: is %sconfig/system.xml there?\n",
                 HomeDirectory().c_str());
    return 1;
  }
  int refused = 0;
  int unanswered = 0;
  uint64_t context = 0;
  Json::Value lastAnswer;
  std::string line;
  while (std::getline(requests, line)) {
    if (line.empty() || line[0] == '#') continue;
    line = tessel::host::FillPlaceholders(line, lastAnswer);
    ++context;
    session.Print("-> request #" + std::to_string(context), line);
    if (!HandOver(d, client, line, context)) {
      ++refused;
      continue;
    }
    const std::optional<Json::Value> answer = session.WaitForAnswer(context);
    if (!answer) {
      session.Print("!! no answer #" + std::to_string(context), "");
      ++unanswered;
      continue;
    }
    lastAnswer = *answer;
    std::this_thread::sleep_for(kSettle);
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(300));  // late reports
  d.destroyClient(client);
  session.Print("== session", std::to_string(context) + " requests, " + std::to_string(refused) +
                                   " refused, " + std::to_string(unanswered) + " unanswered");
  return refused == 0 && unanswered == 0 ? 0 : 1;
}

void Usage() {
  std::fprintf(stderr,
               "usage: tessel-host [--library PATH] [--requests FILE|-] [--console FILE]\n"
               "       tessel-host --version\n");
}

}  // namespace

int main(int argc, char** argv) {
  if (tessel::tools::AnsweredVersion(argc, argv, "tessel-host")) return 0;
  // Line by line even into a pipe, so a reader sees each event as it happens.
  std::setvbuf(stdout, nullptr, _IOLBF, 0);
  std::string library = DefaultLibrary();
  std::string requestsPath;
  std::string consolePath;
  for (int i = 1; i < argc; ++i) {
    const std::string option = argv[i];
    if (option == "--library" && i + 1 < argc) {
      library = argv[++i];
    } else if (option == "--requests" && i + 1 < argc) {
      requestsPath = argv[++i];
    } else if (option == "--console" && i + 1 < argc) {
      consolePath = argv[++i];
    } else {
      Usage();
      return 2;
    }
  }
  if (!consolePath.empty() && !RedirectConsole(consolePath)) {
    std::fprintf(stderr, "cannot send the library's console lines to %s\n", consolePath.c_str());
    return 1;
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
