// velmoth-queue show: a parked message file byte for byte, read only if it is a
// regular file reached without following a link.
#include <memory>

#include "base/name_escape.h"
#include "cli/commands.h"

namespace velmoth {

int RunShow(const std::string& name, const Console& console, FileSystem& files,
            const QueueLocations& locations) {
  const std::string parkedName = UnescapeName(name);
  const OpenedQueue parked = OpenQueue(files, locations, Queue::kBadMail);
  if (!parked.messages) {
    ThrowError(kErrorNotFound, parked.commands->path() / kMessagesDirectory);
  }
  const auto message = parked.messages->Open(parkedName, Access::kRead);
  constexpr std::size_t kSize = 64 * 1024;
  const auto buffer = std::make_unique_for_overwrite<char[]>(kSize);
  ReadBlocks(*message, buffer.get(), kSize, [&](const char* data, std::size_t size) {
    console.out.write(data, static_cast<std::streamsize>(size));
  });
  return kExitSuccess;
}

}  // namespace velmoth
