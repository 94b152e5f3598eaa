// Reads the outbound queue's command files for their delivery state, a line at a
// time with each value cut short, so that no file can make it hold much.
#include "queue/outbound_scan.h"

#include <charconv>
#include <memory>

#include "queue/command_file.h"

namespace velmoth {
namespace {

// Splits the bytes into lines, keeping only the first kStateValueLimit bytes of
// each beyond its key, and takes the values of the three keys.
class StateReader {
 public:
  void Feed(const char* data, std::size_t size) {
    for (std::size_t i = 0; i < size; ++i) {
      if (data[i] == '\n') {
        EndLine();
      } else if (line_.size() < kKeep) {
        line_ += data[i];
      }
    }
  }
  DeliveryState Finish() {
    if (!line_.empty()) EndLine();
    return std::move(state_);
  }

 private:
  // The longest key, its "=" and a value's bytes that are kept.
  static constexpr std::size_t kKeep = 32 + kStateValueLimit;

  void EndLine() {
    if (!line_.empty() && line_.back() == '\r') line_.pop_back();
    const std::string key = GetLineKey(line_);
    std::string value = line_.substr(key.size(), kStateValueLimit);
    if (key == "STATUS=" && !state_.status)
      state_.status = std::move(value);
    else if (key == "RETRIES=" && !state_.retries)
      state_.retries = std::move(value);
    else if (key == "NEXTSENDTIME=" && !state_.nextSendTime) {
      std::int64_t seconds = 0;
      const auto [end, failed] =
          std::from_chars(value.data(), value.data() + value.size(), seconds);
      if (failed == std::errc() && end == value.data() + value.size() && !value.empty()) {
        state_.nextSendSeconds = seconds;
      }
      state_.nextSendTime = std::move(value);
    }
    line_.clear();
  }

  std::string line_;
  DeliveryState state_;
};

}  // namespace

DeliveryState ReadDeliveryState(InputFile& commandFile) {
  constexpr std::size_t kBlock = 64 * 1024;
  const auto buffer = std::make_unique_for_overwrite<char[]>(kBlock);
  StateReader reader;
  ReadBlocks(commandFile, buffer.get(), kBlock,
             [&reader](const char* data, std::size_t size) { reader.Feed(data, size); });
  return reader.Finish();
}

std::vector<OutboundEntry> ScanOutbound(FileSystem& files, const QueueLocations& locations) {
  const OpenedQueue outbound = OpenQueue(files, locations, Queue::kOutbound);
  std::vector<OutboundEntry> entries;
  for (const DirectoryEntry& listed : outbound.commands->Entries()) {
    if (listed.kind != FileKind::kRegular) continue;
    OutboundEntry entry{listed.name, std::nullopt, listed.modified.value_or(FileDate{}), {}, {}};
    try {
      const auto command = outbound.commands->Open(listed.name, Access::kRead);
      if (!listed.modified) entry.date = command->Status().modified;
      entry.state = ReadDeliveryState(*command);
    } catch (const FileError& error) {
      if (IsFileNotFound(error)) continue;  // sent and gone meanwhile
      entry.error = error;
    }
    if (outbound.messages) {
      if (const auto message = outbound.messages->QuickStatus(listed.name);
          message && message->kind == FileKind::kRegular) {
        entry.size = message->size;
      }
    }
    entries.push_back(std::move(entry));
  }
  return entries;
}

}  // namespace velmoth
