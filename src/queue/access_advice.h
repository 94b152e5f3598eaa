// What an operator refused by a queue directory should do about it: on Windows
// start Velmoth as administrator, as the queues usually lie under Program Files;
// elsewhere give the user write access to the directory, or run as one who has it.
#pragma once

#include <string>

#include "config/queue_locations.h"
#include "files/file_system.h"

namespace velmoth {

// One sentence for an error that is a refusal in or of a queue directory the
// process may not write, to follow the error as it stands; empty for any other
// error, a read-only file's and a file another process holds among them.
// `program` is how the operator starts it: "Velmoth" or "velmoth-queue".
std::string AccessAdvice(const FileError& error, FileSystem& files, const QueueLocations& locations,
                         const std::string& program);

}  // namespace velmoth
