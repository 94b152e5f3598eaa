// The built velmoth-queue's summary on the sample queue scripts/make-sample-queue
// makes, in a zone ten hours west of UTC where half its messages were parked on
// another UTC day: every grouping and filter counts what list gives.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <chrono>
#include <map>
#include <nlohmann/json.hpp>
#include <set>

#include "support/mail_server.h"

namespace velmoth {
namespace {

namespace fs = std::filesystem;
using testing::MailServer;
using testing::ReadFile;

constexpr char kZone[] = "TZ='<-10>10' ";

// Runs `command` by the shell in the zone; its standard output.
std::string Shell(const MailServer& scratch, const std::string& command) {
  const fs::path out = scratch.root() / "out";
  const int status = std::system((kZone + command + " >'" + out.string() + "'").c_str());
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << command;
  return ReadFile(out);
}

// The domains of the addresses in a field list --json gave: "<a@X.org>, b@y.org".
std::set<std::string> Domains(const nlohmann::json& field) {
  std::set<std::string> domains;
  const std::string text = field.get<std::string>();
  for (std::size_t start = 0; start < text.size();) {
    const std::size_t end = std::min(text.find(", ", start), text.size());
    std::string address = text.substr(start, end - start);
    if (address.find('<') != std::string::npos) address = address.substr(address.find('<') + 1);
    address = address.substr(0, address.find('>'));
    if (address.find('@') != std::string::npos) {
      std::string domain = address.substr(address.rfind('@') + 1);
      for (char& c : domain) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
      domains.insert(domain);
    }
    start = end + 2;
  }
  return domains;
}

// The day in the zone of a row's UTC date, "2025-12-01T18:15:02Z".
std::string LocalDay(const nlohmann::json& row) {
  const std::string utc = row["date"];
  const std::chrono::sys_days day{std::chrono::year(std::stoi(utc.substr(0, 4))) /
                                  std::stoi(utc.substr(5, 2)) / std::stoi(utc.substr(8, 2))};
  const std::chrono::year_month_day local{std::chrono::floor<std::chrono::days>(
      day + std::chrono::hours(std::stoi(utc.substr(11, 2))) - std::chrono::hours(10))};
  char text[16];
  std::snprintf(text, sizeof text, "%04d-%02u-%02u", static_cast<int>(local.year()),
                static_cast<unsigned>(local.month()), static_cast<unsigned>(local.day()));
  return text;
}

// The groups a row of list --json counts in.
std::set<std::string> GroupsOf(const nlohmann::json& row, const std::string& by) {
  std::set<std::string> groups;
  if (by == "day") return {LocalDay(row)};
  if (by == "from-domain") groups = Domains(row["from"]);
  if (by == "to-domain") {
    groups = Domains(row["to"]);
    groups.merge(Domains(row["cc"]));
  }
  if (groups.empty()) groups.insert("(none)");
  return groups;
}

TEST(SummaryCommandPosix, CountsWhatListGivesOnTheSampleQueue) {
  const MailServer scratch;
  const fs::path source =
      fs::absolute(fs::path(__FILE__)).parent_path().parent_path().parent_path();
  const fs::path prefix = scratch.root() / "sample";
  Shell(scratch,
        "'" + (source / "scripts" / "make-sample-queue").string() + "' '" + prefix.string() + "'");
  const fs::path self = fs::read_symlink("/proc/self/exe");
  const std::string program = "WINEPREFIX='" + prefix.string() + "' '" +
                              (self.parent_path() / VELMOTH_QUEUE_PROGRAM).string() + "' ";
  const struct {
    std::string by, filters;
  } cases[] = {
      {"to-domain", ""},
      {"from-domain", ""},
      {"day", ""},
      {"to-domain", "--after 2025-12-03"},
      {"day", "--match example.com"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.by + " " + c.filters);
    std::map<std::string, std::pair<std::uint64_t, std::uint64_t>> expected;  // count, bytes
    std::uint64_t count = 0, bytes = 0;
    for (const auto& row :
         nlohmann::json::parse(Shell(scratch, program + "list --json " + c.filters))) {
      for (const std::string& group : GroupsOf(row, c.by)) {
        ++expected[group].first;
        expected[group].second += row["size"].get<std::uint64_t>();
      }
      ++count;
      bytes += row["size"].get<std::uint64_t>();
    }
    const auto summary = nlohmann::json::parse(
        Shell(scratch, program + "summary --json --by " + c.by + " " + c.filters));
    EXPECT_EQ(summary["by"], c.by);
    std::map<std::string, std::pair<std::uint64_t, std::uint64_t>> summed;
    for (const auto& group : summary["groups"]) {
      summed[group["group"]] = {group["count"], group["bytes"]};
      std::uint64_t aged = 0;
      for (const auto& [age, n] : group["ages"].items()) aged += n.get<std::uint64_t>();
      EXPECT_EQ(aged, group["count"]) << group;
    }
    EXPECT_EQ(summed, expected);
    EXPECT_EQ(summary["total"]["count"], count);
    EXPECT_EQ(summary["total"]["bytes"], bytes);
    const std::string text = Shell(scratch, program + "summary --by " + c.by + " " + c.filters);
    EXPECT_EQ(text.substr(text.rfind('\n', text.size() - 2) + 1, 6), "total ") << text;
  }
}

}  // namespace
}  // namespace velmoth
