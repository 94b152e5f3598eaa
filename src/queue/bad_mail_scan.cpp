// Lists the requeue candidates of the Bad Mail directory. Each command file is
// read once, each message file is only measured, and at most one file is open.
#include "queue/bad_mail_scan.h"

#include <optional>

#include "queue/command_file.h"
#include "queue/queue_paths.h"

namespace velmoth {
namespace {

// Whether the command file is a candidate; nothing when it has vanished.
std::optional<bool> CandidateTest(const fs::path& commandFile) {
  try {
    return IsRequeueCandidate(commandFile);
  } catch (const FileError& error) {
    if (IsFileNotFound(error)) return std::nullopt;
    throw;
  }
}

// The message file's size; nothing when there is no message file.
std::optional<std::uint64_t> MessageSize(FileSystem& files, const fs::path& messageFile) {
  if (!files.Exists(messageFile)) return std::nullopt;
  try {
    return files.Size(messageFile);
  } catch (const FileError& error) {
    if (IsFileNotFound(error)) return std::nullopt;
    throw;
  }
}

}  // namespace

void RefreshMailList(MailList& list, FileSystem& files) {
  BusyPointer busy(list);
  list.RemoveAllRows();
  const fs::path directory = QueueDirectory(Queue::kBadMail);
  const fs::path messages = directory / "messages";
  for (const DirectoryFile& file : files.ListFiles(directory)) {
    if (!CandidateTest(file.path).value_or(false)) continue;
    const auto size = MessageSize(files, messages / file.path.filename());
    if (!size) continue;
    list.AddRow(file.name, file.name);
    const int row = list.RowCount();
    list.SetSize(row, *size);
    list.SetDate(row, file.modified);
  }
}

}  // namespace velmoth
