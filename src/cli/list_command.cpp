// velmoth-queue list: the requeue candidates and, with --all, every other parked
// file with the reason it is none, each with who its message is from, to whom and
// what about, those that pass the filters sorted by name, as aligned text or JSON;
// with --outbound the outbound queue's messages with their delivery state.
#include <algorithm>
#include <array>
#include <numeric>
#include <optional>
#include <string>

#include "base/name_escape.h"
#include "base/text_width.h"
#include "cli/commands.h"
#include "cli/output_text.h"
#include "queue/bad_mail_scan.h"
#include "queue/outbound_scan.h"
#include "queue/outcome_text.h"

namespace velmoth {
namespace {

// A candidate, or a left-out file when it has a reason; or a message of the
// outbound queue with its delivery state.
struct ListedFile {
  std::string name;
  std::optional<std::uint64_t> size;
  std::optional<FileDate> date;
  std::optional<LeftOutReason> reason;
  std::optional<FileError> error;
  std::optional<MessageHeader> header = {};  // when its message file could be read
  std::optional<DeliveryState> state = {};   // of an outbound message
};

// Sorts the rows by name, reads a header for each whose message file is a
// regular file, through the queue's "messages" directory, and keeps the rows that
// pass the filter.
std::vector<ListedFile> Filtered(std::vector<ListedFile> rows, const ListOptions& options,
                                 FileSystem& files, const QueueLocations& locations, Queue queue) {
  // Sorted before their headers are read, by position: a row is large to move.
  std::vector<std::size_t> order(rows.size());
  std::iota(order.begin(), order.end(), std::size_t{0});
  std::sort(order.begin(), order.end(),
            [&rows](std::size_t a, std::size_t b) { return rows[a].name < rows[b].name; });
  std::vector<ListedFile> sorted;
  sorted.reserve(rows.size());
  for (const std::size_t position : order) sorted.push_back(std::move(rows[position]));
  rows = std::move(sorted);
  ParkedHeaders headers(files, locations, queue);
  for (ListedFile& row : rows) {
    if (row.size) row.header = headers.Read(row.name);
  }
  std::erase_if(
      rows, [&](const ListedFile& row) { return !Passes(options.filter, row.header, row.date); });
  return rows;
}

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
  return Filtered(std::move(rows), options, files, locations, Queue::kBadMail);
}

// The outbound queue's messages, read only.
std::vector<ListedFile> OutboundFiles(const ListOptions& options, FileSystem& files,
                                      const QueueLocations& locations) {
  std::vector<ListedFile> rows;
  for (OutboundEntry& entry : ScanOutbound(files, locations)) {
    rows.push_back({std::move(entry.name), entry.size, entry.date, std::nullopt,
                    std::move(entry.error), std::nullopt, std::move(entry.state)});
  }
  return Filtered(std::move(rows), options, files, locations, Queue::kOutbound);
}

using Json = nlohmann::ordered_json;

// Which listings a column is in: that of Bad Mail, that of the outbound queue.
enum Listings : unsigned { kParked = 1, kOutbound = 2, kBoth = kParked | kOutbound };

// A column of the listing: its key in JSON and its value there, absent from a
// row when the function gives none; and, for a column of the text output too,
// its cell there, cut with "…" to `width` terminal columns when that is not 0.
struct ListColumn {
  const char* key;
  std::optional<Json> (*json)(const ListedFile& file);
  std::string (*text)(const ListedFile& file) = nullptr;
  std::size_t width = 0;
  bool right = false;     // aligned right in the text, else left
  bool optional = false;  // left out of the text when no row has text in it
  unsigned listings = kBoth;
};

// A delivery state value as the command file writes it, or none.
template <std::optional<std::string> DeliveryState::*kValue>
std::optional<Json> StateJson(const ListedFile& file) {
  if (!file.state || !((*file.state).*kValue)) return Json(nullptr);
  return Json(ValidUtf8Text(*((*file.state).*kValue)));
}

template <std::optional<std::string> DeliveryState::*kValue>
std::string StateText(const ListedFile& file) {
  if (!file.state || !((*file.state).*kValue)) return "-";
  return EscapeName(*((*file.state).*kValue));
}

// NextSendTime as a date, when it is a count of seconds.
std::optional<FileDate> NextSend(const ListedFile& file) {
  if (!file.state || !file.state->nextSendSeconds) return std::nullopt;
  return FileDate(std::chrono::seconds(*file.state->nextSendSeconds));
}

template <std::string MessageHeader::*kField>
std::optional<Json> HeaderJson(const ListedFile& file) {
  return file.header ? Json((*file.header).*kField) : Json(nullptr);
}

template <std::string MessageHeader::*kField>
std::string HeaderText(const ListedFile& file) {
  return file.header ? (*file.header).*kField : std::string();
}

// The columns in the order of a JSON row; those of the text output in that order
// too: name, size (right-aligned) and date, the reason a left-out file is no
// candidate when the listing has one, from, to and subject.
constexpr ListColumn kListColumns[] = {
    {"name", [](const ListedFile& f) -> std::optional<Json> { return EscapeName(f.name); },
     [](const ListedFile& f) { return EscapeName(f.name); }},
    {"escaped",
     [](const ListedFile& f) -> std::optional<Json> {
       if (EscapeName(f.name) == f.name) return std::nullopt;
       return true;
     }},
    {"size",
     [](const ListedFile& f) -> std::optional<Json> { return f.size ? Json(*f.size) : nullptr; },
     [](const ListedFile& f) { return f.size ? std::to_string(*f.size) : "-"; }, 0, true},
    {"date",
     [](const ListedFile& f) -> std::optional<Json> {
       return f.date ? Json(UtcDateText(*f.date)) : nullptr;
     },
     [](const ListedFile& f) { return f.date ? LocalDateText(*f.date) : "-"; }},
    {"candidate", [](const ListedFile& f) -> std::optional<Json> { return !f.reason; }, nullptr, 0,
     false, false, kParked},
    {"reason",
     [](const ListedFile& f) -> std::optional<Json> {
       if (!f.reason) return std::nullopt;
       return ReasonWord(*f.reason);
     },
     [](const ListedFile& f) {
       std::string text = f.reason ? LeftOutText(*f.reason) : "";
       if (f.error) text += ": " + ErrorText(*f.error);
       return text;
     },
     0, false, true, kParked},
    {"error",
     [](const ListedFile& f) -> std::optional<Json> {
       if (!f.error) return std::nullopt;
       return ErrorJson(*f.error);
     }},
    // NextSendTime in local time in the text, in UTC in JSON; as written when it is
    // no count of seconds.
    {"status", StateJson<&DeliveryState::status>, StateText<&DeliveryState::status>, 20, false,
     false, kOutbound},
    {"retries", StateJson<&DeliveryState::retries>, StateText<&DeliveryState::retries>, 0, true,
     false, kOutbound},
    {"next_send",
     [](const ListedFile& f) -> std::optional<Json> {
       if (const auto when = NextSend(f)) return Json(UtcDateText(*when));
       return StateJson<&DeliveryState::nextSendTime>(f);
     },
     [](const ListedFile& f) {
       if (const auto when = NextSend(f)) return LocalDateText(*when);
       return StateText<&DeliveryState::nextSendTime>(f);
     },
     0, false, false, kOutbound},
    {"from", HeaderJson<&MessageHeader::from>, HeaderText<&MessageHeader::from>, 30},
    {"to", HeaderJson<&MessageHeader::to>, HeaderText<&MessageHeader::to>, 30},
    {"cc", HeaderJson<&MessageHeader::cc>},
    {"subject", HeaderJson<&MessageHeader::subject>, HeaderText<&MessageHeader::subject>, 50},
    {"date_header", HeaderJson<&MessageHeader::date>},
};

// The columns of the text output.
constexpr std::size_t kTextColumnCount = std::ranges::count_if(
    kListColumns, [](const ListColumn& column) { return column.text != nullptr; });
constexpr std::array<const ListColumn*, kTextColumnCount> kTextColumns = [] {
  std::array<const ListColumn*, kTextColumnCount> columns{};
  std::size_t next = 0;
  for (const ListColumn& column : kListColumns) {
    if (column.text != nullptr) columns[next++] = &column;
  }
  return columns;
}();

// A row's cells in the text output, with the terminal columns each takes.
struct TextRow {
  std::array<std::string, kTextColumnCount> cells;
  std::array<std::size_t, kTextColumnCount> widths;
};

TextRow ToText(const ListedFile& file) {
  TextRow row;
  for (std::size_t i = 0; i < kTextColumnCount; ++i) {
    const ListColumn& column = *kTextColumns[i];
    row.cells[i] = column.text(file);
    if (column.width > 0) row.cells[i] = CutToWidth(row.cells[i], column.width);
    row.widths[i] = TextWidth(row.cells[i]);
  }
  return row;
}

// The columns of `listing` two spaces apart, each line without the blanks it
// would end with.
void WriteText(const std::vector<ListedFile>& files, Listings listing, std::ostream& out) {
  std::vector<TextRow> rows;
  rows.reserve(files.size());
  std::array<std::size_t, kTextColumnCount> widths{};
  for (const ListedFile& file : files) {
    const TextRow& row = rows.emplace_back(ToText(file));
    for (std::size_t i = 0; i < kTextColumnCount; ++i)
      widths[i] = std::max(widths[i], row.widths[i]);
  }
  std::string line;
  for (const TextRow& row : rows) {
    line.clear();
    for (std::size_t i = 0; i < kTextColumnCount; ++i) {
      const ListColumn& column = *kTextColumns[i];
      if ((column.listings & listing) == 0 || (column.optional && widths[i] == 0)) continue;
      if (i > 0) line += "  ";
      const std::size_t padding = widths[i] - row.widths[i];
      if (column.right) line.append(padding, ' ');
      line += row.cells[i];
      if (!column.right) line.append(padding, ' ');
    }
    line.erase(line.find_last_not_of(' ') + 1);
    out << line << '\n';
  }
}

Json ToJson(const ListedFile& file, Listings listing) {
  Json json = Json::object();
  for (const ListColumn& column : kListColumns) {
    if ((column.listings & listing) == 0) continue;
    if (std::optional<Json> value = column.json(file)) json[column.key] = std::move(*value);
  }
  return json;
}

void Write(const std::vector<ListedFile>& files, Listings listing, const ListOptions& options,
           std::ostream& out) {
  if (!options.json) return WriteText(files, listing, out);
  auto array = Json::array();
  for (const ListedFile& file : files) array.push_back(ToJson(file, listing));
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

// Every parked name from the Bad Mail directory's listing alone: not a file in
// it is opened, so that completing a parked name stays quick on a large queue.
std::vector<std::string> ParkedNames(FileSystem& files, const QueueLocations& locations) {
  std::vector<std::string> names;
  for (DirectoryEntry& entry :
       files.OpenDirectory(locations.Directory(Queue::kBadMail))->Entries()) {
    names.push_back(std::move(entry.name));
  }
  return names;
}

// The names of the rows list gives that pass the date bounds, read from no
// message file.
std::vector<std::string> ScannedNames(const BadMailScan& scan, const ListOptions& options) {
  std::vector<std::string> names;
  const auto take = [&](const std::string& name, std::optional<FileDate> date) {
    if (Passes(options.filter, std::nullopt, date)) names.push_back(name);
  };
  for (const BadMailEntry& entry : scan.candidates) take(entry.name, entry.date);
  if (options.all) {
    for (const LeftOutFile& file : scan.leftOut) take(file.name, file.date);
  }
  return names;
}

void WriteNames(std::vector<std::string> names, std::ostream& out) {
  std::sort(names.begin(), names.end());
  for (const std::string& name : names) out << EscapeName(name) << '\n';
}

}  // namespace

int RunList(const ListOptions& options, const Console& console, FileSystem& files,
            const QueueLocations& locations) {
  if (options.outbound) {
    Write(OutboundFiles(options, files, locations), kOutbound, options, console.out);
    return kExitSuccess;
  }
  if (options.names && options.all && !options.filter.Any()) {
    WriteNames(ParkedNames(files, locations), console.out);
    return kExitSuccess;
  }
  const BadMailScan scan = ScanBadMail(files, locations);
  if (options.names) {
    WriteNames(ScannedNames(scan, options), console.out);
  } else {
    Write(ListedFiles(scan, options, files, locations), kParked, options, console.out);
  }
  if (!options.all) WarnUnreadable(scan, console.err);
  return kExitSuccess;
}

}  // namespace velmoth
