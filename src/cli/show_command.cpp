// velmoth-queue show: a parked message file byte for byte, read only if it is a
// regular file reached without following a link.
#include <memory>

#include "base/name_escape.h"
#include "cli/commands.h"
#include "queue/queue_paths.h"

namespace velmoth {

int RunShow(const std::string& name, const Console& console, FileSystem& files) {
  const auto message = files.OpenForReading(MessageFilePath(Queue::kBadMail, UnescapeName(name)));
  constexpr std::size_t kSize = 64 * 1024;
  const auto buffer = std::make_unique_for_overwrite<char[]>(kSize);
  ReadBlocks(*message, buffer.get(), kSize, [&](const char* data, std::size_t size) {
    console.out.write(data, static_cast<std::streamsize>(size));
  });
  return kExitSuccess;
}

}  // namespace velmoth
