// The server's registry values read from the system.reg of the prefix WINEPREFIX
// names, and read again once the file changes.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>

#include "config/registry.h"

namespace velmoth {
namespace {

namespace fs = std::filesystem;

std::string SystemReg(const std::string& badMail) {
  return "WINE REGISTRY Version 2\n#arch=win64\n\n"
         "[Software\\\\korvane\\\\korvane] 1700000000\n"
         "\"Bad Mail Directory\"=\"C:\\\\Mail\\\\Bad64\"\n\n"
         "[Software\\\\Wow6432Node\\\\korvane\\\\korvane] 1700000000\n"
         "\"Bad Mail Directory\"=\"" +
         badMail +
         "\"\n\n"
         "[Software\\\\korvane\\\\korvane\\\\connectors\\\\smtp] 1700000000\n"
         "\"Outbound Queue Directory\"=str(2):\"D:\\\\Out\"\n";
}

class RegistryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (const char* prefix = ::getenv("WINEPREFIX")) saved_ = prefix;
    prefix_ = fs::temp_directory_path() /
              ("velmoth-registry-" + std::to_string(::getpid()) + "-" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::create_directories(prefix_);
    ::setenv("WINEPREFIX", prefix_.c_str(), 1);
  }
  void TearDown() override {
    if (saved_) {
      ::setenv("WINEPREFIX", saved_->c_str(), 1);
    } else {
      ::unsetenv("WINEPREFIX");
    }
    fs::remove_all(prefix_);
  }
  fs::path file() const { return prefix_ / "system.reg"; }
  void Write(const std::string& text) {
    std::ofstream(file(), std::ios::binary | std::ios::trunc) << text;
  }

 private:
  fs::path prefix_;
  std::optional<std::string> saved_;
};

TEST_F(RegistryTest, ReadsTheServerValuesFromThePrefix) {
  Write(SystemReg("C:\\\\Mail\\\\Bad32"));
  EXPECT_EQ(GetBadMailDirectory(), "C:\\Mail\\Bad32");
  EXPECT_EQ(GetOutboundQueueDirectory(), "D:\\Out");

  fs::remove(file());
  EXPECT_EQ(GetBadMailDirectory(), "");
  fs::create_directory(file());
  EXPECT_EQ(GetBadMailDirectory(), "");
}

TEST_F(RegistryTest, ReadsTheFileAgainOnceItChanges) {
  Write(SystemReg("C:\\\\One"));
  EXPECT_EQ(GetBadMailDirectory(), "C:\\One");
  const auto written = fs::last_write_time(file());

  // Same size, same time: the earlier parse still stands.
  Write(SystemReg("C:\\\\Two"));
  fs::last_write_time(file(), written);
  EXPECT_EQ(GetBadMailDirectory(), "C:\\One");

  fs::last_write_time(file(), written + std::chrono::milliseconds(1));
  EXPECT_EQ(GetBadMailDirectory(), "C:\\Two");

  Write(SystemReg("C:\\\\Two\\\\Longer"));
  fs::last_write_time(file(), written);
  EXPECT_EQ(GetBadMailDirectory(), "C:\\Two\\Longer");
}

}  // namespace
}  // namespace velmoth
