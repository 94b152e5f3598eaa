// The window's handlers over an in-memory list and window: what each command
// does to the list and the queues, and that a failure is shown, not fatal.
#include "app/main_window.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "support/memory_mail_list.h"
#include "support/mail_server.h"

namespace velmoth {
namespace {

using testing::MailServer;

class FakeWindow : public WindowServices {
 public:
  bool IsDeleteTicked() const override { return deleteTicked; }
  void ShowError(const std::string& message) override { errors.push_back(message); }
  void StartViewer(const std::filesystem::path& file) override {
    if (viewerMissing) throw FileError(2, "The viewer could not be started", PathText(file));
    viewed.push_back(file);
  }
  void Close() override { closed = true; }

  bool deleteTicked = true;
  bool viewerMissing = false;
  bool closed = false;
  std::vector<std::string> errors;
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
  NativeFileSystem files;
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
  fs::remove(server.badMail() / "messages" / "alpha");
  handlers.cmdCopy_Click();
  ASSERT_EQ(window.errors.size(), 1u);
  EXPECT_NE(window.errors[0].find("Error 2: "), std::string::npos) << window.errors[0];
  EXPECT_NE(window.errors[0].find(PathText(server.badMail() / "messages" / "alpha")),
            std::string::npos);
  EXPECT_FALSE(window.closed);
  EXPECT_EQ(list.RowCount(), 0 + (fs::exists(server.badMail() / "beta two") ? 1 : 0));
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
