// velmoth-queue on Linux: the arguments as the bytes they are, the real file
// system, and progress only when standard error is a terminal.
#include <unistd.h>

#include <iostream>

#include "cli/queue_command.h"

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  velmoth::RaiseOpenFileLimit();
  velmoth::NativeFileSystem files;
  const velmoth::RegistryQueueLocations locations;
  return velmoth::RunQueueCommand(args, {std::cout, std::cerr, isatty(STDERR_FILENO) == 1}, files,
                                  locations);
}
