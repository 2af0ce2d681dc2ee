// The library as a host sees it: loaded with dlopen, reached only through
// QueryZephCommInterface.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstring>

#include "platform/system.h"
#include "plugin/host_api.h"
#include "support/server_config.h"
#include "test_support.h"

namespace tessel {
namespace {

class LoadedPlugin : public ::testing::Test {
 protected:
  void SetUp() override {
    handle_ = dlopen(TESSEL_LIBRARY_PATH, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(handle_, nullptr) << dlerror();
    query_ = reinterpret_cast<PluginDescriptor (*)()>(dlsym(handle_, "QueryZephCommInterface"));
    ASSERT_NE(query_, nullptr);
  }
  void TearDown() override {
    if (handle_ != nullptr) dlclose(handle_);
  }

  void* handle_ = nullptr;
  PluginDescriptor (*query_)() = nullptr;
};

TEST_F(LoadedPlugin, DescriptorIsStableAndHoldsGbkTexts) {
  const PluginDescriptor first = query_();
  const PluginDescriptor second = query_();
  EXPECT_EQ(std::memcmp(&first, &second, 40), 0);
  EXPECT_EQ(std::memcmp(reinterpret_cast<const char*>(&first) + 48,
                        reinterpret_cast<const char*>(&second) + 48, 32),
            0);
  EXPECT_STREQ(first.identifier, "Ferrule");
  EXPECT_STREQ(first.displayName, "Tessel");
  EXPECT_STREQ(first.englishName, "Stock tessel");
  EXPECT_STREQ(first.extra, "");
  EXPECT_EQ(first.flags, 0);
  // GBK bytes of the description's first two characters, "提供".
  EXPECT_EQ(std::strncmp(first.description, "\xCC\xE1\xB9\xA9", 4), 0);
  EXPECT_EQ(std::strlen(first.description), 34u);
  EXPECT_NE(first.createClient, nullptr);
  EXPECT_NE(first.setRealTrade, nullptr);
}

TEST_F(LoadedPlugin, NullHandlesAndBadArgumentsAreHarmless) {
  const PluginDescriptor d = query_();
  d.destroyClient(nullptr);
  d.setRealTrade(nullptr, 0);
  EXPECT_EQ(d.sendRequest(nullptr, "{}", 2, nullptr, 0), 0);
}

TEST_F(LoadedPlugin, ClientWithoutServersIsNotCreatedButTheLogIsOpened) {
  const std::string configDir = ModuleDirectory() + "/config";
  platform::EnsureDirectory(configDir);
  testing::WriteFile(configDir + "/system.xml", "<Root><TesselServer/></Root>");
  const PluginDescriptor d = query_();
  EXPECT_EQ(d.createClient(nullptr), nullptr);

  const platform::LocalDateTime today = platform::LocalNow();
  char name[64];
  std::snprintf(name, sizeof name, "/Log/%04d%02d%02d.tessel.log", today.year, today.month,
                today.day);
  const std::string log = testing::ReadFile(ModuleDirectory() + name);
  EXPECT_NE(log.find("\xC6\xF4\xB6\xAF\xC8\xD5\xD6\xBE_  Log\r\n"), std::string::npos);
}

}  // namespace
}  // namespace tessel
