// Mapping the server's directory paths into the Wine prefix: names found without
// letter case, and the paths and drives that cannot be mapped.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <string>

#include "base/file_error.h"
#include "base/path_text.h"
#include "config/local_path.h"
#include "support/saved_env.h"

namespace velmoth {
namespace {

namespace fs = std::filesystem;
using testing::SavedEnv;

// A prefix whose drives C:, D:, Q: and Z: all lead to one empty directory.
class LocalPathTest : public ::testing::Test {
 protected:
  LocalPathTest()
      : root_(fs::temp_directory_path() /
              ("velmoth-local-path-" + std::to_string(::getpid()) + "-" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name())) {
    fs::create_directories(drive());
    fs::create_directories(prefix() / "dosdevices");
    for (const char* link : {"c:", "d:", "q:", "z:"}) {
      fs::create_directory_symlink(drive(), prefix() / "dosdevices" / link);
    }
    ::setenv("WINEPREFIX", prefix().c_str(), 1);
  }
  ~LocalPathTest() override { fs::remove_all(root_); }

  const fs::path& root() const { return root_; }
  fs::path prefix() const { return root_ / "pfx"; }
  fs::path drive() const { return root_ / "drive"; }

 private:
  SavedEnv prefix_{"WINEPREFIX"};
  fs::path root_;
};

TEST_F(LocalPathTest, MapsDrivePathsIntoThePrefix) {
  const struct {
    const char* directory;
    const char* expected;  // under the prefix, unless absolute
  } cases[] = {
      {"C:\\Mail\\Bad Mail", "dosdevices/c:/Mail/Bad Mail"},
      {"q:/Mail/Queue", "dosdevices/q:/Mail/Queue"},
      {"D:\\Mail\\\\Bad\\", "dosdevices/d:/Mail/Bad"},
      {"D:\\", "dosdevices/d:"},
      {"Z:\\srv\\mail\\.\\x\\..\\bad", "dosdevices/z:/srv/mail/bad"},
      {"C:\\..\\..\\Mail", "dosdevices/c:/Mail"},
      {"C:\\Mail\\Bad M\u00e4il", "dosdevices/c:/Mail/Bad M\u00e4il"},
      {"/srv/mail/bad\\name", "/srv/mail/bad\\name"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(LocalDirectoryPath(c.directory), prefix() / c.expected) << c.directory;
  }
}

TEST_F(LocalPathTest, FindsNamesWithoutLetterCase) {
  for (const char* dir :
       {"korvane/BadMail", "korvane/queue", "\u00c4rger/\u041f\u043e\u0447\u0442\u0430",
        "\u0141\u00d3D\u0179", "\u039f\u0394\u039f\u03a3"}) {
    fs::create_directories(drive() / dir);
  }
  const struct {
    const char* directory;
    const char* expected;  // on the drive
  } cases[] = {
      {"C:\\KORVANE\\BADMAIL", "korvane/BadMail"},
      {"C:\\korvane\\badmail\\", "korvane/BadMail"},
      {"C:\\Korvane\\Queue", "korvane/queue"},
      {"C:\\KORVANE\\..\\Korvane\\.\\QUEUE", "korvane/queue"},
      // A name with no match stays as written, and so do the names after it.
      {"C:\\KORVANE\\Nothing\\BADMAIL", "korvane/Nothing/BADMAIL"},
      {"C:\\korvane\\BadMail\\Messages", "korvane/BadMail/Messages"},
      // Latin-1 and Cyrillic; Latin Extended-A; Greek with its final sigma.
      {"C:\\\u00e4RGER\\\u043f\u041e\u0427\u0422\u0410",
       "\u00c4rger/\u041f\u043e\u0447\u0442\u0430"},
      {"C:\\\u0142\u00f3d\u017a", "\u0141\u00d3D\u0179"},
      {"C:\\\u03bf\u03b4\u03bf\u03c2", "\u039f\u0394\u039f\u03a3"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(LocalDirectoryPath(c.directory), prefix() / "dosdevices/c:" / c.expected)
        << c.directory;
  }
}

TEST_F(LocalPathTest, TheExactNameWinsOverItsCaseVariants) {
  // Whatever order the directory lists them in, each name finds itself.
  const std::string variants[] = {"mail", "Mail", "MAIL", "mAIL", "MaIl", "mAiL", "maIL", "MAil"};
  for (const std::string& name : variants) fs::create_directories(drive() / name / "x");
  for (const std::string& name : variants) {
    EXPECT_EQ(LocalDirectoryPath("C:\\" + name + "\\X"), prefix() / "dosdevices/c:" / name / "x");
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

TEST_F(LocalPathTest, NamesADriveThePrefixDoesNotMap) {
  for (const char* directory : {"E:\\Mail", "e:\\"}) {
    try {
      LocalDirectoryPath(directory);
      ADD_FAILURE() << "accepted " << directory;
    } catch (const FileError& error) {
      EXPECT_EQ(error.number(), ENOENT) << directory;
      EXPECT_EQ(error.description(), "The drive E: is not mapped in the Wine prefix");
      EXPECT_EQ(error.path(), PathText(prefix() / "dosdevices/e:"));
    }
  }
}

TEST_F(LocalPathTest, PrefixDefaultsToWineInTheHomeDirectory) {
  const SavedEnv home("HOME");
  ::unsetenv("WINEPREFIX");
  ::setenv("HOME", root().c_str(), 1);
  fs::create_directories(root() / ".wine/dosdevices");
  fs::create_directory_symlink(drive(), root() / ".wine/dosdevices/c:");
  EXPECT_EQ(LocalDirectoryPath("C:\\x"), root() / ".wine/dosdevices/c:/x");
}

}  // namespace
}  // namespace velmoth
