// velmoth-queue requeue: the named candidates, or every one that passes the
// filters, put back into the outbound queue by the window's own Requeue, after a
// fresh scan has said which names are candidates; with --dry-run, the same
// Requeue only says what it would do.
#include <algorithm>
#include <map>
#include <optional>
#include <set>

#include "base/name_escape.h"
#include "cli/commands.h"
#include "cli/output_text.h"
#include "cli/selection.h"
#include "queue/bad_mail_scan.h"
#include "queue/outcome_text.h"
#include "queue/requeue.h"
#include "queue/trail_record.h"

namespace velmoth {
namespace {

// What became of a name: one the scan did not list as a candidate, or what the
// requeue made of it.
struct CommandRow {
  std::string name;
  bool parked = true;
  std::optional<LeftOutReason> reason = {};  // parked, but no candidate, for this
  RequeueOutcome outcome = RequeueOutcome::kNotTried;
  std::optional<KeptReason> kept = {};
  std::optional<FileError> error = {};

  bool IsCandidate() const { return parked && !reason; }
};

// The rows to report on, in the order named (by name for --all or a filter); a
// name given twice is requeued once. A name not parked is gone before it starts.
std::vector<CommandRow> SelectRows(const BadMailScan& scan, const RequeueCommandOptions& options,
                                   FileSystem& files, const QueueLocations& locations) {
  if (options.names.empty()) {
    std::vector<CommandRow> rows;
    for (std::string& name : PassingNames(Candidates(scan), options.filter, files, locations)) {
      rows.push_back({std::move(name)});
    }
    return rows;
  }
  std::vector<CommandRow> rows;
  const auto parked = ParkedNames(scan);
  std::set<std::string> named;
  for (const std::string& text : options.names) {
    const std::string name = UnescapeName(text);
    if (!named.insert(name).second) continue;
    const auto found = parked.find(name);
    if (found == parked.end()) {
      rows.push_back({name, false});
    } else {
      rows.push_back({name, true, found->second});
    }
  }
  return rows;
}

// Requeues the candidate rows, "requeued 1200 of 10000" on a terminal meanwhile.
void RequeueRows(std::vector<CommandRow>& rows, const RequeueCommandOptions& command,
                 const Console& console, FileSystem& files, const QueueLocations& locations) {
  std::vector<CommandRow*> candidates;
  std::vector<std::string> names;
  for (CommandRow& row : rows) {
    if (!row.IsCandidate()) continue;
    candidates.push_back(&row);
    names.push_back(row.name);
  }
  if (names.empty()) return;
  RequeueOptions options;
  options.deleteParked = !command.keep;
  options.dryRun = command.dryRun;
  bool shown = false;
  if (console.errIsTerminal && !command.dryRun) {
    options.progress = [&](std::size_t done, std::size_t total) {
      console.err << '\r' << kProgram << ": requeued " << done << " of " << total << std::flush;
      shown = true;
    };
  }
  const std::vector<RequeueRow> results = Requeue(names, options, files, locations);
  if (shown) console.err << '\n';
  if (!command.dryRun) LogTrail(console, RequeueRecord(results, kProgram));
  for (std::size_t i = 0; i < results.size(); ++i) {
    candidates[i]->outcome = results[i].outcome;
    candidates[i]->kept = results[i].kept;
    candidates[i]->error = results[i].error;
  }
}

const char* KeptWord(KeptReason reason) {
  switch (reason) {
    case KeptReason::kNotFlushed:
      return "not-flushed";
    case KeptReason::kChanged:
      return "changed";
    case KeptReason::kReadOnly:
      return "read-only";
    case KeptReason::kDeleteFailed:
      break;
  }
  return "delete-failed";
}

std::string RowText(const CommandRow& row, bool keep) {
  const std::string name = EscapeName(row.name);
  if (!row.parked) return "skipped " + name + ": not in the Bad Mail directory";
  if (row.reason) {
    return "skipped " + name + ": not a requeue candidate (" + LeftOutText(*row.reason) + ")";
  }
  switch (row.outcome) {
    case RequeueOutcome::kWouldRequeue:
      return "would requeue " + name + (keep ? ", keeping it in Bad Mail" : "");
    case RequeueOutcome::kRequeued:
      return "requeued " + name + (keep ? ", kept in Bad Mail" : "");
    case RequeueOutcome::kRequeuedNotDeleted:
      return "requeued " + name + ", but " + kKeptInBadMail.one + " (" + KeptText(*row.kept) +
             "): do not requeue it again";
    case RequeueOutcome::kNoLongerCandidate:
    case RequeueOutcome::kOutboundSpooling:
    case RequeueOutcome::kGone:
      return "skipped " + name + ": " + SkippedText(row.outcome)->one;
    case RequeueOutcome::kFailed:
      return "failed " + name;
    case RequeueOutcome::kNotTried:
      break;
  }
  return "not tried " + name + ": the requeue stopped at an earlier failure";
}

const char* OutcomeWord(const CommandRow& row) {
  if (!row.parked) return "not-found";
  if (row.reason) return "not-candidate";
  return OutcomeWord(row.outcome);
}

void WriteJson(const std::vector<CommandRow>& rows, std::ostream& out) {
  auto array = nlohmann::ordered_json::array();
  for (const CommandRow& row : rows) {
    nlohmann::ordered_json json = NameJson(row.name);
    json["outcome"] = OutcomeWord(row);
    if (row.reason) json["reason"] = ReasonWord(*row.reason);
    if (row.outcome == RequeueOutcome::kOutboundSpooling) json["reason"] = "outbound-spooling";
    if (row.kept) json["reason"] = KeptWord(*row.kept);
    if (row.error) json["error"] = ErrorJson(*row.error);
    array.push_back(std::move(json));
  }
  out << array.dump(2) << '\n';
}

// Whether the row ends the command with a failure: it failed, was not tried, is
// live but kept in Bad Mail, or was never parked.
bool FailsTheCommand(const CommandRow& row) {
  if (!row.parked) return true;
  if (row.reason) return false;
  switch (row.outcome) {
    case RequeueOutcome::kFailed:
    case RequeueOutcome::kNotTried:
    case RequeueOutcome::kRequeuedNotDeleted:
      return true;
    default:
      return row.error.has_value();
  }
}

}  // namespace

int RunRequeue(const RequeueCommandOptions& options, const Console& console, FileSystem& files,
               const QueueLocations& locations) {
  std::vector<CommandRow> rows =
      SelectRows(ScanBadMail(files, locations), options, files, locations);
  if (rows.empty() && options.filter.Any()) {
    console.err << kProgram << ": no requeue candidate passes the filters\n";
  }
  RequeueRows(rows, options, console, files, locations);
  if (options.json) WriteJson(rows, console.out);
  int status = kExitSuccess;
  for (const CommandRow& row : rows) {
    if (!options.json) console.out << RowText(row, options.keep) << '\n';
    if (row.error) ReportError(console, *row.error, files, locations);
    if (FailsTheCommand(row)) status = kExitFailure;
  }
  return status;
}

}  // namespace velmoth
