// Syslog through a socket of the test's own in a scratch directory, read back
// datagram by datagram: the header journald and rsyslog parse, the run whole,
// silence without a daemon, one failure, soon, for a daemon that refuses or stays
// full, and a daemon that falls behind or restarts waited for and found again.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <thread>

#include "files/scoped_generic.h"
#include "log/run_user.h"
#include "log/syslog_socket.h"
#include "support/trail_reader.h"

namespace velmoth {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

class SyslogSocketTest : public ::testing::Test {
 protected:
  SyslogSocketTest() {
    std::string pattern = (fs::temp_directory_path() / "velmoth-log-XXXXXX").string();
    dir_ = ::mkdtemp(pattern.data());
  }
  ~SyslogSocketTest() override { fs::remove_all(dir_); }

  std::string Path(const std::string& name) const { return (dir_ / name).string(); }
  static sockaddr_un Address(const std::string& path) {
    sockaddr_un address{AF_UNIX, {}};
    path.copy(address.sun_path, sizeof address.sun_path - 1);
    return address;
  }
  // A socket bound at `name` that does not block, as a daemon's.
  std::unique_ptr<ScopedDescriptor> Bind(const std::string& name, int type = SOCK_DGRAM) {
    auto fd = std::make_unique<ScopedDescriptor>(::socket(AF_UNIX, type | SOCK_NONBLOCK, 0));
    const sockaddr_un address = Address(Path(name));
    EXPECT_EQ(::bind(fd->get(), reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
    ::listen(fd->get(), 1);  // for a stream socket
    return fd;
  }
  // Sends to `name` until the daemon's queue is full.
  void Fill(const std::string& name) {
    const ScopedDescriptor fd(::socket(AF_UNIX, SOCK_DGRAM | SOCK_NONBLOCK, 0));
    const sockaddr_un address = Address(Path(name));
    while (::sendto(fd.get(), "x", 1, 0, reinterpret_cast<const sockaddr*>(&address),
                    sizeof address) > 0) {
    }
  }

  fs::path dir_;
};

// Every datagram waiting at `fd`.
std::vector<std::string> Drain(int fd) {
  std::vector<std::string> datagrams;
  char buffer[65536];
  for (ssize_t size; (size = ::recv(fd, buffer, sizeof buffer, 0)) >= 0;) {
    datagrams.emplace_back(buffer, static_cast<std::size_t>(size));
  }
  return datagrams;
}

RunRecord HostileRun(std::size_t count, Severity severity) {
  RunRecord run{"delete", "velmoth", {}, severity};
  for (std::size_t i = 0; i < count; ++i) {
    // Appended, not "r" + ...: GCC 12 at -O3 warns falsely of an overlap there.
    std::string name = std::to_string(i);
    name.insert(name.begin(), 'r');
    run.rows.push_back({name + "\n<13>x: \x01\xFF", "deleted"});
  }
  return run;
}

TEST_F(SyslogSocketTest, DatagramsCarryMailFacilitySeverityIdentityAndTheWholeRun) {
  const std::regex header(R"(^<(\d+)>[A-Z][a-z]{2} [ 123]\d \d\d:\d\d:\d\d velmoth\[(\d+)\]: )");
  for (const auto& [severity, priority] :
       {std::pair{Severity::kInfo, 22}, {Severity::kWarning, 20}, {Severity::kError, 19}}) {
    const auto daemon = Bind(std::to_string(priority));
    const RunRecord run = HostileRun(120, severity);
    SyslogSocket log(Path(std::to_string(priority)));
    EXPECT_EQ(LogRun(log, run), std::nullopt);
    std::vector<std::string> texts;
    for (const std::string& datagram : Drain(daemon->get())) {
      std::smatch match;
      ASSERT_TRUE(std::regex_search(datagram, match, header)) << datagram;
      EXPECT_EQ(std::stoi(match[1]), priority);
      EXPECT_EQ(std::stoi(match[2]), ::getpid());
      EXPECT_LE(datagram.size(), 2048u);
      texts.push_back(match.suffix());
    }
    ASSERT_EQ(texts.size(), 1u + 3);  // the run, then rows 1-50, 51-100, 101-120
    EXPECT_TRUE(texts[0].ends_with(": rows 120, deleted 120")) << texts[0];
    EXPECT_EQ(testing::ReadTrail(texts), run.rows);
  }
}

TEST_F(SyslogSocketTest, NoDaemonAtAllIsNoFailure) {
  Bind("stale");  // its file stays, with nobody behind it
  for (const char* name : {"missing", "no-folder/log", "stale"}) {
    SyslogSocket log(Path(name));
    EXPECT_EQ(LogRun(log, HostileRun(3, Severity::kInfo)), std::nullopt) << name;
  }
}

TEST_F(SyslogSocketTest, ADaemonThatRefusesOrStaysFullIsReportedOnceAndSoon) {
  std::ofstream(Path("file")) << "not a socket";
  const auto stream = Bind("stream", SOCK_STREAM);
  const auto full = Bind("full");
  Fill("full");
  for (const auto& [name, number] :
       {std::pair{"file", ENOTSOCK}, {"stream", EPROTOTYPE}, {"full", EAGAIN}}) {
    SyslogSocket log(Path(name), 50ms);
    const auto start = std::chrono::steady_clock::now();
    const auto failure = LogRun(log, HostileRun(3000, Severity::kInfo));
    // Waiting out each of the 61 records would take three seconds.
    EXPECT_LT(std::chrono::steady_clock::now() - start, 1s) << name;
    ASSERT_TRUE(failure.has_value()) << name;
    EXPECT_EQ(failure->number(), number) << name;
    EXPECT_EQ(failure->path(), Path(name));
  }
}

TEST_F(SyslogSocketTest, ADaemonThatFallsBehindOrRestartsIsWaitedForAndFoundAgain) {
  auto daemon = Bind("log");
  Fill("log");
  SyslogSocket log(Path("log"), 2s);
  std::thread catchUp([&] {
    std::this_thread::sleep_for(100ms);
    Drain(daemon->get());
  });
  EXPECT_EQ(log.Write(Severity::kInfo, RecordKind::kRun, "after the wait"), std::nullopt);
  catchUp.join();
  daemon.reset();
  fs::remove(Path("log"));
  daemon = Bind("log");
  EXPECT_EQ(log.Write(Severity::kInfo, RecordKind::kRun, "after the restart"), std::nullopt);
  const auto datagrams = Drain(daemon->get());
  ASSERT_EQ(datagrams.size(), 1u);
  EXPECT_TRUE(datagrams[0].ends_with("]: after the restart"));
}

TEST(RunUser, RootNamesWhoRanSudoAndNobodyElseCan) {
  const struct {
    unsigned uid;
    const char* sudoUser;
    std::string user;
  } cases[] = {{0, "alice", "root/alice"}, {0, nullptr, "root/"}, {3999999, "alice", "#3999999/"}};
  for (const auto& c : cases) {
    const RunUser user = UserOf(c.uid, c.sudoUser);
    EXPECT_EQ(user.name + "/" + user.sudoUser, c.user);
  }
}

}  // namespace
}  // namespace velmoth
