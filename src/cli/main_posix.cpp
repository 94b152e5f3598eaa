// velmoth-queue on Linux: the arguments as the bytes they are, the real file
// system and system log, progress only when standard error is a terminal, and a
// question only when standard input is one.
#include <unistd.h>

#include <iostream>

#include "cli/queue_command.h"

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  velmoth::RaiseOpenFileLimit();
  velmoth::NativeFileSystem files;
  const velmoth::RegistryQueueLocations locations;
  const auto log = velmoth::OpenSystemLog();
  const velmoth::Console console{std::cout, std::cerr, isatty(STDERR_FILENO) == 1,
                                 isatty(STDIN_FILENO) == 1 ? &std::cin : nullptr, log.get()};
  return velmoth::RunQueueCommand(args, console, files, locations);
}
