// velmoth-queue list: the requeue candidates and, with --all, every other parked
// file with the reason it is none, sorted by name, as aligned text or JSON.
#include <algorithm>
#include <optional>

#include "cli/commands.h"
#include "cli/name_escape.h"
#include "cli/output_text.h"
#include "queue/bad_mail_scan.h"

namespace velmoth {
namespace {

// A candidate, or a left-out file when it has a reason.
struct ListedFile {
  std::string name;
  std::optional<std::uint64_t> size;
  std::optional<FileDate> date;
  std::optional<LeftOutReason> reason;
  std::optional<FileError> error;
};

std::vector<ListedFile> ListedFiles(const BadMailScan& scan, bool all) {
  std::vector<ListedFile> rows;
  for (const BadMailEntry& entry : scan.candidates) {
    rows.push_back({entry.name, entry.size, entry.date, std::nullopt, std::nullopt});
  }
  if (all) {
    for (const LeftOutFile& file : scan.leftOut) {
      rows.push_back({file.name, file.size, file.date, file.reason, file.error});
    }
  }
  std::sort(rows.begin(), rows.end(), [](const auto& a, const auto& b) { return a.name < b.name; });
  return rows;
}

struct TextRow {
  std::string name;
  std::string size;
  std::string date;
  std::string reason;  // empty for a candidate
};

TextRow ToText(const ListedFile& file) {
  TextRow row{EscapeName(file.name), file.size ? std::to_string(*file.size) : "-",
              file.date ? LocalDateText(*file.date) : "-", ""};
  if (file.reason) row.reason = ReasonText(*file.reason);
  if (file.error) row.reason += ": " + ErrorText(*file.error);
  return row;
}

// The columns a terminal gives UTF-8 text, one per character.
std::size_t Columns(const std::string& text) {
  return static_cast<std::size_t>(std::count_if(text.begin(), text.end(), [](char c) {
    return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
  }));
}

std::string Spaces(std::size_t count) { return std::string(count, ' '); }

// Name, size and date in columns two spaces apart, the size right-aligned, and
// the reason after them for a left-out file.
void WriteText(const std::vector<ListedFile>& files, std::ostream& out) {
  std::vector<TextRow> rows;
  std::size_t nameWidth = 0, sizeWidth = 0, dateWidth = 0;
  for (const ListedFile& file : files) {
    rows.push_back(ToText(file));
    nameWidth = std::max(nameWidth, Columns(rows.back().name));
    sizeWidth = std::max(sizeWidth, rows.back().size.size());
    dateWidth = std::max(dateWidth, rows.back().date.size());
  }
  for (const TextRow& row : rows) {
    out << row.name << Spaces(nameWidth - Columns(row.name) + 2)
        << Spaces(sizeWidth - row.size.size()) << row.size << "  " << row.date;
    if (!row.reason.empty()) out << Spaces(dateWidth - row.date.size() + 2) << row.reason;
    out << '\n';
  }
}

nlohmann::ordered_json ToJson(const ListedFile& file) {
  nlohmann::ordered_json json = NameJson(file.name);
  json["size"] = file.size ? nlohmann::ordered_json(*file.size) : nullptr;
  json["date"] = file.date ? nlohmann::ordered_json(UtcDateText(*file.date)) : nullptr;
  json["candidate"] = !file.reason;
  if (file.reason) json["reason"] = ReasonWord(*file.reason);
  if (file.error) json["error"] = ErrorJson(*file.error);
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
  err << kProgram << ": ";
  if (unreadable.count == 1) {
    err << "1 file in the Bad Mail directory could not be read and is not listed: ";
  } else {
    err << unreadable.count
        << " files in the Bad Mail directory could not be read and are not listed; the first: ";
  }
  err << ErrorText(*unreadable.first) << " (list --all shows every one)\n";
}

}  // namespace

int RunList(const ListOptions& options, const Console& console, FileSystem& files) {
  const BadMailScan scan = ScanBadMail(files);
  const std::vector<ListedFile> rows = ListedFiles(scan, options.all);
  if (options.json) {
    WriteJson(rows, console.out);
  } else {
    WriteText(rows, console.out);
  }
  if (!options.all) WarnUnreadable(scan, console.err);
  return kExitSuccess;
}

}  // namespace velmoth
