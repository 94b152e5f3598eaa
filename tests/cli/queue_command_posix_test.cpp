// The built velmoth-queue run by the shell, on a name that is bytes and no UTF-8:
// listed escaped, in text with the local date of the zone TZ names and in JSON,
// filtered by dates in that zone, and found again by the escape as an argument.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <chrono>

#include "support/mail_server.h"

namespace velmoth {
namespace {

namespace fs = std::filesystem;
using testing::MailServer;
using testing::ReadFile;
using testing::WriteFile;

// The program beside this test program, run with `args` in a zone 5:30 east of
// UTC; its exit status and standard output.
std::pair<int, std::string> RunProgram(const MailServer& server, const std::string& args) {
  const fs::path self = fs::read_symlink("/proc/self/exe");
  const fs::path out = server.root() / "out";
  const std::string command = "TZ='<+0530>-5:30' '" +
                              (self.parent_path() / VELMOTH_QUEUE_PROGRAM).string() + "' " + args +
                              " >'" + out.string() + "' 2>/dev/null";
  const int status = std::system(command.c_str());
  return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, ReadFile(out)};
}

TEST(QueueCommandPosix, TheProgramListsShowsAndRequeuesANameThatIsNoUtf8) {
  MailServer server;
  const std::string message("line\r\n\0\xFF\n", 9);
  server.Park("caf\xE9", "Status=Failed\r\n", nullptr);
  WriteFile(server.badMail() / "messages" / "caf\xE9", message);
  const std::chrono::sys_seconds date = std::chrono::sys_days{std::chrono::December / 31 / 2026} +
                                        std::chrono::hours(20) + std::chrono::minutes(15);
  fs::last_write_time(server.badMail() / "caf\xE9", std::chrono::file_clock::from_sys(date));
  const struct {
    std::string args;
    int status;
    std::string out;
  } steps[] = {
      {"list", 0, "caf\\xE9  9  2027-01-01 01:45:00\n"},
      {"list --names", 0, "caf\\xE9\n"},
      {"list --json", 0, R"([
  {
    "name": "caf\\xE9",
    "escaped": true,
    "size": 9,
    "date": "2026-12-31T20:15:00Z",
    "candidate": true,
    "from": "",
    "to": "",
    "cc": "",
    "subject": "",
    "date_header": ""
  }
]
)"},
      // The zone's local time: the command file's date is a bound's first second.
      {"list --after '2027-01-01 01:45' --before '2027-01-01T01:45:01'", 0,
       "caf\\xE9  9  2027-01-01 01:45:00\n"},
      {"list --after '2027-01-01 01:45:01'", 0, ""},
      {"show 'caf\\xE9'", 0, message},
      {"requeue 'caf\\xE9'", 0, "requeued caf\\xE9\n"},
      {"list --bogus", 2, ""},
      {"show 'caf\\xE9'", 1, ""},
  };
  for (const auto& step : steps) {
    EXPECT_EQ(RunProgram(server, step.args), std::make_pair(step.status, step.out)) << step.args;
  }
  EXPECT_EQ(ReadFile(server.outbound() / "messages" / "caf\xE9"), message);
}

}  // namespace
}  // namespace velmoth
