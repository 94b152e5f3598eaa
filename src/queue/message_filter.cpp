// The message filters: a field holds a text when its case folding holds the
// text's, so letter case counts in no script; a date bound is read as local time
// by way of the zone's own offset around it.
#include "queue/message_filter.h"

#include <exception>

#include "base/case_fold.h"
#include "time/civil_days.h"
#include "time/utc_stamp.h"

namespace velmoth {
namespace {

bool Holds(const std::string& field, const std::optional<std::string>& part) {
  return !part || CaseFold(field).find(*part) != std::string::npos;
}

bool HoldsAnywhere(const MessageHeader& header, const std::optional<std::string>& part) {
  return Holds(header.from, part) || Holds(header.to, part) || Holds(header.cc, part) ||
         Holds(header.subject, part);
}

bool PassesHeader(const MessageFilter& filter, const MessageHeader& header) {
  return Holds(header.from, filter.from) && Holds(header.subject, filter.subject) &&
         (Holds(header.to, filter.to) || Holds(header.cc, filter.to)) &&
         HoldsAnywhere(header, filter.match);
}

// Reads `count` digits at `at` into `value`.
bool ReadNumber(std::string_view text, std::size_t& at, std::size_t count, int& value) {
  if (text.size() - at < count) return false;
  value = 0;
  for (const char c : text.substr(at, count)) {
    if (c < '0' || c > '9') return false;
    value = value * 10 + (c - '0');
  }
  at += count;
  return true;
}

// The fields of "YYYY-MM-DD[( |T)HH:MM[:SS]][Z]" into `d`; whether it was UTC.
std::optional<bool> ReadDateTime(std::string_view text, DateTime& d) {
  static constexpr struct {
    std::string_view before;  // the separators that may stand before it
    std::size_t digits;
    int DateTime::*field;
  } kFields[] = {{"", 4, &DateTime::year},    {"-", 2, &DateTime::month},
                 {"-", 2, &DateTime::day},    {" T", 2, &DateTime::hour},
                 {":", 2, &DateTime::minute}, {":", 2, &DateTime::second}};
  std::size_t at = 0, read = 0;
  for (const auto& field : kFields) {
    if (at == text.size() || (read > 0 && field.before.find(text[at]) == std::string_view::npos)) {
      break;
    }
    at += read > 0 ? 1 : 0;
    if (!ReadNumber(text, at, field.digits, d.*field.field)) return std::nullopt;
    ++read;
  }
  const bool utc = read >= 5 && at < text.size() && text[at] == 'Z';
  if (at + (utc ? 1 : 0) != text.size() || (read != 3 && read != 5 && read != 6)) {
    return std::nullopt;
  }
  return utc;
}

bool IsValid(const DateTime& d) {
  return d.year >= 1970 && d.month >= 1 && d.month <= 12 && d.day >= 1 &&
         d.day <= civil::DaysInMonth(d.year, d.month) && d.hour < 24 && d.minute < 60 &&
         d.second < 60;
}

}  // namespace

bool Passes(const MessageFilter& filter, const std::optional<MessageHeader>& header,
            std::optional<FileDate> date) {
  if (filter.NeedsHeader() && (!header || !PassesHeader(filter, *header))) return false;
  if ((filter.after || filter.before) && !date) return false;
  return (!filter.after || *date >= *filter.after) && (!filter.before || *date < *filter.before);
}

std::optional<FileDate> ParseDateBound(std::string_view text) {
  DateTime d;
  const std::optional<bool> utc = ReadDateTime(text, d);
  if (!utc || !IsValid(d)) return std::nullopt;
  try {
    return FileDate(std::chrono::seconds(*utc ? CivilSeconds(d) : LocalInstant(d)));
  } catch (const std::exception&) {
    return std::nullopt;  // a date the platform's zone rules cannot place
  }
}

}  // namespace velmoth
