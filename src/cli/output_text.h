// How velmoth-queue writes names, dates, reasons and errors, in its text output
// and in JSON.
#pragma once

#include <nlohmann/json.hpp>
#include <string>

#include "base/file_error.h"
#include "base/file_time.h"
#include "cli/commands.h"
#include "log/trail.h"
#include "queue/bad_mail_scan.h"

namespace velmoth {

// {"name": EscapeName(name)}, with "escaped": true when that differs from the
// name itself.
nlohmann::ordered_json NameJson(const std::string& name);

// "2026-12-07 09:15:00": the local date and time, to the second.
std::string LocalDateText(FileDate date);
// "2026-12-07T08:15:00Z": ISO 8601 in UTC.
std::string UtcDateText(FileDate date);

// "spooling", "ndr", "no-message-file", "not-regular-file", "unreadable"; for
// people, LeftOutText says the same.
const char* ReasonWord(LeftOutReason reason);

// "error 2: <description>: <path>", the path left out when there is none.
std::string ErrorText(const FileError& error);
// {"number": 2, "description": ..., "path": ...}
nlohmann::ordered_json ErrorJson(const FileError& error);

// Tells `error` on standard error, and on a line of its own what to do about a
// queue directory that refused the process, when it did.
void ReportError(const Console& console, const FileError& error, FileSystem& files,
                 const QueueLocations& locations);

// Writes a run to the console's system log, if it keeps one; a log that cannot
// be written is told once on standard error, and the command goes on.
void LogTrail(const Console& console, const RunRecord& run);

}  // namespace velmoth
