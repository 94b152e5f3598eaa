// Events through RegisterEventSourceW and ReportEventW.
#include "base/wide_text.h"
#include "event_messages.h"
#include "log/event_log.h"

namespace velmoth {
namespace {

WORD EventType(Severity severity) {
  switch (severity) {
    case Severity::kInfo:
      return EVENTLOG_INFORMATION_TYPE;
    case Severity::kWarning:
      return EVENTLOG_WARNING_TYPE;
    case Severity::kError:
      break;
  }
  return EVENTLOG_ERROR_TYPE;
}

DWORD EventId(RecordKind kind) {
  return kind == RecordKind::kRun ? VELMOTH_EVENT_RUN : VELMOTH_EVENT_ROWS;
}

}  // namespace

EventLogCalls SystemEventLogCalls() {
  return {RegisterEventSourceW, ReportEventW, DeregisterEventSource};
}

EventLog::EventLog(EventLogCalls calls)
    : calls_(calls), source_(calls_.registerEventSource(nullptr, kEventSource)) {
  if (source_ == nullptr) registerError_ = GetLastError();
}

EventLog::~EventLog() {
  if (source_ != nullptr) calls_.deregisterEventSource(source_);
}

FileError EventLog::Failure(DWORD number) const {
  const int value = static_cast<int>(number);
  return FileError(KindOfNumber(value), value, ErrorDescription(value),
                   "Application event log, source Velmoth");
}

std::optional<FileError> EventLog::Write(Severity severity, RecordKind kind,
                                         std::string_view text) {
  if (source_ == nullptr) return Failure(registerError_);
  const std::wstring wide = Widen(text);
  LPCWSTR strings[] = {wide.c_str()};
  if (!calls_.reportEvent(source_, EventType(severity), 0, EventId(kind), nullptr, 1, 0, strings,
                          nullptr)) {
    return Failure(GetLastError());
  }
  return std::nullopt;
}

std::unique_ptr<SystemLog> OpenSystemLog() { return std::make_unique<EventLog>(); }

}  // namespace velmoth
