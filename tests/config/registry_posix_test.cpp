// The server's registry values read from the system.reg of the prefix WINEPREFIX
// names, read again once the file changes, and the reason given when there is
// no value to read.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <thread>

#include "base/file_error.h"
#include "config/queue_locations.h"
#include "config/registry.h"
#include "support/saved_env.h"

namespace velmoth {
namespace {

namespace fs = std::filesystem;
using testing::SavedEnv;

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

void WriteFile(const fs::path& file, const std::string& text) {
  std::ofstream(file, std::ios::binary | std::ios::trunc) << text;
}

class RegistryTest : public ::testing::Test {
 protected:
  RegistryTest()
      : root_(fs::temp_directory_path() /
              ("velmoth-registry-" + std::to_string(::getpid()) + "-" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name())) {
    fs::create_directories(root_);
    ::setenv("WINEPREFIX", root_.c_str(), 1);
  }
  ~RegistryTest() override { fs::remove_all(root_); }

  const fs::path& root() const { return root_; }
  fs::path file() const { return root_ / "system.reg"; }
  void Write(const std::string& text) { WriteFile(file(), text); }

 private:
  SavedEnv prefix_{"WINEPREFIX"};
  fs::path root_;
};

TEST_F(RegistryTest, ReadsTheServerValuesFromThePrefix) {
  Write(SystemReg("C:\\\\Mail\\\\Bad32"));
  EXPECT_EQ(GetBadMailDirectory(), "C:\\Mail\\Bad32");
  EXPECT_EQ(GetOutboundQueueDirectory(), "D:\\Out");
  EXPECT_EQ(ReadRegString(kServerKey, kBadMailValue), "C:\\Mail\\Bad32");

  fs::remove(file());
  EXPECT_EQ(GetBadMailDirectory(), "");
  fs::create_directory(file());
  EXPECT_EQ(GetBadMailDirectory(), "");
}

TEST_F(RegistryTest, AnEmptyQueueDirectoryIsAnError) {
  Write(SystemReg(""));
  EXPECT_EQ(GetBadMailDirectory(), "");
  try {
    RegistryQueueLocations().Directory(Queue::kBadMail);
    ADD_FAILURE() << "no error";
  } catch (const FileError& error) {
    EXPECT_EQ(error.number(), ENOENT);
    EXPECT_EQ(error.description(), "The registry value \"Bad Mail Directory\" is empty");
    EXPECT_EQ(error.path(), "HKEY_LOCAL_MACHINE\\SOFTWARE\\korvane\\korvane");
  }
}

TEST_F(RegistryTest, FailuresNameTheirCause) {
  const std::string key = "HKEY_LOCAL_MACHINE\\SOFTWARE\\korvane\\korvane";
  const std::string head = "WINE REGISTRY Version 2\n\n[Software\\\\korvane\\\\korvane] 1\n";
  // Each case sets up its own prefix in `dir`; the path is under `dir` unless it
  // names a registry key.
  struct Case {
    const char* what;
    std::function<void(const fs::path& dir)> arrange;
    int number;
    std::string description;
    std::string path;
  };
  const Case cases[] = {
      {"prefix missing",
       [](const fs::path& dir) { ::setenv("WINEPREFIX", (dir / "gone").c_str(), 1); }, ENOENT,
       "The Wine prefix does not exist", "gone"},
      {"no ~/.wine",
       [](const fs::path& dir) {
         ::unsetenv("WINEPREFIX");
         ::setenv("HOME", dir.c_str(), 1);
       },
       ENOENT, "The Wine prefix does not exist", ".wine"},
      {"prefix a file",
       [](const fs::path& dir) {
         WriteFile(dir / "file", "");
         ::setenv("WINEPREFIX", (dir / "file").c_str(), 1);
       },
       ENOTDIR, "The Wine prefix is not a directory", "file"},
      {"no system.reg", [](const fs::path&) {}, ENOENT,
       "The Wine registry cannot be read: No such file or directory", "system.reg"},
      {"system.reg a directory",
       [](const fs::path& dir) { fs::create_directory(dir / "system.reg"); }, EINVAL,
       "The Wine registry is not a regular file", "system.reg"},
      {"system.reg a link to itself",
       [](const fs::path& dir) { fs::create_symlink("system.reg", dir / "system.reg"); }, ELOOP,
       "The Wine registry cannot be read: Too many levels of symbolic links", "system.reg"},
      {"key missing",
       [](const fs::path& dir) { WriteFile(dir / "system.reg", "WINE REGISTRY Version 2\n"); },
       ENOENT, "The registry key does not exist", key},
      {"value missing",
       [&](const fs::path& dir) { WriteFile(dir / "system.reg", head + "\"Other\"=\"x\"\n"); },
       ENOENT, "The registry value \"Bad Mail Directory\" does not exist", key},
      {"value a number",
       [&](const fs::path& dir) {
         WriteFile(dir / "system.reg", head + "\"Bad Mail Directory\"=dword:00000001\n");
       },
       EINVAL, "The registry value \"Bad Mail Directory\" is not a string", key},
  };
  for (const Case& c : cases) {
    const fs::path dir = root() / c.what;
    fs::create_directories(dir);
    const SavedEnv prefix("WINEPREFIX");
    const SavedEnv home("HOME");
    ::setenv("WINEPREFIX", dir.c_str(), 1);
    c.arrange(dir);
    const std::string path = c.path.starts_with("HKEY_") ? c.path : (dir / c.path).string();
    try {
      ReadRegString(kServerKey, kBadMailValue);
      ADD_FAILURE() << c.what << ": no error";
    } catch (const FileError& error) {
      EXPECT_EQ(error.number(), c.number) << c.what;
      EXPECT_EQ(error.description(), c.description) << c.what;
      EXPECT_EQ(error.path(), path) << c.what;
    }
    EXPECT_EQ(GetRegString(kServerKey, kBadMailValue), "") << c.what;
  }
}

TEST_F(RegistryTest, ReadsTheFileAgainOnceItChanges) {
  // Every version has the same size, and most come within the same clock tick as
  // the one before: only the file's change time or inode may tell them apart.
  const std::string before = SystemReg("C:\\\\Old");
  const struct {
    const char* what;
    std::function<void(const fs::path& file)> rewrite;
  } cases[] = {
      {"in place", [](const fs::path& file) { WriteFile(file, SystemReg("C:\\\\New")); }},
      {"in place, with the old modification time",
       [](const fs::path& file) {
         const auto modified = fs::last_write_time(file);
         WriteFile(file, SystemReg("C:\\\\New"));
         fs::last_write_time(file, modified);
       }},
      {"by renaming a new file over it, as Wine saves it",
       [](const fs::path& file) {
         WriteFile(file.string() + ".tmp", SystemReg("C:\\\\New"));
         fs::rename(file.string() + ".tmp", file);
       }},
  };
  for (const auto& c : cases) {
    Write(before);
    EXPECT_EQ(GetBadMailDirectory(), "C:\\Old") << c.what;
    c.rewrite(file());
    EXPECT_EQ(GetBadMailDirectory(), "C:\\New") << c.what;
  }

  Write(SystemReg("C:\\\\New\\\\Longer"));
  EXPECT_EQ(GetBadMailDirectory(), "C:\\New\\Longer");
}

TEST_F(RegistryTest, SeesAChangeToAFileReadLongAfterItWasWritten) {
  Write(SystemReg("C:\\\\Old"));
  const auto modified = fs::last_write_time(file());
  std::this_thread::sleep_for(std::chrono::milliseconds(3100));
  EXPECT_EQ(GetBadMailDirectory(), "C:\\Old");
  Write(SystemReg("C:\\\\New"));
  fs::last_write_time(file(), modified);
  EXPECT_EQ(GetBadMailDirectory(), "C:\\New");
}

}  // namespace
}  // namespace velmoth
