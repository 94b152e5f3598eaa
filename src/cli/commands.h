// The commands of velmoth-queue over the queue layer, each writing to the
// console it is given and returning the exit status; the argument parsing in
// queue_command.h calls them.
#pragma once

#include <istream>
#include <ostream>
#include <string>
#include <vector>

#include "config/queue_locations.h"
#include "files/file_system.h"
#include "log/system_log.h"
#include "queue/candidate_summary.h"
#include "queue/message_filter.h"

namespace velmoth {

inline constexpr char kProgram[] = "velmoth-queue";

inline constexpr int kExitSuccess = 0;
// A row failed, or the command could not run at all (no queue directory, say).
inline constexpr int kExitFailure = 1;
inline constexpr int kExitUsage = 2;

struct Console {
  std::ostream& out;
  std::ostream& err;
  // Progress is shown only to a person watching standard error.
  bool errIsTerminal = false;
  // Where a person at a terminal answers a question; none in a script.
  std::istream* terminal = nullptr;
  // The trail of every requeue and delete; none keeps none.
  SystemLog* log = nullptr;
};

struct ListOptions {
  bool all = false;  // the parked files that are no candidates too
  bool json = false;
  bool names = false;     // the names alone, read from no message file
  bool outbound = false;  // the outbound queue's messages and their state instead
  MessageFilter filter;   // the files listed must pass it
};

struct RequeueCommandOptions {
  bool all = false;                // every candidate, instead of the named ones
  std::vector<std::string> names;  // as escaped by EscapeName, or typed as they are
  MessageFilter filter;            // without names: every candidate that passes it
  bool keep = false;               // the parked files stay in Bad Mail
  bool dryRun = false;
  bool json = false;
};

struct DeleteCommandOptions {
  bool all = false;                // every candidate that passes the filters
  bool ndr = false;                // every non-delivery report that passes them instead
  std::vector<std::string> names;  // any parked row, as list --all writes it
  MessageFilter filter;
  bool dryRun = false;
  bool json = false;
  bool yes = false;  // asked nothing: a script says what it means
};

struct SummaryCommandOptions {
  SummaryGrouping by = SummaryGrouping::kToDomain;
  MessageFilter filter;  // the candidates counted must pass it
  bool json = false;
};

// "to-domain", "from-domain" or "day", as --by takes it and JSON writes it.
const char* SummaryGroupingWord(SummaryGrouping by);

// Each throws a FileError when the queues cannot be found or the Bad Mail
// directory cannot be listed.
int RunList(const ListOptions& options, const Console& console, FileSystem& files,
            const QueueLocations& locations);
int RunRequeue(const RequeueCommandOptions& options, const Console& console, FileSystem& files,
               const QueueLocations& locations);
int RunDelete(const DeleteCommandOptions& options, const Console& console, FileSystem& files,
              const QueueLocations& locations);
int RunSummary(const SummaryCommandOptions& options, const Console& console, FileSystem& files,
               const QueueLocations& locations);
// Writes the parked message file `name` (escaped as for requeue) byte for byte.
int RunShow(const std::string& name, const Console& console, FileSystem& files,
            const QueueLocations& locations);

}  // namespace velmoth
