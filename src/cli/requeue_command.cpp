// velmoth-queue requeue: the named candidates, or every one that passes the
// filters, put back into the outbound queue by the window's own Requeue, after a
// fresh scan has said which names are candidates; with --dry-run, only what
// would be done is said.
#include <algorithm>
#include <map>
#include <optional>
#include <set>

#include "base/name_escape.h"
#include "cli/commands.h"
#include "cli/output_text.h"
#include "queue/bad_mail_scan.h"
#include "queue/queue_paths.h"
#include "queue/requeue.h"

namespace velmoth {
namespace {

enum class RowOutcome {
  kWouldRequeue,  // a candidate; the requeue turns it into one of the last five
  kNotCandidate,  // skipped: parked, but no candidate, for `reason`
  kNotFound,      // skipped: not parked at all
  kRequeued,
  kNoLongerCandidate,  // skipped by the requeue
  kGone,               // skipped by the requeue
  kFailed,
  kNotTried,
};

struct CommandRow {
  std::string name;
  RowOutcome outcome = RowOutcome::kWouldRequeue;
  std::optional<LeftOutReason> reason{};  // kNotCandidate
  std::optional<FileError> error{};       // kFailed
};

// Every parked name, with the reason it is no candidate, or none for a candidate.
std::map<std::string, std::optional<LeftOutReason>> ParkedNames(const BadMailScan& scan) {
  std::map<std::string, std::optional<LeftOutReason>> parked;
  for (const BadMailEntry& entry : scan.candidates) parked.emplace(entry.name, std::nullopt);
  for (const LeftOutFile& file : scan.leftOut) parked.emplace(file.name, file.reason);
  return parked;
}

// Every candidate that passes the filter, by name.
std::vector<CommandRow> PassingRows(const BadMailScan& scan, const MessageFilter& filter,
                                    FileSystem& files) {
  std::vector<CommandRow> rows;
  ParkedHeaders headers(files);
  for (const BadMailEntry& entry : scan.candidates) {
    const auto header = filter.NeedsHeader() ? headers.Read(entry.name) : std::nullopt;
    if (Passes(filter, header, entry.date)) rows.push_back({entry.name});
  }
  std::sort(rows.begin(), rows.end(), [](const auto& a, const auto& b) { return a.name < b.name; });
  return rows;
}

// The rows to report on, in the order named (by name for --all or a filter); a
// name given twice is requeued once.
std::vector<CommandRow> SelectRows(const BadMailScan& scan, const RequeueCommandOptions& options,
                                   FileSystem& files) {
  if (options.names.empty()) return PassingRows(scan, options.filter, files);
  std::vector<CommandRow> rows;
  const auto parked = ParkedNames(scan);
  std::set<std::string> named;
  for (const std::string& text : options.names) {
    const std::string name = UnescapeName(text);
    if (!named.insert(name).second) continue;
    const auto found = parked.find(name);
    if (found == parked.end()) {
      rows.push_back({name, RowOutcome::kNotFound});
    } else if (found->second) {
      rows.push_back({name, RowOutcome::kNotCandidate, found->second});
    } else {
      rows.push_back({name});
    }
  }
  return rows;
}

RowOutcome FromRequeue(RequeueOutcome outcome) {
  switch (outcome) {
    case RequeueOutcome::kRequeued:
      return RowOutcome::kRequeued;
    case RequeueOutcome::kNoLongerCandidate:
      return RowOutcome::kNoLongerCandidate;
    case RequeueOutcome::kGone:
      return RowOutcome::kGone;
    case RequeueOutcome::kFailed:
      return RowOutcome::kFailed;
    case RequeueOutcome::kNotTried:
      break;
  }
  return RowOutcome::kNotTried;
}

// Requeues the candidate rows, "requeued 1200 of 10000" on a terminal meanwhile.
void RequeueRows(std::vector<CommandRow>& rows, bool keep, const Console& console,
                 FileSystem& files) {
  std::vector<CommandRow*> candidates;
  std::vector<std::string> names;
  for (CommandRow& row : rows) {
    if (row.outcome != RowOutcome::kWouldRequeue) continue;
    candidates.push_back(&row);
    names.push_back(row.name);
  }
  RequeueOptions options;
  options.deleteParked = !keep;
  bool shown = false;
  if (console.errIsTerminal) {
    options.progress = [&](std::size_t done, std::size_t total) {
      console.err << '\r' << kProgram << ": requeued " << done << " of " << total << std::flush;
      shown = true;
    };
  }
  const std::vector<RequeueRow> results = Requeue(names, options, files);
  if (shown) console.err << '\n';
  for (std::size_t i = 0; i < results.size(); ++i) {
    candidates[i]->outcome = FromRequeue(results[i].outcome);
    candidates[i]->error = results[i].error;
  }
}

std::string RowText(const CommandRow& row, bool keep) {
  const std::string name = EscapeName(row.name);
  const std::string kept = keep ? ", kept in Bad Mail" : "";
  switch (row.outcome) {
    case RowOutcome::kWouldRequeue:
      return "would requeue " + name + (keep ? ", keeping it in Bad Mail" : "");
    case RowOutcome::kNotCandidate:
      return "skipped " + name + ": not a requeue candidate (" + ReasonText(*row.reason) + ")";
    case RowOutcome::kNotFound:
      return "skipped " + name + ": not in the Bad Mail directory";
    case RowOutcome::kRequeued:
      return "requeued " + name + kept;
    case RowOutcome::kNoLongerCandidate:
      return "skipped " + name + ": no longer a requeue candidate";
    case RowOutcome::kGone:
      return "skipped " + name + ": no longer in the Bad Mail directory";
    case RowOutcome::kFailed:
      return "failed " + name;
    case RowOutcome::kNotTried:
      break;
  }
  return "not tried " + name + ": the requeue stopped at an earlier failure";
}

const char* OutcomeWord(RowOutcome outcome) {
  switch (outcome) {
    case RowOutcome::kWouldRequeue:
      return "would-requeue";
    case RowOutcome::kNotCandidate:
      return "not-candidate";
    case RowOutcome::kNotFound:
      return "not-found";
    case RowOutcome::kRequeued:
      return "requeued";
    case RowOutcome::kNoLongerCandidate:
      return "no-longer-candidate";
    case RowOutcome::kGone:
      return "gone";
    case RowOutcome::kFailed:
      return "failed";
    case RowOutcome::kNotTried:
      break;
  }
  return "not-tried";
}

void WriteJson(const std::vector<CommandRow>& rows, std::ostream& out) {
  auto array = nlohmann::ordered_json::array();
  for (const CommandRow& row : rows) {
    nlohmann::ordered_json json = NameJson(row.name);
    json["outcome"] = OutcomeWord(row.outcome);
    if (row.reason) json["reason"] = ReasonWord(*row.reason);
    if (row.error) json["error"] = ErrorJson(*row.error);
    array.push_back(std::move(json));
  }
  out << array.dump(2) << '\n';
}

}  // namespace

int RunRequeue(const RequeueCommandOptions& options, const Console& console, FileSystem& files) {
  std::vector<CommandRow> rows = SelectRows(ScanBadMail(files), options, files);
  if (rows.empty() && options.filter.Any()) {
    console.err << kProgram << ": no requeue candidate passes the filters\n";
  }
  const bool anyCandidate = std::any_of(rows.begin(), rows.end(), [](const CommandRow& row) {
    return row.outcome == RowOutcome::kWouldRequeue;
  });
  if (options.dryRun && anyCandidate) {
    QueueDirectory(Queue::kOutbound);  // the requeue would fail without one
  } else if (anyCandidate) {
    RequeueRows(rows, options.keep, console, files);
  }
  if (options.json) WriteJson(rows, console.out);
  int status = kExitSuccess;
  for (const CommandRow& row : rows) {
    if (!options.json) console.out << RowText(row, options.keep) << '\n';
    if (row.error) console.err << kProgram << ": " << ErrorText(*row.error) << '\n';
    if (row.outcome == RowOutcome::kFailed || row.outcome == RowOutcome::kNotTried) {
      status = kExitFailure;
    }
  }
  return status;
}

}  // namespace velmoth
