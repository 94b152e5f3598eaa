// velmoth-queue list: the requeue candidates and, with --all, every other parked
// file with the reason it is none, each with who its message is from, to whom and
// what about, those that pass the filters sorted by name, as aligned text or JSON.
#include <algorithm>
#include <array>
#include <optional>

#include "base/name_escape.h"
#include "base/text_width.h"
#include "cli/commands.h"
#include "cli/output_text.h"
#include "queue/bad_mail_scan.h"
#include "queue/outcome_text.h"

namespace velmoth {
namespace {

// A candidate, or a left-out file when it has a reason.
struct ListedFile {
  std::string name;
  std::optional<std::uint64_t> size;
  std::optional<FileDate> date;
  std::optional<LeftOutReason> reason;
  std::optional<FileError> error;
  std::optional<MessageHeader> header = {};  // when its message file could be read
};

// The rows that pass the filter, sorted by name. A header is read for each row
// whose message file is a regular file, through the "messages" directory.
std::vector<ListedFile> ListedFiles(const BadMailScan& scan, const ListOptions& options,
                                    FileSystem& files, const QueueLocations& locations) {
  std::vector<ListedFile> rows;
  for (const BadMailEntry& entry : scan.candidates) {
    rows.push_back({entry.name, entry.size, entry.date, std::nullopt, std::nullopt});
  }
  if (options.all) {
    for (const LeftOutFile& file : scan.leftOut) {
      rows.push_back({file.name, file.size, file.date, file.reason, file.error});
    }
  }
  // Sorted while the rows are small, before their headers are read.
  std::sort(rows.begin(), rows.end(), [](const auto& a, const auto& b) { return a.name < b.name; });
  ParkedHeaders headers(files, locations);
  for (ListedFile& row : rows) {
    if (row.size) row.header = headers.Read(row.name);
  }
  std::erase_if(
      rows, [&](const ListedFile& row) { return !Passes(options.filter, row.header, row.date); });
  return rows;
}

// The columns a header field may take in the text output before it is cut.
constexpr std::size_t kFromWidth = 30;
constexpr std::size_t kToWidth = 30;
constexpr std::size_t kSubjectWidth = 50;

struct TextRow {
  std::string name, size, date;
  std::string reason = {};  // empty for a candidate
  std::string from = {}, to = {}, subject = {};
};

struct TextColumn {
  std::string TextRow::*cell;
  bool right;     // aligned right, else left
  bool optional;  // left out when no row has text in it
};

// Name, size (right-aligned) and date; the reason of a left-out file, when the
// list has one; from, to and subject.
constexpr TextColumn kTextColumns[] = {
    {&TextRow::name, false, false},    {&TextRow::size, true, false},
    {&TextRow::date, false, false},    {&TextRow::reason, false, true},
    {&TextRow::from, false, false},    {&TextRow::to, false, false},
    {&TextRow::subject, false, false},
};
constexpr std::size_t kTextColumnCount = std::size(kTextColumns);

// A row's cells with the columns each takes on a terminal.
struct MeasuredRow {
  TextRow cells;
  std::array<std::size_t, kTextColumnCount> widths;
};

TextRow ToText(const ListedFile& file) {
  TextRow row{EscapeName(file.name), file.size ? std::to_string(*file.size) : "-",
              file.date ? LocalDateText(*file.date) : "-"};
  if (file.reason) row.reason = LeftOutText(*file.reason);
  if (file.error) row.reason += ": " + ErrorText(*file.error);
  if (file.header) {
    row.from = CutToWidth(file.header->from, kFromWidth);
    row.to = CutToWidth(file.header->to, kToWidth);
    row.subject = CutToWidth(file.header->subject, kSubjectWidth);
  }
  return row;
}

// The columns two spaces apart, each line without the blanks it would end with.
void WriteText(const std::vector<ListedFile>& files, std::ostream& out) {
  std::vector<MeasuredRow> rows;
  rows.reserve(files.size());
  std::array<std::size_t, kTextColumnCount> widths{};
  for (const ListedFile& file : files) {
    MeasuredRow& row = rows.emplace_back(MeasuredRow{ToText(file), {}});
    for (std::size_t i = 0; i < kTextColumnCount; ++i) {
      row.widths[i] = TextWidth(row.cells.*kTextColumns[i].cell);
      widths[i] = std::max(widths[i], row.widths[i]);
    }
  }
  std::string line;
  for (const MeasuredRow& row : rows) {
    line.clear();
    for (std::size_t i = 0; i < kTextColumnCount; ++i) {
      const TextColumn& column = kTextColumns[i];
      if (column.optional && widths[i] == 0) continue;
      if (i > 0) line += "  ";
      const std::size_t padding = widths[i] - row.widths[i];
      if (column.right) line.append(padding, ' ');
      line += row.cells.*column.cell;
      if (!column.right) line.append(padding, ' ');
    }
    line.erase(line.find_last_not_of(' ') + 1);
    out << line << '\n';
  }
}

nlohmann::ordered_json HeaderField(const std::optional<MessageHeader>& header,
                                   std::string MessageHeader::*field) {
  return header ? nlohmann::ordered_json(*header.*field) : nullptr;
}

nlohmann::ordered_json ToJson(const ListedFile& file) {
  nlohmann::ordered_json json = NameJson(file.name);
  json["size"] = file.size ? nlohmann::ordered_json(*file.size) : nullptr;
  json["date"] = file.date ? nlohmann::ordered_json(UtcDateText(*file.date)) : nullptr;
  json["candidate"] = !file.reason;
  if (file.reason) json["reason"] = ReasonWord(*file.reason);
  if (file.error) json["error"] = ErrorJson(*file.error);
  json["from"] = HeaderField(file.header, &MessageHeader::from);
  json["to"] = HeaderField(file.header, &MessageHeader::to);
  json["cc"] = HeaderField(file.header, &MessageHeader::cc);
  json["subject"] = HeaderField(file.header, &MessageHeader::subject);
  json["date_header"] = HeaderField(file.header, &MessageHeader::date);
  return json;
}

void WriteJson(const std::vector<ListedFile>& files, std::ostream& out) {
  auto array = nlohmann::ordered_json::array();
  for (const ListedFile& file : files) array.push_back(ToJson(file));
  out << array.dump(2) << '\n';
}

// Without --all the files that could not be read are not listed; they are not
// passed over in silence either.
void WarnUnreadable(const BadMailScan& scan, std::ostream& err) {
  const UnreadableFiles unreadable = CountUnreadable(scan);
  if (unreadable.count == 0) return;
  err << kProgram << ": " << UnreadableText(unreadable.count)
      << (unreadable.count == 1 ? ": " : "; the first: ") << ErrorText(*unreadable.first)
      << " (list --all shows every one)\n";
}

}  // namespace

int RunList(const ListOptions& options, const Console& console, FileSystem& files,
            const QueueLocations& locations) {
  const BadMailScan scan = ScanBadMail(files, locations);
  const std::vector<ListedFile> rows = ListedFiles(scan, options, files, locations);
  if (options.json) {
    WriteJson(rows, console.out);
  } else {
    WriteText(rows, console.out);
  }
  if (!options.all) WarnUnreadable(scan, console.err);
  return kExitSuccess;
}

}  // namespace velmoth
