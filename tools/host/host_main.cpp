// tessel-host: loads libTessel.so the way a host application does (dlopen,
// QueryZephCommInterface) and prints its descriptor.
#include <dlfcn.h>
#include <iconv.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "plugin/host_api.h"

namespace {

using QueryFn = tessel::PluginDescriptor (*)();

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

std::string LibraryBesideExecutable() {
  char path[4096] = {};
  const ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
  std::string directory = n > 0 ? std::string(path, static_cast<size_t>(n)) : std::string();
  directory = directory.substr(0, directory.rfind('/') + 1);
  return directory + "libTessel.so";
}

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
}

}  // namespace

int main(int argc, char** argv) {
  const std::string library = argc > 1 ? argv[1] : LibraryBesideExecutable();
  void* handle = dlopen(library.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle == nullptr) {
    std::fprintf(stderr, "cannot load %s: %s\n", library.c_str(), dlerror());
    return 1;
  }
  auto query = reinterpret_cast<QueryFn>(dlsym(handle, "QueryZephCommInterface"));
  if (query == nullptr) {
    std::fprintf(stderr, "QueryZephCommInterface not found in %s\n", library.c_str());
    dlclose(handle);
    return 1;
  }
  PrintDescriptor(query());
  dlclose(handle);
  return 0;
}
