// The Application event log on Windows, as the event source "Velmoth", whose
// message table (event_messages.mc) velmoth.exe and velmoth-queue.exe carry and
// whose registration the MSI writes. Windows only.
#pragma once

#include <windows.h>

#include "log/system_log.h"

namespace velmoth {

// The advapi32 calls the log is written through, which tests replace.
struct EventLogCalls {
  HANDLE(WINAPI* registerEventSource)(LPCWSTR server, LPCWSTR source);
  BOOL(WINAPI* reportEvent)
  (HANDLE source, WORD type, WORD category, DWORD event, PSID user, WORD stringCount,
   DWORD dataSize, LPCWSTR* strings, LPVOID data);
  BOOL(WINAPI* deregisterEventSource)(HANDLE source);
};

EventLogCalls SystemEventLogCalls();

inline constexpr wchar_t kEventSource[] = L"Velmoth";

class EventLog final : public SystemLog {
 public:
  explicit EventLog(EventLogCalls calls = SystemEventLogCalls());
  ~EventLog() override;
  EventLog(const EventLog&) = delete;
  EventLog& operator=(const EventLog&) = delete;

  // One event, of the type of `severity` and the number of `kind`, its text the
  // one insertion string.
  std::optional<FileError> Write(Severity severity, RecordKind kind,
                                 std::string_view text) override;

 private:
  FileError Failure(DWORD number) const;

  EventLogCalls calls_;
  HANDLE source_;
  DWORD registerError_ = 0;
};

}  // namespace velmoth
