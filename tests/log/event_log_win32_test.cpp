// The Application event log through a double of its three calls: the source, an
// event of the severity's type and the record's kind, the text as the one string,
// a refusal reported; and the message table both programs carry, formatted from
// the built programs as Event Viewer formats it.
#include <gtest/gtest.h>
#include <windows.h>

#include <filesystem>
#include <string>
#include <tuple>
#include <vector>

#include "log/event_log.h"
#include "log/trail.h"

namespace velmoth {
namespace {

// What the double was called with; the calls are plain functions, so it is global.
struct {
  std::wstring source;
  bool deregistered = false;
  std::vector<std::tuple<WORD, DWORD, std::wstring>> events;
  DWORD registerError = 0, reportError = 0;
} calls;
const HANDLE kSource = reinterpret_cast<HANDLE>(0x5E);

constexpr EventLogCalls kDouble = {
    [](LPCWSTR server, LPCWSTR source) WINAPI {
      calls.source = server == nullptr ? source : L"a server's";
      SetLastError(calls.registerError);
      return calls.registerError != 0 ? nullptr : kSource;
    },
    [](HANDLE source, WORD type, WORD category, DWORD event, PSID user, WORD count, DWORD dataSize,
       LPCWSTR* strings, LPVOID data) WINAPI -> BOOL {
      EXPECT_TRUE(source == kSource && category == 0 && user == nullptr && count == 1 &&
                  dataSize == 0 && data == nullptr);
      calls.events.emplace_back(type, event, strings[0]);
      SetLastError(calls.reportError);
      return calls.reportError == 0;
    },
    [](HANDLE source) WINAPI -> BOOL { return calls.deregistered = source == kSource; },
};

TEST(EventLog, EachRecordIsAnEventOfItsSeverityAndKindFromTheSourceVelmoth) {
  calls = {};
  {
    EventLog log(kDouble);
    const RunRecord run{"requeue",
                        "velmoth",
                        {{"Gr\xC3\xBC\xC3\x9F"
                          "e.eml",
                          "requeued"}},
                        Severity::kWarning,
                        {"alice", ""},
                        "0badc0de"};
    EXPECT_EQ(LogRun(log, run), std::nullopt);
    EXPECT_EQ(log.Write(Severity::kInfo, RecordKind::kRows, "i"), std::nullopt);
    EXPECT_EQ(log.Write(Severity::kError, RecordKind::kRun, "e"), std::nullopt);
  }
  EXPECT_EQ(calls.source, L"Velmoth");
  EXPECT_TRUE(calls.deregistered);
  const decltype(calls.events) expected = {
      {EVENTLOG_WARNING_TYPE, 1,
       L"requeue run 0badc0de by velmoth, user \"alice\": rows 1, requeued 1"},
      {EVENTLOG_WARNING_TYPE, 2,
       L"requeue run 0badc0de rows 1-1 of 1: requeued \"Gr\u00FC\u00DFe.eml\""},
      {EVENTLOG_INFORMATION_TYPE, 2, L"i"},
      {EVENTLOG_ERROR_TYPE, 1, L"e"},
  };
  EXPECT_EQ(calls.events, expected);
  for (const auto& [registerError, reportError] : {std::pair<DWORD, DWORD>{5, 0}, {0, 1502}}) {
    calls = {{}, false, {}, registerError, reportError};
    const auto failure = EventLog(kDouble).Write(Severity::kInfo, RecordKind::kRun, "text");
    ASSERT_TRUE(failure.has_value());
    EXPECT_EQ(failure->number(), static_cast<int>(registerError + reportError));
    EXPECT_EQ(failure->path(), "Application event log, source Velmoth");
  }
}

TEST(EventLog, BothProgramsCarryTheMessageTableThatShowsTheTextWhole) {
  wchar_t self[MAX_PATH];
  const std::filesystem::path tests(
      std::wstring(self, GetModuleFileNameW(nullptr, self, MAX_PATH)));
  for (const char* program : {VELMOTH_EXE, VELMOTH_QUEUE_EXE}) {
    const HMODULE module =
        LoadLibraryExW((tests.parent_path() / program).make_preferred().c_str(), nullptr,
                       LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    ASSERT_NE(module, nullptr) << program;
    const std::wstring text = L"requeue run 0badc0de: \"100\\x25.eml\"";
    for (const DWORD event : {1, 2}) {
      const DWORD_PTR arguments[] = {reinterpret_cast<DWORD_PTR>(text.c_str())};
      wchar_t shown[256] = {};
      FormatMessageW(FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_ARGUMENT_ARRAY, module, event, 0,
                     shown, 256, reinterpret_cast<va_list*>(const_cast<DWORD_PTR*>(arguments)));
      EXPECT_EQ(shown, text) << program << " event " << event;
    }
    FreeLibrary(module);
  }
}

}  // namespace
}  // namespace velmoth
