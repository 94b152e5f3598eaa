// velmoth-queue.exe: the arguments taken as UTF-16 and handed on as UTF-8, standard
// output binary so that a message is written byte for byte, and a console shown
// that output as UTF-8 for as long as the program runs.
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cstdio>
#include <iostream>

#include "base/wide_text.h"
#include "cli/queue_command.h"

int wmain(int argc, wchar_t** argv) {
  std::vector<std::string> args;
  for (int i = 1; i < argc; ++i) args.push_back(velmoth::Narrow(argv[i]));
  _setmode(_fileno(stdout), _O_BINARY);
  DWORD mode = 0;
  const bool errIsConsole = GetConsoleMode(GetStdHandle(STD_ERROR_HANDLE), &mode) != 0;
  const UINT codePage = GetConsoleOutputCP();
  SetConsoleOutputCP(CP_UTF8);

  const bool inIsConsole = GetConsoleMode(GetStdHandle(STD_INPUT_HANDLE), &mode) != 0;

  velmoth::NativeFileSystem files;
  const velmoth::RegistryQueueLocations locations;
  const auto log = velmoth::OpenSystemLog();
  const velmoth::Console console{std::cout, std::cerr, errIsConsole,
                                 inIsConsole ? &std::cin : nullptr, log.get()};
  const int status = velmoth::RunQueueCommand(args, console, files, locations);
  if (codePage != 0) SetConsoleOutputCP(codePage);
  return status;
}
