// The rows a command takes from a scan of Bad Mail.
#include "cli/selection.h"

#include <algorithm>

namespace velmoth {

std::map<std::string, std::optional<LeftOutReason>> ParkedNames(const BadMailScan& scan) {
  std::map<std::string, std::optional<LeftOutReason>> parked;
  for (const BadMailEntry& entry : scan.candidates) parked.emplace(entry.name, std::nullopt);
  for (const LeftOutFile& file : scan.leftOut) parked.emplace(file.name, file.reason);
  return parked;
}

std::vector<std::string> PassingNames(const std::vector<DatedName>& parked,
                                      const MessageFilter& filter, FileSystem& files,
                                      const QueueLocations& locations) {
  std::vector<std::string> names;
  ParkedHeaders headers(files, locations);
  for (const auto& [name, date] : parked) {
    const auto header = filter.NeedsHeader() ? headers.Read(name) : std::nullopt;
    if (Passes(filter, header, date)) names.push_back(name);
  }
  std::sort(names.begin(), names.end());
  return names;
}

std::vector<DatedName> Candidates(const BadMailScan& scan) {
  std::vector<DatedName> names;
  for (const BadMailEntry& entry : scan.candidates) names.emplace_back(entry.name, entry.date);
  return names;
}

std::vector<DatedName> LeftOut(const BadMailScan& scan, LeftOutReason reason) {
  std::vector<DatedName> names;
  for (const LeftOutFile& file : scan.leftOut) {
    if (file.reason == reason) names.emplace_back(file.name, file.date);
  }
  return names;
}

}  // namespace velmoth
