// frmMain follows Bad Mail with the kernel's watcher through its own message
// loop: messages parked and removed while the window is open come and go in the
// list, in the directory the list comes from after F5 or a requeue too.
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <string>

#include "app/win32/frm_main.h"
#include "app/win32/frm_main_fixture.h"
#include "base/path_text.h"

namespace velmoth::win32 {
namespace {

namespace fs = std::filesystem;

using testing::FrmMainTest;
using testing::kParked;
using testing::Names;
using velmoth::testing::MailServer;
using velmoth::testing::WriteFile;

class FrmMainWatchTest : public FrmMainTest {
 protected:
  // Runs the window's message loop until the list shows `expected`, for twenty
  // seconds at most.
  Names ListedOnceUpdated(const Names& expected) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (Listed() != expected && std::chrono::steady_clock::now() < deadline) {
      EXPECT_EQ(frm->RunMessagesFor(50), std::nullopt);
    }
    return Listed();
  }

  // Points the registry at a Bad Mail directory of its own, named `name`, which
  // holds one message of that name.
  fs::path MoveBadMail(const std::string& name) {
    const fs::path moved = server.root() / name;
    ParkIn(moved, name);
    server.Configure(PathText(moved), MailServer::OutboundValue());
    return moved;
  }

  static void ParkIn(const fs::path& badMail, const std::string& name) {
    fs::create_directories(badMail / "messages");
    WriteFile(badMail / "messages" / name, "body");
    WriteFile(badMail / name, kParked);
  }
};

TEST_F(FrmMainWatchTest, TheListFollowsTheBadMailDirectoryItComesFrom) {
  server.Park("alpha", kParked);
  Open();
  fs::path badMail = server.badMail();
  const struct {
    const char* what;
    std::function<void()> change;
    Names listed;
  } steps[] = {
      {"a message parked after the window opened",
       [&] { ParkIn(badMail, "late"); },
       {"alpha", "late"}},
      {"a message removed",
       [&] {
         fs::remove(badMail / "alpha");
         fs::remove(badMail / "messages" / "alpha");
       },
       {"late"}},
      // With none ticked Copy reads the whole directory again, now the one moved to.
      {"a message parked where a requeue found Bad Mail moved",
       [&] {
         badMail = MoveBadMail("Requeued");
         Click("cmdCopy");
         ParkIn(badMail, "there");
       },
       {"Requeued", "there"}},
      {"a message parked where F5 found Bad Mail moved",
       [&] {
         badMail = MoveBadMail("Refreshed");
         SetFocus(List());
         Press(List(), "F5");
         ParkIn(badMail, "anew");
       },
       {"Refreshed", "anew"}},
  };
  for (const auto& step : steps) {
    SCOPED_TRACE(step.what);
    step.change();
    EXPECT_EQ(ListedOnceUpdated(step.listed), step.listed);
  }
}

}  // namespace
}  // namespace velmoth::win32
