// velmoth-queue's command line: the arguments parsed, the command they name run,
// and every outcome turned into an exit status, apart from any process so that
// the tests run it as main does.
#pragma once

#include <string>
#include <vector>

#include "cli/commands.h"
#include "files/file_system.h"

namespace velmoth {

// Runs velmoth-queue with `args` (the program's name left off, each argument
// UTF-8 on Windows, bytes elsewhere). Returns kExitSuccess, kExitFailure (a row
// or the whole command failed; the error is on console.err) or kExitUsage.
int RunQueueCommand(const std::vector<std::string>& args, const Console& console, FileSystem& files,
                    const QueueLocations& locations);

}  // namespace velmoth
