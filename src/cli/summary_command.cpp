// velmoth-queue summary: the candidates that pass the filters summed up by the
// domains they are sent to, the domain they come from or the local day they were
// parked, as a table with a total line or as one JSON object.
#include <chrono>

#include "base/text_width.h"
#include "cli/commands.h"
#include "cli/output_text.h"
#include "queue/bad_mail_scan.h"
#include "queue/candidate_summary.h"
#include "time/utc_stamp.h"

namespace velmoth {
namespace {

// The age columns' headings in the table, and their keys in JSON: each counts the
// messages younger than its bound and not younger than the one before.
constexpr const char* kAgeHeadings[kAgeCount] = {"<1h", "<6h",  "<1d",  "<3d",
                                                 "<7d", "<30d", "older"};
constexpr const char* kAgeKeys[kAgeCount] = {"1h", "6h", "1d", "3d", "7d", "30d", "older"};

const char* GroupHeading(SummaryGrouping by) {
  switch (by) {
    case SummaryGrouping::kToDomain:
      return "to domain";
    case SummaryGrouping::kFromDomain:
      return "from domain";
    case SummaryGrouping::kDay:
      break;
  }
  return "day";
}

// A line of the table: the group's name, then count, size and ages.
std::vector<std::string> Cells(std::string name, const SummaryCounts& counts) {
  std::vector<std::string> cells{std::move(name), std::to_string(counts.count),
                                 std::to_string(counts.bytes)};
  for (const std::uint64_t age : counts.ages) cells.push_back(std::to_string(age));
  return cells;
}

// The columns two spaces apart, the name left-aligned and the numbers right.
void WriteText(const CandidateSummary& summary, SummaryGrouping by, std::ostream& out) {
  std::vector<std::vector<std::string>> lines;
  lines.push_back({GroupHeading(by), "count", "size"});
  lines.front().insert(lines.front().end(), std::begin(kAgeHeadings), std::end(kAgeHeadings));
  for (const SummaryGroup& group : summary.groups) lines.push_back(Cells(group.name, group.counts));
  lines.push_back(Cells("total", summary.total));
  std::vector<std::size_t> widths(lines.front().size());
  for (const auto& line : lines) {
    for (std::size_t i = 0; i < line.size(); ++i) {
      widths[i] = std::max(widths[i], TextWidth(line[i]));
    }
  }
  for (const auto& line : lines) {
    std::string text = line[0] + std::string(widths[0] - TextWidth(line[0]), ' ');
    for (std::size_t i = 1; i < line.size(); ++i) {
      text += std::string(widths[i] - line[i].size() + 2, ' ') + line[i];
    }
    out << text << '\n';
  }
}

nlohmann::ordered_json CountsJson(const SummaryCounts& counts) {
  nlohmann::ordered_json json{{"count", counts.count}, {"bytes", counts.bytes}};
  nlohmann::ordered_json& ages = json["ages"] = nlohmann::ordered_json::object();
  for (std::size_t i = 0; i < kAgeCount; ++i) ages[kAgeKeys[i]] = counts.ages[i];
  return json;
}

void WriteJson(const CandidateSummary& summary, SummaryGrouping by, std::ostream& out) {
  nlohmann::ordered_json json{{"by", SummaryGroupingWord(by)}};
  nlohmann::ordered_json& groups = json["groups"] = nlohmann::ordered_json::array();
  for (const SummaryGroup& group : summary.groups) {
    nlohmann::ordered_json row{{"group", group.name}};
    row.update(CountsJson(group.counts));
    groups.push_back(std::move(row));
  }
  json["total"] = CountsJson(summary.total);
  out << json.dump(2) << '\n';
}

// The files that could not be read are in no group; they are not passed over in
// silence either.
void WarnUnreadable(const BadMailScan& scan, std::ostream& err) {
  const UnreadableFiles unreadable = CountUnreadable(scan);
  if (unreadable.count == 0) return;
  err << kProgram << ": ";
  if (unreadable.count == 1) {
    err << "1 file in the Bad Mail directory could not be read and is not counted: ";
  } else {
    err << unreadable.count
        << " files in the Bad Mail directory could not be read and are not counted; the first: ";
  }
  err << ErrorText(*unreadable.first) << " (list --all shows every one)\n";
}

}  // namespace

const char* SummaryGroupingWord(SummaryGrouping by) {
  switch (by) {
    case SummaryGrouping::kToDomain:
      return "to-domain";
    case SummaryGrouping::kFromDomain:
      return "from-domain";
    case SummaryGrouping::kDay:
      break;
  }
  return "day";
}

int RunSummary(const SummaryCommandOptions& options, const Console& console, FileSystem& files,
               const QueueLocations& locations) {
  const BadMailScan scan = ScanBadMail(files, locations);
  ParkedHeaders headers(files, locations);
  const FileDate now{std::chrono::seconds(SystemClock())};
  const CandidateSummary summary =
      SummarizeCandidates(scan.candidates, options.by, options.filter, headers, now);
  if (options.json) {
    WriteJson(summary, options.by, console.out);
  } else {
    WriteText(summary, options.by, console.out);
  }
  WarnUnreadable(scan, console.err);
  return kExitSuccess;
}

}  // namespace velmoth
