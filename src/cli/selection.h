// Which parked messages a command takes: those named, checked against a scan of
// Bad Mail, or those of a kind that pass the filters.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "config/queue_locations.h"
#include "files/file_system.h"
#include "queue/bad_mail_scan.h"
#include "queue/message_filter.h"

namespace velmoth {

// Every parked name, with the reason it is no candidate, or none for a candidate.
std::map<std::string, std::optional<LeftOutReason>> ParkedNames(const BadMailScan& scan);

// A parked name and its command file's date, when known.
using DatedName = std::pair<std::string, std::optional<FileDate>>;

// Of `parked`, the names that pass `filter`, sorted; a message's header is read
// only when the filter asks about it.
std::vector<std::string> PassingNames(const std::vector<DatedName>& parked,
                                      const MessageFilter& filter, FileSystem& files,
                                      const QueueLocations& locations);

// The scan's candidates, and its files left out for `reason`, with their dates.
std::vector<DatedName> Candidates(const BadMailScan& scan);
std::vector<DatedName> LeftOut(const BadMailScan& scan, LeftOutReason reason);

}  // namespace velmoth
