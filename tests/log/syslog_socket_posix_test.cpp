// Syslog through a socket of the test's own in a scratch directory, read back
// datagram by datagram: the header journald and rsyslog parse, the records whole,
// silence without a daemon, one failure for a daemon that refuses or falls behind.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <regex>
#include <thread>

#include "base/descriptor_posix.h"
#include "log/run_user.h"
#include "log/syslog_socket.h"
#include "log/trail.h"
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

  // A datagram socket bound at `name` in the scratch directory, not blocking.
  std::unique_ptr<Descriptor> Bind(const std::string& name, int type = SOCK_DGRAM) {
    auto socket = std::make_unique<Descriptor>(::socket(AF_UNIX, type | SOCK_NONBLOCK, 0));
    const int fd = socket->get();
    sockaddr_un address{AF_UNIX, {}};
    Path(name).copy(address.sun_path, sizeof address.sun_path - 1);
    EXPECT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    if (type == SOCK_STREAM) ::listen(fd, 1);
    return socket;
  }
  std::string Path(const std::string& name) const { return (dir_ / name).string(); }

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

// Sends to `path` until the receiver's queue is full.
void Fill(const std::string& path) {
  Descriptor fd(::socket(AF_UNIX, SOCK_DGRAM | SOCK_NONBLOCK, 0));
  sockaddr_un address{AF_UNIX, {}};
  path.copy(address.sun_path, sizeof address.sun_path - 1);
  while (::sendto(fd.get(), "x", 1, 0, reinterpret_cast<sockaddr*>(&address), sizeof address) > 0) {
  }
}

RunRecord HostileRun(std::size_t count, Severity severity) {
  RunRecord run{"delete", "velmoth", {}, severity};
  for (std::size_t i = 0; i < count; ++i) {
    run.rows.push_back({"r" + std::to_string(i) + "\n<13>x: \x01\xFF", "deleted"});
  }
  return run;
}

TEST_F(SyslogSocketTest, DatagramsCarryMailFacilitySeverityIdentityAndTheWholeRun) {
  const std::regex header(
      R"(^<(\d+)>(Jan|Feb|Mar|Apr|May|Jun|Jul|Aug|Sep|Oct|Nov|Dec) [ 123]\d \d\d:\d\d:\d\d velmoth\[(\d+)\]: (.*)$)");
  for (const auto& [severity, priority] :
       {std::pair{Severity::kInfo, 22}, {Severity::kWarning, 20}, {Severity::kError, 19}}) {
    const auto daemon = Bind("log" + std::to_string(priority));
    const RunRecord run = HostileRun(120, severity);
    std::vector<std::string> datagrams;
    std::jthread reader([&](std::stop_token stop) {
      while (!stop.stop_requested()) {
        for (std::string& d : Drain(daemon->get())) datagrams.push_back(std::move(d));
        std::this_thread::sleep_for(1ms);
      }
    });
    EXPECT_EQ(LogRun(*std::make_unique<SyslogSocket>(Path("log" + std::to_string(priority))), run),
              std::nullopt);
    reader.request_stop();
    reader.join();
    for (std::string& d : Drain(daemon->get())) datagrams.push_back(std::move(d));
    ASSERT_EQ(datagrams.size(), 1u + 3);  // the run, then rows 1-50, 51-100, 101-120
    std::vector<TrailRow> read;
    for (std::size_t i = 0; i < datagrams.size(); ++i) {
      std::smatch match;
      ASSERT_TRUE(std::regex_match(datagrams[i], match, header)) << datagrams[i];
      EXPECT_EQ(std::stoi(match[1]), priority);
      EXPECT_EQ(std::stoi(match[3]), ::getpid());
      EXPECT_LE(datagrams[i].size(), 2048u);
      testing::ExpectOneSafeLine(datagrams[i]);
      if (i == 0) {
        EXPECT_NE(match[4].str().find(": rows 120, deleted 120"), std::string::npos);
        continue;
      }
      const auto rows = testing::ReadRowsRecord(match[4]);
      read.insert(read.end(), rows.rows.begin(), rows.rows.end());
      EXPECT_EQ(rows.last, std::min<std::size_t>(50 * i, 120));
    }
    ASSERT_EQ(read.size(), run.rows.size());
    EXPECT_EQ(read.back().name, run.rows.back().name);
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
  Fill(Path("full"));
  for (const auto& [name, number] :
       {std::pair{"file", ENOTSOCK}, {"stream", EPROTOTYPE}, {"full", EAGAIN}}) {
    SyslogSocket log(Path(name), 50ms);
    const auto start = std::chrono::steady_clock::now();
    const auto failure = LogRun(log, HostileRun(3000, Severity::kInfo));
    // Every record waiting its turn would take 61 times 50 ms.
    EXPECT_LT(std::chrono::steady_clock::now() - start, 1s) << name;
    ASSERT_TRUE(failure.has_value()) << name;
    EXPECT_EQ(failure->number(), number) << name;
    EXPECT_EQ(failure->path(), Path(name));
  }
}

TEST_F(SyslogSocketTest, ADaemonThatFallsBehindOrRestartsIsWaitedForAndFoundAgain) {
  auto daemon = Bind("log");
  Fill(Path("log"));
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
    RunUser user;
  } cases[] = {
      {0, "alice", {"root", "alice"}},
      {0, nullptr, {"root", ""}},
      {3999999, "alice", {"#3999999", ""}},
  };
  for (const auto& c : cases) {
    const RunUser user = UserOf(c.uid, c.sudoUser);
    EXPECT_EQ(user.name, c.user.name);
    EXPECT_EQ(user.sudoUser, c.user.sudoUser);
  }
}

}  // namespace
}  // namespace velmoth
