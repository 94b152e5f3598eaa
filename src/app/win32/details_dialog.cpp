// The details dialog: its template is in frm_main.rc; this fills its boxes and
// gives the command file's and the header block's a monospace font.
#include "app/win32/details_dialog.h"

#include <cstdint>
#include <optional>

#include "app/win32/list_view_mail_list.h"
#include "app/win32/resource_ids.h"
#include "base/wide_text.h"

namespace velmoth::win32 {
namespace {

// Posted on a change of dpi: the dialog's font has been scaled to it.
constexpr UINT kFontScaled = WM_APP + 1;

// What the dialog shows, and the font it made, while it is open.
struct DetailsShown {
  const MessageDetails& details;
  HFONT monospace = nullptr;
};

std::wstring SizeText(std::optional<std::uint64_t> size) {
  return size ? std::to_wstring(*size) + L" bytes" : L"";
}

std::wstring DateTextOf(std::optional<FileDate> date) { return date ? DateText(*date) : L""; }

// A file's lines, or why it could not be read.
std::wstring FileText(const std::string& lines, const std::string& problem) {
  return EditLines(problem.empty() ? lines : problem);
}

// A fixed-pitch font of the height of `dialog`'s own, which the dialog manager
// scales to the monitor's dpi: Consolas where Windows has it, else whichever
// monospace font the system maps the request to.
HFONT MonospaceFont(HWND dialog) {
  LOGFONTW font{};
  const auto dialogFont = reinterpret_cast<HFONT>(SendMessageW(dialog, WM_GETFONT, 0, 0));
  if (LOGFONTW shown{}; GetObjectW(dialogFont, sizeof shown, &shown) == sizeof shown) {
    font.lfHeight = shown.lfHeight;
  }
  font.lfCharSet = DEFAULT_CHARSET;
  font.lfPitchAndFamily = FIXED_PITCH | FF_MODERN;
  lstrcpynW(font.lfFaceName, L"Consolas", LF_FACESIZE);
  return CreateFontIndirectW(&font);
}

void SetMonospaceFont(HWND dialog, DetailsShown& shown) {
  const HFONT font = MonospaceFont(dialog);
  if (font == nullptr) return;
  for (const int box : {IDC_DETAILS_COMMAND, IDC_DETAILS_HEADER}) {
    SendDlgItemMessageW(dialog, box, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
  }
  if (shown.monospace != nullptr) DeleteObject(shown.monospace);
  shown.monospace = font;
}

void Fill(HWND dialog, const MessageDetails& details) {
  const MessageHeader header = details.header.value_or(MessageHeader{});
  const struct {
    int box;
    std::wstring text;
  } boxes[] = {
      {IDC_DETAILS_NAME, Widen(details.name)},
      {IDC_DETAILS_FROM, Widen(header.from)},
      {IDC_DETAILS_TO, Widen(header.to)},
      {IDC_DETAILS_CC, Widen(header.cc)},
      {IDC_DETAILS_SUBJECT, Widen(header.subject)},
      {IDC_DETAILS_DATE, Widen(header.date)},
      {IDC_DETAILS_MESSAGE_ID, Widen(header.messageId)},
      {IDC_DETAILS_SIZE, SizeText(details.size)},
      {IDC_DETAILS_MESSAGE_DATE, DateTextOf(details.messageDate)},
      {IDC_DETAILS_COMMAND_DATE, DateTextOf(details.commandDate)},
      {IDC_DETAILS_COMMAND, FileText(details.commandLines, details.commandProblem)},
      {IDC_DETAILS_HEADER, FileText(details.headerBlock, details.messageProblem)},
  };
  for (const auto& [box, text] : boxes) {
    // A command file shown up to kCommandShownLimit is longer than an edit
    // control takes by default.
    SendDlgItemMessageW(dialog, box, EM_SETLIMITTEXT, 0, 0);
    SetDlgItemTextW(dialog, box, text.c_str());
  }
}

INT_PTR CALLBACK DetailsProcedure(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* shown = reinterpret_cast<DetailsShown*>(GetWindowLongPtrW(dialog, DWLP_USER));
  switch (message) {
    case WM_INITDIALOG:
      shown = reinterpret_cast<DetailsShown*>(lParam);
      SetWindowLongPtrW(dialog, DWLP_USER, lParam);
      SetMonospaceFont(dialog, *shown);
      Fill(dialog, shown->details);
      // The focus on Close, so that no text opens selected.
      SetFocus(GetDlgItem(dialog, IDCANCEL));
      return FALSE;
    case WM_DPICHANGED:
      // The dialog manager scales the dialog and its font first.
      PostMessageW(dialog, kFontScaled, 0, 0);
      return FALSE;
    case kFontScaled:
      if (shown != nullptr) SetMonospaceFont(dialog, *shown);
      return TRUE;
    case WM_COMMAND:
      if (LOWORD(wParam) == IDCANCEL) EndDialog(dialog, IDCANCEL);
      return TRUE;
    default:
      return FALSE;
  }
}

}  // namespace

std::wstring EditLines(const std::string& lines) {
  std::wstring text;
  for (const wchar_t character : Widen(lines)) {
    if (character == L'\n') text += L'\r';
    text += character;
  }
  return text;
}

void ShowDetailsDialog(HINSTANCE instance, HWND owner, const MessageDetails& details) {
  DetailsShown shown{details};
  DialogBoxParamW(instance, MAKEINTRESOURCEW(IDD_DETAILS), owner, &DetailsProcedure,
                  reinterpret_cast<LPARAM>(&shown));
  if (shown.monospace != nullptr) DeleteObject(shown.monospace);
}

}  // namespace velmoth::win32
