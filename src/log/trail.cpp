// The run's records: its summary, then its rows in records bounded in rows and bytes.
#include "log/trail.h"

#include <cstdint>
#include <random>
#include <utility>

#include "base/name_escape.h"

namespace velmoth {
namespace {

// `text` in the name escape, with the two bytes that would close a quoted name
// or start an Event Viewer insertion escaped as well.
std::string LogText(std::string_view text) {
  std::string out;
  for (const char c : EscapeName(text)) {
    if (c == '"') {
      out += "\\x22";
    } else if (c == '%') {
      out += "\\x25";
    } else {
      out += c;
    }
  }
  return out;
}

std::string Quoted(std::string_view text) { return '"' + LogText(text) + '"'; }

std::string UserText(const RunUser& user) {
  if (user.name.empty()) return "user unknown";
  std::string text = "user " + Quoted(user.name);
  if (!user.sudoUser.empty()) text += " through sudo by " + Quoted(user.sudoUser);
  return text;
}

// The number of rows of each outcome, in the order the outcomes first come.
std::vector<std::pair<std::string, std::size_t>> OutcomeCounts(const std::vector<TrailRow>& rows) {
  std::vector<std::pair<std::string, std::size_t>> counts;
  for (const TrailRow& row : rows) {
    auto found = counts.begin();
    while (found != counts.end() && found->first != row.outcome) ++found;
    if (found == counts.end()) found = counts.insert(found, {row.outcome, 0});
    ++found->second;
  }
  return counts;
}

std::string RunText(const RunRecord& run) {
  std::string text = LogText(run.action) + " run " + run.id + " by " + LogText(run.program) + ", " +
                     UserText(run.user) + ": rows " + std::to_string(run.rows.size());
  for (const auto& [outcome, count] : OutcomeCounts(run.rows)) {
    text += ", " + LogText(outcome) + ' ' + std::to_string(count);
  }
  return text;
}

// The words that place rows [first, end) in the run.
std::string RowsPrefix(const RunRecord& run, std::size_t first, std::size_t end) {
  return LogText(run.action) + " run " + run.id + " rows " + std::to_string(first + 1) + '-' +
         std::to_string(end) + " of " + std::to_string(run.rows.size()) + ": ";
}

std::string RowsText(const RunRecord& run, const std::vector<std::string>& rowTexts,
                     std::size_t first, std::size_t end) {
  std::string text = RowsPrefix(run, first, end);
  for (std::size_t i = first; i < end; ++i) {
    if (i > first) text += ", ";
    text += rowTexts[i];
  }
  return text;
}

// The end of the record that starts at row `first`: at most kRowsPerRecord rows
// and kRecordTextLimit bytes, but one row at least. The prefix is measured with
// the longest row numbers, those of the last row.
std::size_t RecordEnd(const RunRecord& run, const std::vector<std::string>& rowTexts,
                      std::size_t first) {
  std::size_t size = RowsPrefix(run, rowTexts.size() - 1, rowTexts.size()).size();
  std::size_t end = first;
  while (end < rowTexts.size() && end - first < kRowsPerRecord) {
    const std::size_t added = rowTexts[end].size() + (end > first ? 2 : 0);
    if (end > first && size + added > kRecordTextLimit) break;
    size += added;
    ++end;
  }
  return end;
}

std::optional<FileError> WriteRows(SystemLog& log, const RunRecord& run,
                                   const std::vector<std::string>& rowTexts, std::size_t first,
                                   std::size_t end) {
  auto failure = log.Write(run.severity, RecordKind::kRows, RowsText(run, rowTexts, first, end));
  if (failure && failure->number() == kErrorRecordTooLarge && end - first > 1) {
    const std::size_t middle = first + (end - first) / 2;
    failure = WriteRows(log, run, rowTexts, first, middle);
    if (!failure) failure = WriteRows(log, run, rowTexts, middle, end);
  }
  return failure;
}

}  // namespace

std::string NewRunId() {
  static constexpr char kHex[] = "0123456789abcdef";
  std::random_device device;
  std::uint32_t bits = device();
  std::string id(8, '0');
  for (char& digit : id) {
    digit = kHex[bits & 0xF];
    bits >>= 4;
  }
  return id;
}

std::optional<FileError> LogRun(SystemLog& log, const RunRecord& run) {
  if (auto failure = log.Write(run.severity, RecordKind::kRun, RunText(run))) return failure;
  std::vector<std::string> rowTexts;
  rowTexts.reserve(run.rows.size());
  for (const TrailRow& row : run.rows) {
    rowTexts.push_back(LogText(row.outcome) + ' ' + Quoted(row.name));
  }
  for (std::size_t first = 0; first < rowTexts.size();) {
    const std::size_t end = RecordEnd(run, rowTexts, first);
    if (auto failure = WriteRows(log, run, rowTexts, first, end)) return failure;
    first = end;
  }
  return std::nullopt;
}

}  // namespace velmoth
