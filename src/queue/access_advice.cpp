// Advice for a refusal by a queue directory, decided by what the process may do
// there now.
#include "queue/access_advice.h"

#include <optional>

namespace velmoth {
namespace {

namespace fs = std::filesystem;

// Whether `path` is `dir` or lies directly inside it.
bool IsIn(const fs::path& path, const fs::path& dir) {
  const fs::path normal = path.lexically_normal();
  const fs::path directory = dir.lexically_normal();
  return normal == directory || normal.parent_path() == directory;
}

// The queue directory, or "messages" directory, the error's path is or lies in.
std::optional<fs::path> QueueDirectoryOf(const fs::path& path, const QueueLocations& locations) {
  for (const Queue queue : {Queue::kBadMail, Queue::kOutbound}) {
    fs::path dir;
    try {
      dir = locations.Directory(queue);
    } catch (const FileError&) {
      continue;
    }
    for (const fs::path& candidate : {dir / kMessagesDirectory, dir}) {
      if (IsIn(path, candidate)) return candidate;
    }
  }
  return std::nullopt;
}

}  // namespace

std::string AccessAdvice(const FileError& error, FileSystem& files, const QueueLocations& locations,
                         const std::string& program) {
  if (error.kind() != ErrorKind::kAccessDenied) return {};
  const auto dir = QueueDirectoryOf(PathFromText(error.path()), locations);
  if (!dir) return {};
  const DirectoryAccess access = files.AccessTo(*dir);
  if (access.mayWrite) return {};
#ifdef _WIN32
  return "Only an administrator may change the mail server's queues: start " + program +
         " as administrator.";
#else
  (void)program;
  return "The user " + access.user + " may not write to the directory " + PathText(*dir) + ".";
#endif
}

}  // namespace velmoth
