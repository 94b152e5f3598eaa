// Command-file rules. Letter case is folded for ASCII letters only, so the
// result never depends on the user's locale.
#include "queue/command_file.h"

#include <algorithm>
#include <array>
#include <memory>

#include "queue/file_system.h"

namespace velmoth {
namespace {

char FoldAscii(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

constexpr std::string_view kSpooling = "STATUS=SPOOLING";
constexpr std::string_view kNdr = "COMMANDTYPE=NDR";

bool ContainsFolded(std::string_view text, std::string_view upperMarker) {
  return std::search(text.begin(), text.end(), upperMarker.begin(), upperMarker.end(),
                     [](char a, char b) { return FoldAscii(a) == b; }) != text.end();
}

}  // namespace

std::string GetLineKey(std::string_view line) {
  const auto equals = line.find('=');
  if (equals == std::string_view::npos) return {};
  std::string key(line.substr(0, equals + 1));
  std::transform(key.begin(), key.end(), key.begin(), FoldAscii);
  return key;
}

bool IsRequeueCandidate(const std::filesystem::path& commandFile) {
  // Reads in blocks and searches each block together with the tail of the one
  // before it, long enough to hold a marker cut in two by the block boundary.
  // A marker never spans a line end, so this finds exactly what a line-by-line
  // search finds.
  constexpr std::size_t kOverlap = kSpooling.size() - 1;
  static_assert(kSpooling.size() == kNdr.size());
  InputFile file(commandFile);
  constexpr std::size_t kSize = kOverlap + 64 * 1024;
  const auto buffer = std::make_unique_for_overwrite<char[]>(kSize);
  std::size_t kept = 0;
  bool excluded = false;
  while (const std::size_t got = file.Read(buffer.get() + kept, kSize - kept)) {
    const std::string_view block(buffer.get(), kept + got);
    if (!excluded) excluded = ContainsFolded(block, kSpooling) || ContainsFolded(block, kNdr);
    kept = std::min(kOverlap, block.size());
    std::copy(block.end() - static_cast<std::ptrdiff_t>(kept), block.end(), buffer.get());
  }
  return !excluded;
}

std::string RewriteLine(std::string_view line, const StampProducer& stamp) {
  const std::string key = GetLineKey(line);
  if (key == "STATUS=") return "Status=Unsent";
  if (key == "RETRIES=") return "Retries=0";
  if (key == "SERVER=") return "Server=";
  if (key == "NEXTSENDTIME=") return "NextSendTime=" + stamp();
  if (key == "TIMEACQUIRED=") return "TimeAcquired=" + stamp();
  return std::string(line);
}

}  // namespace velmoth
