// The tooltip of a row of the list: who the parked message is from, to whom and
// what about, read from its message file when asked, for that row only.
#pragma once

#include <cstddef>
#include <string>

#include "config/queue_locations.h"
#include "files/file_system.h"

namespace velmoth {

// No field of a tooltip takes more columns than this; a longer one is cut with "…".
inline constexpr std::size_t kTipFieldWidth = 100;

// The lines "From: ", "To: ", "Cc: " (only when there is one), "Subject: " and
// "Date: " of the parked message `name`, joined by "\n", a missing field shown as
// "(none)". The message file is found in the Bad Mail directory's "messages" as
// the registry gives it now, and read only if it is a regular file reached without
// following a link. A file that cannot be read gives one line saying why; nothing
// is thrown.
std::string MessageTip(FileSystem& files, const QueueLocations& locations, const std::string& name);

}  // namespace velmoth
