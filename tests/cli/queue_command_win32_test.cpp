// velmoth-queue.exe run as a process, as an operator runs it from cmd: a name
// outside the ANSI code page passed as UTF-16 and found, a message written to
// standard output without a byte changed, and the exit status of each command.
#include <gtest/gtest.h>
#include <windows.h>

#include "base/path_text.h"
#include "support/mail_server.h"

namespace velmoth {
namespace {

using testing::EntryNames;
namespace fs = std::filesystem;
using testing::MailServer;
using testing::ReadFile;
using testing::WriteFile;

HANDLE Inheritable(const fs::path& path) {
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  return CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS,
                     FILE_ATTRIBUTE_NORMAL, nullptr);
}

// velmoth-queue.exe beside this test program, run with `args`; its exit status
// and standard output.
std::pair<DWORD, std::string> RunProgram(const MailServer& server, const std::wstring& args) {
  wchar_t self[MAX_PATH];
  const DWORD length = GetModuleFileNameW(nullptr, self, MAX_PATH);
  const fs::path program =
      (fs::path(std::wstring(self, length)).parent_path() / VELMOTH_QUEUE_PROGRAM).make_preferred();
  std::wstring command = L"\"" + program.native() + L"\" " + args;
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdOutput = Inheritable(server.root() / "out");
  startup.hStdError = Inheritable(server.root() / "err");
  PROCESS_INFORMATION process{};
  DWORD status = 0xFFFF;
  if (CreateProcessW(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                     &process)) {
    WaitForSingleObject(process.hProcess, INFINITE);
    GetExitCodeProcess(process.hProcess, &status);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
  }
  CloseHandle(startup.hStdOutput);
  CloseHandle(startup.hStdError);
  return {status, ReadFile(server.root() / "out")};
}

TEST(QueueCommandWin32, TheProgramShowsAndRequeuesAUnicodeNameAndEndsWithItsStatus) {
  MailServer server;
  const std::string name =
      "Gr\xC3\xBC\xC3\x9F"
      "e";
  const std::string message("line\r\n\0\xFF\n", 9);
  server.Park(name, "Status=Failed\r\n", nullptr);
  WriteFile(server.badMail() / "messages" / PathFromText(name), message);
  const struct {
    std::wstring args;
    DWORD status;
    std::string out;
  } steps[] = {
      {L"show Gr\u00FC\u00DFe", 0, message},
      {L"requeue Gr\u00FC\u00DFe", 0, "requeued " + name + "\n"},
      {L"list --bogus", 2, ""},
      {L"show Gr\u00FC\u00DFe", 1, ""},
  };
  for (const auto& step : steps) {
    EXPECT_EQ(RunProgram(server, step.args), std::make_pair(step.status, step.out));
  }
  EXPECT_EQ(EntryNames(server.outbound() / "messages"), std::vector<std::string>{name});
}

}  // namespace
}  // namespace velmoth
