// Names, dates, reasons and errors as velmoth-queue writes them: local time for
// people, UTC for scripts, and each error with its number, description and path.
#include "cli/output_text.h"

#include <chrono>
#include <cstdio>

#include "base/name_escape.h"
#include "queue/access_advice.h"
#include "time/utc_stamp.h"

namespace velmoth {
namespace {

std::string DateText(const DateTime& d, const char* format) {
  char text[64];
  std::snprintf(text, sizeof text, format, d.year, d.month, d.day, d.hour, d.minute, d.second);
  return text;
}

}  // namespace

nlohmann::ordered_json NameJson(const std::string& name) {
  const std::string escaped = EscapeName(name);
  nlohmann::ordered_json json{{"name", escaped}};
  if (escaped != name) json["escaped"] = true;
  return json;
}

std::string LocalDateText(FileDate date) {
  return DateText(LocalDateTimeAt(date.time_since_epoch().count()),
                  "%04d-%02d-%02d %02d:%02d:%02d");
}

std::string UtcDateText(FileDate date) {
  const auto day = std::chrono::floor<std::chrono::days>(date);
  const std::chrono::year_month_day ymd{day};
  const std::chrono::hh_mm_ss time{date - day};
  const DateTime utc{static_cast<int>(ymd.year()),
                     static_cast<int>(static_cast<unsigned>(ymd.month())),
                     static_cast<int>(static_cast<unsigned>(ymd.day())),
                     static_cast<int>(time.hours().count()),
                     static_cast<int>(time.minutes().count()),
                     static_cast<int>(time.seconds().count())};
  return DateText(utc, "%04d-%02d-%02dT%02d:%02d:%02dZ");
}

const char* ReasonWord(LeftOutReason reason) {
  switch (reason) {
    case LeftOutReason::kSpooling:
      return "spooling";
    case LeftOutReason::kNonDeliveryReport:
      return "ndr";
    case LeftOutReason::kNoMessageFile:
      return "no-message-file";
    case LeftOutReason::kNotRegularFile:
      return "not-regular-file";
    case LeftOutReason::kUnreadable:
      break;
  }
  return "unreadable";
}

std::string ErrorText(const FileError& error) {
  std::string text = "error " + std::to_string(error.number()) + ": " + error.description();
  if (!error.path().empty()) text += ": " + error.path();
  return text;
}

nlohmann::ordered_json ErrorJson(const FileError& error) {
  return {{"number", error.number()},
          {"description", ValidUtf8Text(error.description())},
          {"path", ValidUtf8Text(error.path())}};
}

void ReportError(const Console& console, const FileError& error, FileSystem& files,
                 const QueueLocations& locations) {
  console.err << kProgram << ": " << ErrorText(error) << '\n';
  const std::string advice = AccessAdvice(error, files, locations, kProgram);
  if (!advice.empty()) console.err << kProgram << ": " << advice << '\n';
}

void LogTrail(const Console& console, const RunRecord& run) {
  if (console.log == nullptr) return;
  if (const auto failure = LogRun(*console.log, run)) {
    console.err << kProgram << ": the system log could not be written: " << ErrorText(*failure)
                << '\n';
  }
}

}  // namespace velmoth
