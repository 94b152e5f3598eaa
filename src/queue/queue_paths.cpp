// Queue directories from the server's registry values, and the file paths in them.
#include "queue/queue_paths.h"

#include "config/queue_directories.h"
#include "queue/file_system.h"

namespace velmoth {
namespace {

std::filesystem::path BareFileName(const std::string& name) {
  const std::filesystem::path path = PathFromText(name);
  if (name.empty() || name == "." || name == ".." || path != path.filename()) {
    throw FileError(kErrorInvalidName, "Not the name of a file in the queue", name);
  }
  return path;
}

}  // namespace

std::filesystem::path QueueDirectory(Queue queue) {
  return queue == Queue::kBadMail ? BadMailDirectoryPath() : OutboundQueueDirectoryPath();
}

std::filesystem::path MessagesDirectory(Queue queue) { return QueueDirectory(queue) / "messages"; }

std::filesystem::path MessageFilePath(Queue queue, const std::string& name) {
  return MessagesDirectory(queue) / BareFileName(name);
}

QueueFiles FilesOf(Queue queue, const std::string& name) {
  const std::filesystem::path directory = QueueDirectory(queue);
  const std::filesystem::path file = BareFileName(name);
  return {directory / file, directory / "messages" / file};
}

}  // namespace velmoth
