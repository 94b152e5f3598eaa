// The window's handlers over an in-memory list and window: what each command
// does to the list and the queues, and that a failure is shown, not fatal.
#include "app/main_window.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "support/mail_server.h"
#include "support/memory_mail_list.h"
#include "support/recording_file_system.h"

namespace velmoth {
namespace {

using testing::MailServer;
using testing::RecordingFileSystem;

class FakeWindow : public WindowServices {
 public:
  bool IsDeleteTicked() const override { return deleteTicked; }
  void ShowError(const std::string& message) override { errors.push_back(message); }
  void ShowNotice(const std::string& message) override { notices.push_back(message); }
  void StartViewer(const std::filesystem::path& file) override {
    if (viewerMissing) throw FileError(2, "The viewer could not be started", PathText(file));
    viewed.push_back(file);
  }
  void Close() override { closed = true; }

  bool deleteTicked = true;
  bool viewerMissing = false;
  bool closed = false;
  std::vector<std::string> errors;
  std::vector<std::string> notices;
  std::vector<std::filesystem::path> viewed;
};

struct Window : ::testing::Test {
  Window() {
    server.Park("alpha", "Status=Failed");
    server.Park("beta two", "Status=Failed");
    server.Park("spooling", "Status=Spooling");
  }
  std::vector<std::string> Texts() const {
    auto texts = list.Texts();
    std::sort(texts.begin(), texts.end());
    return texts;
  }
  int RowOf(const std::string& name) const {
    for (int row = 1; row <= list.RowCount(); ++row) {
      if (list.RowText(row) == name) return row;
    }
    return 0;
  }

  MailServer server;
  MemoryMailList list;
  FakeWindow window;
  RecordingFileSystem files{server.mail()};
  MainWindowHandlers handlers{list, window, files};
};

TEST_F(Window, LoadListsCandidatesAndAllOrNoneTickEveryRow) {
  handlers.Form_Load();
  EXPECT_EQ(Texts(), (std::vector<std::string>{"alpha", "beta two"}));
  handlers.cmdAll_Click();
  EXPECT_TRUE(list.IsTicked(1) && list.IsTicked(2));
  handlers.cmdNone_Click();
  EXPECT_FALSE(list.IsTicked(1) || list.IsTicked(2));
  EXPECT_TRUE(window.errors.empty());
}

TEST_F(Window, CopyRequeuesTheTickedRowsAndRebuildsTheList) {
  for (const bool deleteTicked : {false, true}) {
    window.deleteTicked = deleteTicked;
    handlers.Form_Load();
    list.SetTicked(RowOf("beta two"), true);
    handlers.cmdCopy_Click();
    EXPECT_TRUE(fs::exists(server.outbound() / "beta two"));
    const std::vector<std::string> left = deleteTicked
                                              ? std::vector<std::string>{"alpha"}
                                              : std::vector<std::string>{"alpha", "beta two"};
    EXPECT_EQ(Texts(), left);
    EXPECT_FALSE(list.IsTicked(1));
  }
}

TEST_F(Window, AFailedCopyIsShownAndTheListStillRebuilt) {
  handlers.Form_Load();
  handlers.cmdAll_Click();
  const fs::path failing = server.outbound() / "messages" / list.RowText(1);
  files.fault = [&](const std::string& step, const fs::path& path) -> std::optional<FileError> {
    if (step != "rename" || path != failing) return std::nullopt;
    return FileError(kErrorAccessDenied, "Access denied", PathText(path));
  };
  handlers.cmdCopy_Click();
  ASSERT_EQ(window.errors.size(), 1u);
  EXPECT_NE(window.errors[0].find("Error " + std::to_string(kErrorAccessDenied) + ": "),
            std::string::npos)
      << window.errors[0];
  EXPECT_NE(window.errors[0].find(PathText(failing)), std::string::npos);
  EXPECT_FALSE(window.closed);
  EXPECT_EQ(list.RowCount(), 2);
}

TEST_F(Window, RowsSkippedByTheCopyAreToldInOneNotice) {
  handlers.Form_Load();
  handlers.cmdAll_Click();
  testing::WriteFile(server.badMail() / "alpha", "Status=Spooling\r\n");
  fs::remove(server.badMail() / "beta two");
  handlers.cmdCopy_Click();
  EXPECT_TRUE(window.errors.empty());
  ASSERT_EQ(window.notices.size(), 1u);
  EXPECT_EQ(window.notices[0],
            "2 messages were skipped and left as they are:\n"
            "1 is no longer a requeue candidate (the server has begun to send it again, or it is "
            "a non-delivery report)\n"
            "1 is no longer in the Bad Mail directory");
  EXPECT_EQ(list.RowCount(), 0);
}

TEST_F(Window, FilesTheScanCouldNotReadAreToldOnce) {
  files.fault = [](const std::string& step, const fs::path& path) -> std::optional<FileError> {
    if (step != "open") return std::nullopt;
    return FileError(kErrorAccessDenied, "Access denied", PathText(path));
  };
  handlers.Form_Load();
  ASSERT_EQ(window.errors.size(), 1u);
  EXPECT_TRUE(window.errors[0].starts_with(
      "3 files in the Bad Mail directory could not be read and are not listed. The first:\n\n"
      "Error "))
      << window.errors[0];
  EXPECT_EQ(list.RowCount(), 0);
}

TEST_F(Window, EveryScanStartsFromAnEmptyListWithNoRowTicked) {
  list.AddRow("stale", "stale");
  list.SetTicked(1, true);
  handlers.Form_Load();
  EXPECT_EQ(Texts(), (std::vector<std::string>{"alpha", "beta two"}));
  handlers.cmdAll_Click();
  window.deleteTicked = false;
  handlers.cmdCopy_Click();
  EXPECT_EQ(Texts(), (std::vector<std::string>{"alpha", "beta two"}));
  EXPECT_FALSE(list.IsTicked(1) || list.IsTicked(2));
  // The hourglass for the load, and for the copy and its rescan, each time back.
  EXPECT_EQ(list.pointerLog, (std::vector<bool>{true, false, true, false, true, false}));
}

TEST_F(Window, CopyWithNothingTickedStillRebuildsTheList) {
  handlers.Form_Load();
  server.Park("gamma", "Status=Failed");
  handlers.cmdCopy_Click();
  EXPECT_EQ(Texts(), (std::vector<std::string>{"alpha", "beta two", "gamma"}));
  EXPECT_TRUE(window.errors.empty() && window.notices.empty());
}

TEST_F(Window, LoadWithoutConfigurationShowsWhyAndLeavesAnEmptyList) {
  server.Configure("", "");
  handlers.Form_Load();
  ASSERT_EQ(window.errors.size(), 1u);
  EXPECT_NE(window.errors[0].find("Bad Mail Directory"), std::string::npos);
  EXPECT_EQ(list.RowCount(), 0);
  EXPECT_FALSE(window.closed);
}

TEST_F(Window, DoubleClickOpensTheSelectedMessageFile) {
  handlers.Form_Load();
  handlers.lvwMail_DblClick();
  EXPECT_TRUE(window.viewed.empty());
  list.selected = RowOf("beta two");
  handlers.lvwMail_DblClick();
  ASSERT_EQ(window.viewed.size(), 1u);
  EXPECT_EQ(window.viewed[0], server.badMail() / "messages" / "beta two");
  window.viewerMissing = true;
  handlers.lvwMail_DblClick();
  EXPECT_EQ(window.errors.size(), 1u);
  EXPECT_FALSE(window.closed);
}

TEST_F(Window, QuitClosesTheWindow) {
  handlers.cmdQuit_Click();
  EXPECT_TRUE(window.closed);
}

}  // namespace
}  // namespace velmoth
