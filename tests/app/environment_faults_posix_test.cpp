// Faults from the machine around the window, made for real: each is shown with
// its error number, description and path, loses no message, and once it is gone
// the window scans and copies again.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cerrno>
#include <map>
#include <optional>

#include "app/main_window.h"
#include "base/path_text.h"
#include "support/child_process.h"
#include "support/fake_window.h"
#include "support/mail_list_rows.h"
#include "support/mail_server.h"
#include "support/permissions.h"
#include "support/scratch_mounts.h"

namespace velmoth {
namespace {

namespace fs = std::filesystem;

using testing::ChildChannel;
using testing::ChildProcess;
using testing::EntryNames;
using testing::FakeWindow;
using testing::MailServer;
using testing::PermissionsEnforced;
using testing::ReadFile;
using testing::ScratchMounts;
using testing::WriteFile;

constexpr std::int64_t kNow = 1039243145;
constexpr std::size_t kMegabyte = 1 << 20;

// A parked message's two files, and the command file its requeue writes.
struct Message {
  std::string command;
  std::string message;
  std::string requeued;
};

// The window over a scratch server holding "alpha", small, and "beta", whose
// message file is 2 MB.
struct Scene {
  Scene() {
    Park("alpha",
         {"Status=Failed\r\nRetries=3\r\n", "alpha body", "Status=Unsent\r\nRetries=0\r\n"});
    Park("beta", {"Status=Failed\r\n", std::string(2 * kMegabyte, 'b'), "Status=Unsent\r\n"});
  }
  void Park(const std::string& name, const Message& message) {
    server.Park(name, message.command, nullptr);
    WriteFile(server.badMail() / "messages" / name, message.message);
    parked[name] = message;
  }
  fs::path Parked(const std::string& name) const { return server.badMail() / name; }
  fs::path Outbound(const std::string& name) const { return server.outbound() / name; }

  MailServer server;
  ScratchMounts mounts;
  std::optional<PermissionsEnforced> enforced;
  std::map<std::string, Message> parked;
  MailList list;
  FakeWindow window;
  NativeFileSystem files;
  RegistryQueueLocations locations;
  MainWindowHandlers handlers{list, window, files, locations, nullptr, [] { return kNow; }};
};

// The message box a fault brings up: `head`, "Error <number>: <description>", and
// the path, or when `temporary`, a temporary file in the directory `path`.
struct Box {
  std::string head;
  int number;
  std::string description;
  fs::path path;
  bool temporary = false;
};

struct Fault {
  const char* what;
  bool atLoad;  // met by the scan as the window opens; else by a copy of both rows
  std::function<void(Scene&)> make;
  std::function<void(Scene&)> clear;
  std::function<Box(const Scene&)> box;
  // What the copy says instead of an error, for a fault it works around.
  std::string notice = {};
};

void ExpectBox(const std::string& shown, const Box& box) {
  const std::string head =
      box.head + "Error " + std::to_string(box.number) + ": " + box.description + "\n\n";
  ASSERT_TRUE(shown.starts_with(head)) << shown;
  // The path, then what to do about a queue directory that refused us, if it did.
  const std::string rest = shown.substr(head.size());
  const fs::path path = PathFromText(rest.substr(0, rest.find("\n\n")));
  if (box.temporary) {
    EXPECT_EQ(path.parent_path(), box.path) << shown;
    EXPECT_TRUE(IsTemporaryName(PathText(path.filename()))) << shown;
  } else {
    EXPECT_EQ(path, box.path) << shown;
  }
}

// Every message is still parked as it was, or in the outbound queue whole; no
// temporary file and no command file without its message is left there.
void ExpectNothingLost(const Scene& s) {
  for (const auto& [name, m] : s.parked) {
    const bool parked = ReadFile(s.Parked(name)) == m.command &&
                        ReadFile(s.Parked("messages/" + name)) == m.message;
    const bool requeued = ReadFile(s.Outbound(name)) == m.requeued &&
                          ReadFile(s.Outbound("messages/" + name)) == m.message;
    EXPECT_TRUE(parked || requeued) << name;
  }
  for (const std::string& name : EntryNames(s.server.outbound() / "messages")) {
    EXPECT_FALSE(IsTemporaryName(name)) << name;
  }
  for (const std::string& name : EntryNames(s.server.outbound())) {
    if (name != "messages") {
      EXPECT_TRUE(fs::exists(s.Outbound("messages/" + name))) << name;
    }
  }
}

// The window lists what is still parked and requeues all of it.
void ExpectWindowWorks(Scene& s) {
  int stillParked = 0;
  for (const auto& entry : s.parked) stillParked += fs::exists(s.Parked(entry.first));
  s.window.errors.clear();
  s.handlers.Form_Load();
  EXPECT_EQ(s.list.size(), static_cast<std::size_t>(stillParked));
  s.handlers.cmdAll_Click();
  s.handlers.cmdCopy_Click();
  EXPECT_TRUE(s.window.errors.empty()) << s.window.errors.front();
  for (const auto& [name, m] : s.parked) {
    EXPECT_EQ(ReadFile(s.Outbound(name)), m.requeued) << name;
    EXPECT_TRUE(ReadFile(s.Outbound("messages/" + name)) == m.message) << name;
    EXPECT_FALSE(fs::exists(s.Parked(name))) << name;
  }
  EXPECT_FALSE(s.window.closed);
}

void CheckFault(const Fault& fault) {
  SCOPED_TRACE(fault.what);
  Scene s;
  if (!fault.atLoad) {
    s.handlers.Form_Load();
    ASSERT_EQ(s.list.size(), 2u);
    s.handlers.cmdAll_Click();
  }
  fault.make(s);
  if (fault.atLoad) {
    s.handlers.Form_Load();
  } else {
    s.handlers.cmdCopy_Click();
  }
  fault.clear(s);
  if (!fault.notice.empty()) {
    EXPECT_TRUE(s.window.errors.empty()) << s.window.errors.front();
    ASSERT_FALSE(s.window.notices.empty());
    EXPECT_EQ(s.window.notices.front(), fault.notice);
  } else {
    ASSERT_FALSE(s.window.errors.empty());
    ExpectBox(s.window.errors.front(), fault.box(s));
  }
  ExpectNothingLost(s);
  ExpectWindowWorks(s);
}

// Run as root, the faults come from mounts and from permission bits that bind
// once root's overrides are set aside; no fault is injected into the file layer.
void SetMode(const fs::path& path, fs::perms mode) { fs::permissions(path, mode); }

// The outbound queue mounted read-only; a user who may not mount gets a queue
// whose permission bits refuse writing instead.
void MakeOutboundReadOnly(Scene& s) {
  if (ScratchMounts::Allowed()) return s.mounts.ReadOnly(s.server.outbound());
  SetMode(s.server.outbound() / "messages", fs::perms::owner_read | fs::perms::owner_exec);
  s.enforced.emplace();
}
void ClearOutboundReadOnly(Scene& s) {
  if (ScratchMounts::Allowed()) return s.mounts.Unmount(s.server.outbound());
  s.enforced.reset();
  SetMode(s.server.outbound() / "messages", fs::perms::owner_all);
}

// A 1 MB file system under the outbound queue; without the right to mount, a
// limit of 1 MB on the size of any file this process writes.
rlimit savedLimit{};
void MakeOutboundFull(Scene& s) {
  if (ScratchMounts::Allowed()) {
    s.mounts.Tmpfs(s.server.outbound(), kMegabyte);
    fs::create_directory(s.server.outbound() / "messages");
    return;
  }
  ::getrlimit(RLIMIT_FSIZE, &savedLimit);
  ::signal(SIGXFSZ, SIG_IGN);
  rlimit limited = savedLimit;
  limited.rlim_cur = kMegabyte;
  ::setrlimit(RLIMIT_FSIZE, &limited);
}
void ClearOutboundFull(Scene& s) {
  if (ScratchMounts::Allowed()) return s.mounts.Resize(s.server.outbound(), 64 * kMegabyte);
  ::setrlimit(RLIMIT_FSIZE, &savedLimit);
  ::signal(SIGXFSZ, SIG_DFL);
}

Box ErrorBox(int number, const fs::path& path, bool temporary = false) {
  return {"", number, ErrorDescription(number), path, temporary};
}

TEST(EnvironmentFaults, EachIsShownLosesNothingAndPassesOver) {
  const auto unreadable = [](const std::string& name) {
    return [name](Scene& s) {
      SetMode(s.Parked(name), fs::perms::none);
      s.enforced.emplace();
    };
  };
  const auto readable = [](const std::string& name) {
    return [name](Scene& s) {
      s.enforced.reset();
      SetMode(s.Parked(name), fs::perms::owner_read | fs::perms::owner_write);
    };
  };
  const Fault faults[] = {
      {"the outbound queue missing", false, [](Scene& s) { fs::remove_all(s.server.outbound()); },
       [](Scene& s) { fs::create_directories(s.server.outbound() / "messages"); },
       [](const Scene& s) { return ErrorBox(ENOENT, s.server.outbound()); }},
      {"the outbound queue read-only", false, MakeOutboundReadOnly, ClearOutboundReadOnly,
       [](const Scene& s) {
         return ErrorBox(ScratchMounts::Allowed() ? EROFS : EACCES,
                         s.server.outbound() / "messages", true);
       }},
      {"the outbound file system full", false, MakeOutboundFull, ClearOutboundFull,
       [](const Scene& s) {
         return ErrorBox(ScratchMounts::Allowed() ? ENOSPC : EFBIG,
                         s.server.outbound() / "messages", true);
       }},
      {"parked files read-only", false,
       [](Scene& s) {
         SetMode(s.Parked("beta"), fs::perms::owner_read);
         SetMode(s.Parked("messages/beta"), fs::perms::owner_read);
       },
       [](Scene& s) {
         SetMode(s.Parked("beta"), fs::perms::owner_read | fs::perms::owner_write);
         SetMode(s.Parked("messages/beta"), fs::perms::owner_read | fs::perms::owner_write);
       },
       nullptr,
       "1 message was requeued, but its parked files were kept in the Bad Mail directory. Do "
       "not requeue it again:\nbeta (a parked file is read-only)"},
      {"a command file that may not be read, as the window opens", true, unreadable("alpha"),
       readable("alpha"),
       [](const Scene& s) {
         Box box = ErrorBox(EACCES, s.Parked("alpha"));
         box.head = "1 file in the Bad Mail directory could not be read and is not listed:\n\n";
         return box;
       }},
      {"a command file that may not be read, at the copy", false, unreadable("alpha"),
       readable("alpha"), [](const Scene& s) { return ErrorBox(EACCES, s.Parked("alpha")); }},
      {"the Bad Mail directory may not be listed", true,
       [](Scene& s) {
         SetMode(s.server.badMail(), fs::perms::none);
         s.enforced.emplace();
       },
       [](Scene& s) {
         s.enforced.reset();
         SetMode(s.server.badMail(), fs::perms::owner_all);
       },
       [](const Scene& s) { return ErrorBox(EACCES, s.server.badMail()); }},
      // Moved away rather than removed, so that it can be put back whole.
      {"the Bad Mail directory taken away while the window is open", false,
       [](Scene& s) { fs::rename(s.server.badMail(), s.server.mail() / "Elsewhere"); },
       [](Scene& s) { fs::rename(s.server.mail() / "Elsewhere", s.server.badMail()); },
       [](const Scene& s) { return ErrorBox(ENOENT, s.server.badMail()); }},
  };
  for (const Fault& fault : faults) CheckFault(fault);
}

// Every path is looked up afresh: rows listed before the registry changed are
// looked for where it now says, and the next scan and copy go there.
TEST(EnvironmentFaults, TheRegistryRewrittenBetweenTwoLookups) {
  Scene s;
  const std::string otherBadMail = "Q:\\Mail\\Other Bad Mail";
  const std::string otherOutbound = "Q:\\Mail\\Other Outbound";
  fs::create_directories(s.server.mail() / "Other Bad Mail" / "messages");
  fs::create_directories(s.server.mail() / "Other Outbound" / "messages");
  WriteFile(s.server.mail() / "Other Bad Mail" / "gamma", "Status=Failed\r\n");
  WriteFile(s.server.mail() / "Other Bad Mail" / "messages" / "gamma", "gamma body");
  s.handlers.Form_Load();
  s.handlers.cmdAll_Click();

  s.server.Configure(otherBadMail, otherOutbound);
  s.handlers.cmdCopy_Click();
  EXPECT_TRUE(s.window.errors.empty());
  EXPECT_EQ(s.window.notices.size(), 1u);
  EXPECT_EQ(testing::RowNames(s.list), std::vector<std::string>{"gamma"});
  s.handlers.cmdAll_Click();
  s.handlers.cmdCopy_Click();
  EXPECT_EQ(ReadFile(s.server.mail() / "Other Outbound" / "messages" / "gamma"), "gamma body");
  EXPECT_EQ(EntryNames(s.server.outbound()), std::vector<std::string>{"messages"});

  s.server.Configure(MailServer::BadMailValue(), MailServer::OutboundValue());
  ExpectWindowWorks(s);
}

// The registry text, as system.reg holds it, for the Bad Mail directory `badMail`.
std::string RegistryFor(MailServer& server, const std::string& badMail) {
  server.Configure(badMail, MailServer::OutboundValue());
  return ReadFile(server.root() / "prefix" / "system.reg");
}

// While a copy runs, the registry's Bad Mail directory keeps changing between two
// that hold messages of the same names, saved by a rename as Wine saves it. Each
// message goes to the outbound queue whole, its two files from one directory, and
// the rest stay parked whole.
TEST(EnvironmentFaults, TheRegistryRewrittenDuringACopyPairsNoFilesOfTwoDirectories) {
  constexpr int kMessages = 100;
  Scene s;
  const fs::path homes[] = {s.server.mail() / "Bad Mail A", s.server.mail() / "Bad Mail B"};
  const std::string registry[] = {RegistryFor(s.server, "Q:\\Mail\\Bad Mail A"),
                                  RegistryFor(s.server, "Q:\\Mail\\Bad Mail B")};
  const auto command = [](int home) { return "Status=Failed\r\nX-Home=" + std::to_string(home); };
  const auto message = [](int home, int i) {
    return "message " + std::to_string(i) + " of home " + std::to_string(home);
  };
  for (int home = 0; home < 2; ++home) {
    fs::create_directories(homes[home] / "messages");
    for (int i = 0; i < kMessages; ++i) {
      WriteFile(homes[home] / std::to_string(i), command(home));
      WriteFile(homes[home] / "messages" / std::to_string(i), message(home, i));
    }
  }
  s.handlers.Form_Load();
  ASSERT_EQ(s.list.size(), static_cast<std::size_t>(kMessages));
  s.handlers.cmdAll_Click();

  const fs::path file = s.server.root() / "prefix" / "system.reg";
  ChildProcess rewriter([&](ChildChannel& channel) {
    for (int turn = 0; !channel.StopAsked(); turn ^= 1) {
      WriteFile(file.string() + ".new", registry[turn]);
      fs::rename(file.string() + ".new", file);
      ::usleep(100);
    }
    return 0;
  });
  s.handlers.cmdCopy_Click();
  EXPECT_EQ(rewriter.Stop(std::chrono::seconds(10)).exitCode, 0);

  EXPECT_TRUE(s.window.errors.empty()) << s.window.errors.front();
  for (int i = 0; i < kMessages; ++i) {
    const std::string name = std::to_string(i);
    const std::string queued = ReadFile(s.Outbound(name));
    const std::size_t at = queued.find("X-Home=");
    ASSERT_NE(at, std::string::npos) << name << " is not in the outbound queue";
    const int home = queued[at + 7] == '1';
    EXPECT_EQ(ReadFile(s.Outbound("messages/" + name)), message(home, i)) << name;
    EXPECT_FALSE(fs::exists(homes[home] / name) || fs::exists(homes[home] / "messages" / name))
        << name;
    const int other = 1 - home;
    EXPECT_EQ(ReadFile(homes[other] / name), command(other)) << name;
    EXPECT_EQ(ReadFile(homes[other] / "messages" / name), message(other, i)) << name;
  }
}

}  // namespace
}  // namespace velmoth
