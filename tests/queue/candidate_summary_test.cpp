// The summary of the candidates on a scratch server, at a fixed now: which groups
// a message counts in, their order, the age buckets at their edges, and the
// filters narrowing what is counted.
#include "queue/candidate_summary.h"

#include <gtest/gtest.h>

#include "support/mail_server.h"
#include "support/recording_file_system.h"

namespace velmoth {
namespace {

namespace fs = std::filesystem;

using std::chrono::days;
using std::chrono::hours;
using std::chrono::seconds;
using testing::MailServer;
using testing::RecordingFileSystem;

// Noon UTC, so that the local day of each date is the same in every zone a test
// runs in, from eleven hours west to eleven east.
const FileDate kNow = std::chrono::sys_days{std::chrono::December / 7 / 2026} + hours(12);
// Every message file is padded to this size.
constexpr std::size_t kSize = 200;

struct Parked {
  std::string header;       // the message's header fields, each ending in CR LF
  seconds age;              // of its command file at kNow
  bool unreadable = false;  // its message file
};

// "name count bytes ages" a line for each group, then the total's; the ages one
// digit each, from below an hour to older than 30 days.
std::string Lines(const CandidateSummary& summary) {
  std::string lines;
  const auto line = [&lines](const std::string& name, const SummaryCounts& counts) {
    lines += name + " " + std::to_string(counts.count) + " " + std::to_string(counts.bytes) + " ";
    for (const std::uint64_t age : counts.ages) lines += std::to_string(age);
    lines += "\n";
  };
  for (const SummaryGroup& group : summary.groups) line(group.name, group.counts);
  line("total", summary.total);
  return lines;
}

CandidateSummary Summarize(const std::vector<Parked>& messages, SummaryGrouping by,
                           const MessageFilter& filter) {
  MailServer server;
  for (std::size_t i = 0; i < messages.size(); ++i) {
    const std::string name =
        "m" + std::to_string(10 + i) + (messages[i].unreadable ? "-unreadable" : "");
    std::string message = messages[i].header + "\r\n";
    message.resize(kSize, 'x');
    server.Park(name, "Status=Failed\r\n", message.c_str());
    fs::last_write_time(server.badMail() / name,
                        std::chrono::file_clock::from_sys(kNow - messages[i].age));
  }
  RecordingFileSystem files(server.mail());
  files.fault = [](const std::string& step, const fs::path& path) -> std::optional<FileError> {
    const bool unreadable = path.filename().string().ends_with("-unreadable") &&
                            path.parent_path().filename() == "messages";
    if (step != "open" || !unreadable) return std::nullopt;
    return FileError(ErrorKind::kAccessDenied, kErrorAccessDenied, "Refused", PathText(path));
  };
  ParkedHeaders headers(files, server.locations());
  return SummarizeCandidates(ScanBadMail(files, server.locations()).candidates, by, filter, headers,
                             kNow);
}

TEST(SummarizeCandidates, CountsEachMessageInEachOfItsGroupsAndOnceInTheTotal) {
  const seconds fresh(0);
  const struct {
    const char* what;
    SummaryGrouping by;
    MessageFilter filter;
    std::vector<Parked> messages;
    std::string lines;
  } cases[] = {
      {"a message to three domains",
       SummaryGrouping::kToDomain,
       {},
       {{"To: a@x.org, b@y.org\r\nCc: c@z.org, d@X.org\r\n", fresh}},
       "x.org 1 200 1000000\ny.org 1 200 1000000\nz.org 1 200 1000000\ntotal 1 200 1000000\n"},
      {"lower case; the most first, then by name",
       SummaryGrouping::kToDomain,
       {},
       {{"To: c@b.org\r\n", fresh},
        {"To: A@Example.COM\r\n", fresh},
        {"Cc: b@example.com\r\n", fresh},
        {"To: d@a.org\r\n", fresh}},
       "example.com 2 400 2000000\na.org 1 200 1000000\nb.org 1 200 1000000\n"
       "total 4 800 4000000\n"},
      {"no domain",
       SummaryGrouping::kToDomain,
       {},
       {{"Subject: no recipient\r\n", fresh},
        {"To: undisclosed-recipients:;\r\n", fresh},
        {"To: postmaster, a@\r\n", fresh},
        {"To: \"a@x.org\" <>\r\n", fresh},
        {"To: b@y.org\r\n", fresh},
        {"To: c@y.org\r\n", fresh, true}},
       "(none) 5 1000 5000000\ny.org 1 200 1000000\ntotal 6 1200 6000000\n"},
      {"display names, comments, groups and routes",
       SummaryGrouping::kToDomain,
       {},
       {{"To: \"Doe, John\" <j@X.net>, Team: a@y.net (Ann, a@q.net), <@relay.z:b@w.net>;\r\n",
         fresh},
        {"To: =?utf-8?q?a@q.net=2C_c?= <r@v.net>\r\n", fresh}},
       "v.net 1 200 1000000\nw.net 1 200 1000000\nx.net 1 200 1000000\ny.net 1 200 1000000\n"
       "total 2 400 2000000\n"},
      {"by sender domain",
       SummaryGrouping::kFromDomain,
       {},
       {{"From: Ann <ann@Example.org>\r\nTo: b@y.org\r\n", fresh},
        {"From: ann@example.org, bob@z.org\r\n", fresh},
        {"To: b@y.org\r\n", fresh}},
       "example.org 2 400 2000000\n(none) 1 200 1000000\nz.org 1 200 1000000\n"
       "total 3 600 3000000\n"},
      {"ages at the edges of their buckets",
       SummaryGrouping::kToDomain,
       {},
       {{"To: a@x.org\r\n", seconds(-300)},
        {"To: a@x.org\r\n", fresh},
        {"To: a@x.org\r\n", hours(1) - seconds(1)},
        {"To: a@x.org\r\n", hours(1)},
        {"To: a@x.org\r\n", hours(6) - seconds(1)},
        {"To: a@x.org\r\n", hours(6)},
        {"To: a@x.org\r\n", days(1) - seconds(1)},
        {"To: a@x.org\r\n", days(1)},
        {"To: a@x.org\r\n", days(3) - seconds(1)},
        {"To: a@x.org\r\n", days(3)},
        {"To: a@x.org\r\n", days(7) - seconds(1)},
        {"To: a@x.org\r\n", days(7)},
        {"To: a@x.org\r\n", days(30) - seconds(1)},
        {"To: a@x.org\r\n", days(30)},
        {"To: a@x.org\r\n", days(400)}},
       "x.org 15 3000 3222222\ntotal 15 3000 3222222\n"},
      {"by the local day",
       SummaryGrouping::kDay,
       {},
       {{"", fresh}, {"", days(1)}, {"", days(1) + hours(1)}, {"", days(40)}},
       "2026-12-06 2 400 0002000\n2026-10-28 1 200 0000001\n2026-12-07 1 200 1000000\n"
       "total 4 800 1002001\n"},
      {"a filter on the header narrows what is counted",
       SummaryGrouping::kToDomain,
       {.to = "y.org"},
       {{"To: a@x.org, b@y.org\r\n", fresh},
        {"To: c@x.org\r\n", fresh},
        {"Cc: B@Y.ORG\r\n", fresh}},
       "y.org 2 400 2000000\nx.org 1 200 1000000\ntotal 2 400 2000000\n"},
      {"a filter on the date narrows the days",
       SummaryGrouping::kDay,
       {.match = "ann", .after = kNow - days(1)},
       {{"From: ann@x.org\r\n", fresh},
        {"From: ann@x.org\r\n", days(2)},
        {"From: bob@x.org\r\n", fresh}},
       "2026-12-07 1 200 1000000\ntotal 1 200 1000000\n"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Lines(Summarize(c.messages, c.by, c.filter)), c.lines) << c.what;
  }
}

}  // namespace
}  // namespace velmoth
