// Mapping the server's directory paths into the Wine prefix, and the paths that
// cannot be mapped.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <cerrno>
#include <string>

#include "config/local_path.h"
#include "base/file_error.h"
#include "base/path_text.h"

namespace velmoth {
namespace {

class LocalPathTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (const char* prefix = ::getenv("WINEPREFIX")) saved_ = prefix;
    ::setenv("WINEPREFIX", "/pfx", 1);
  }
  void TearDown() override {
    if (saved_) {
      ::setenv("WINEPREFIX", saved_->c_str(), 1);
    } else {
      ::unsetenv("WINEPREFIX");
    }
  }

 private:
  std::optional<std::string> saved_;
};

TEST_F(LocalPathTest, MapsDrivePathsIntoThePrefix) {
  const struct {
    const char* directory;
    const char* expected;
  } cases[] = {
      {"C:\\Mail\\Bad Mail", "/pfx/dosdevices/c:/Mail/Bad Mail"},
      {"q:/Mail/Queue", "/pfx/dosdevices/q:/Mail/Queue"},
      {"D:\\Mail\\\\Bad\\", "/pfx/dosdevices/d:/Mail/Bad"},
      {"D:\\", "/pfx/dosdevices/d:"},
      {"Z:\\srv\\mail\\.\\x\\..\\bad", "/pfx/dosdevices/z:/srv/mail/bad"},
      {"C:\\..\\..\\Mail", "/pfx/dosdevices/c:/Mail"},
      {"C:\\Mail\\Bad M\u00e4il", "/pfx/dosdevices/c:/Mail/Bad M\u00e4il"},
      {"/srv/mail/bad\\name", "/srv/mail/bad\\name"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(LocalDirectoryPath(c.directory).string(), c.expected) << c.directory;
  }
}

TEST_F(LocalPathTest, RejectsPathsWithoutADrive) {
  const char* const cases[] = {
      "",
      "\\\\server\\share\\Bad",
      "//server/share",
      "\\Mail\\Bad",
      "Mail\\Bad",
      "C:",
      "C:Mail",
      "1:\\Mail",
      "\u00c4:\\Mail",
  };
  for (const char* directory : cases) {
    try {
      LocalDirectoryPath(directory);
      ADD_FAILURE() << "accepted " << directory;
    } catch (const FileError& error) {
      EXPECT_EQ(error.number(), EINVAL) << directory;
      EXPECT_EQ(error.path(), directory);
    }
  }
}

TEST_F(LocalPathTest, PrefixDefaultsToWineInTheHomeDirectory) {
  ::unsetenv("WINEPREFIX");
  const char* home = ::getenv("HOME");
  if (!home || !*home) GTEST_SKIP() << "no HOME";
  EXPECT_EQ(LocalDirectoryPath("C:\\x"), std::filesystem::path(home) / ".wine/dosdevices/c:/x");
}

}  // namespace
}  // namespace velmoth
