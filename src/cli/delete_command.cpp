// velmoth-queue delete: parked messages deleted from Bad Mail for good, by name
// (any parked row), or every candidate or every non-delivery report that passes
// the filters; asked first at a terminal, refused without --yes in a script.
#include <algorithm>
#include <set>

#include "base/name_escape.h"
#include "cli/commands.h"
#include "cli/output_text.h"
#include "cli/selection.h"
#include "queue/outcome_text.h"
#include "queue/parked_deletion.h"
#include "queue/trail_record.h"

namespace velmoth {
namespace {

// What became of a name: one not parked, or what the deletion made of it.
struct CommandRow {
  std::string name;
  bool parked = true;
  DeletionOutcome outcome = DeletionOutcome::kNotTried;
  std::optional<FileError> error = {};
};

// The names to delete, in the order named (sorted for --all, --ndr and filters);
// a name given twice is deleted once.
std::vector<CommandRow> SelectRows(const BadMailScan& scan, const DeleteCommandOptions& options,
                                   FileSystem& files, const QueueLocations& locations) {
  std::vector<CommandRow> rows;
  if (options.names.empty()) {
    const auto kind =
        options.ndr ? LeftOut(scan, LeftOutReason::kNonDeliveryReport) : Candidates(scan);
    for (std::string& name : PassingNames(kind, options.filter, files, locations)) {
      rows.push_back({std::move(name)});
    }
    return rows;
  }
  const auto parked = ParkedNames(scan);
  std::set<std::string> named;
  for (const std::string& text : options.names) {
    std::string name = UnescapeName(text);
    if (named.insert(name).second) rows.push_back({name, parked.contains(name)});
  }
  return rows;
}

std::size_t Parked(const std::vector<CommandRow>& rows) {
  return static_cast<std::size_t>(
      std::count_if(rows.begin(), rows.end(), [](const CommandRow& row) { return row.parked; }));
}

// Whether the deletion may go ahead: asked at a terminal, said with --yes in a
// script. A refusal is told on standard error.
int Confirmed(const DeleteCommandOptions& options, const Console& console, std::size_t count) {
  if (options.dryRun || options.yes || count == 0) return kExitSuccess;
  if (console.terminal == nullptr) {
    console.err << kProgram
                << ": delete asks before it deletes, and no one is at a terminal to answer; "
                   "give --yes to delete without asking, or --dry-run to see what would go\n";
    return kExitUsage;
  }
  console.err << "Delete " << count << (count == 1 ? " message" : " messages")
              << " from Bad Mail? They will not be sent. [y/N] " << std::flush;
  std::string answer;
  std::getline(*console.terminal, answer);
  if (answer == "y" || answer == "Y" || answer == "yes") return kExitSuccess;
  console.err << kProgram << ": nothing deleted\n";
  return kExitFailure;
}

void DeleteRows(std::vector<CommandRow>& rows, const DeleteCommandOptions& command,
                const Console& console, FileSystem& files, const QueueLocations& locations) {
  std::vector<CommandRow*> parked;
  std::vector<std::string> names;
  for (CommandRow& row : rows) {
    if (!row.parked) continue;
    parked.push_back(&row);
    names.push_back(row.name);
  }
  if (names.empty()) return;
  DeletionOptions options;
  options.dryRun = command.dryRun;
  bool shown = false;
  if (console.errIsTerminal && !command.dryRun) {
    options.progress = [&](std::size_t done, std::size_t total) {
      console.err << '\r' << kProgram << ": deleted " << done << " of " << total << std::flush;
      shown = true;
    };
  }
  const std::vector<DeletionRow> results = DeleteParked(names, options, files, locations);
  if (shown) console.err << '\n';
  if (!command.dryRun) LogTrail(console, DeletionRecord(results, kProgram));
  for (std::size_t i = 0; i < results.size(); ++i) {
    parked[i]->outcome = results[i].outcome;
    parked[i]->error = results[i].error;
  }
}

const char* ReasonWord(DeletionOutcome outcome) {
  switch (outcome) {
    case DeletionOutcome::kSpooling:
      return "spooling";
    case DeletionOutcome::kNotRegular:
      return "not-regular-file";
    default:
      return nullptr;
  }
}

std::string RowText(const CommandRow& row) {
  const std::string name = EscapeName(row.name);
  if (!row.parked) return "skipped " + name + ": not in the Bad Mail directory";
  switch (row.outcome) {
    case DeletionOutcome::kDeleted:
      return "deleted " + name;
    case DeletionOutcome::kWouldDelete:
      return "would delete " + name;
    case DeletionOutcome::kSpooling:
    case DeletionOutcome::kNotRegular:
    case DeletionOutcome::kGone:
      return "skipped " + name + ": " + DeletionSkippedText(row.outcome)->one;
    case DeletionOutcome::kFailed:
      return "failed " + name;
    case DeletionOutcome::kNotTried:
      break;
  }
  return "not tried " + name + ": the deletion stopped at an earlier failure";
}

void WriteJson(const std::vector<CommandRow>& rows, std::ostream& out) {
  auto array = nlohmann::ordered_json::array();
  for (const CommandRow& row : rows) {
    nlohmann::ordered_json json = NameJson(row.name);
    json["outcome"] = row.parked ? OutcomeWord(row.outcome) : "not-found";
    if (row.parked && ReasonWord(row.outcome)) json["reason"] = ReasonWord(row.outcome);
    if (row.error) json["error"] = ErrorJson(*row.error);
    array.push_back(std::move(json));
  }
  out << array.dump(2) << '\n';
}

bool FailsTheCommand(const CommandRow& row) {
  return !row.parked || row.outcome == DeletionOutcome::kFailed ||
         row.outcome == DeletionOutcome::kNotTried;
}

}  // namespace

int RunDelete(const DeleteCommandOptions& options, const Console& console, FileSystem& files,
              const QueueLocations& locations) {
  std::vector<CommandRow> rows =
      SelectRows(ScanBadMail(files, locations), options, files, locations);
  if (rows.empty()) {
    console.err << kProgram << ": no parked message passes the filters\n";
  }
  if (const int refused = Confirmed(options, console, Parked(rows)); refused != kExitSuccess) {
    return refused;
  }
  DeleteRows(rows, options, console, files, locations);
  if (options.json) WriteJson(rows, console.out);
  int status = kExitSuccess;
  for (const CommandRow& row : rows) {
    if (!options.json) console.out << RowText(row) << '\n';
    if (row.error) ReportError(console, *row.error, files, locations);
    if (FailsTheCommand(row)) status = kExitFailure;
  }
  return status;
}

}  // namespace velmoth
