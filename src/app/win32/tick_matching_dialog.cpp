// The tick matching dialog over its template in frm_main.rc.
#include "app/win32/tick_matching_dialog.h"

#include <iterator>

#include "app/win32/resource_ids.h"
#include "base/wide_text.h"

namespace velmoth::win32 {
namespace {

// The fields the text is looked for in, in the order the box lists them; the
// first is the one chosen when the dialog opens.
constexpr struct {
  const wchar_t* caption;
  MatchRequest::Field field;
} kFields[] = {
    {L"Any field", MatchRequest::Field::kAny},
    {L"From", MatchRequest::Field::kFrom},
    {L"To or Cc", MatchRequest::Field::kToOrCc},
    {L"Subject", MatchRequest::Field::kSubject},
};

std::string ItemText(HWND dialog, int id) {
  const HWND item = GetDlgItem(dialog, id);
  std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(item)) + 1, L'\0');
  text.resize(
      static_cast<std::size_t>(GetWindowTextW(item, text.data(), static_cast<int>(text.size()))));
  return Narrow(text);
}

}  // namespace

TickMatchingDialog::~TickMatchingDialog() {
  if (dialog_ != nullptr) DestroyWindow(dialog_);
}

void TickMatchingDialog::Open(HINSTANCE instance, HWND owner) {
  if (dialog_ == nullptr) {
    CreateDialogParamW(instance, MAKEINTRESOURCEW(IDD_TICK_MATCHING), owner, &Procedure,
                       reinterpret_cast<LPARAM>(this));
    if (dialog_ == nullptr) return;
  }
  ShowWindow(dialog_, SW_SHOW);
  SetActiveWindow(dialog_);
  const HWND text = GetDlgItem(dialog_, IDC_MATCH_TEXT);
  SetFocus(text);
  SendMessageW(text, EM_SETSEL, 0, -1);
}

bool TickMatchingDialog::TakeMessage(MSG& message) {
  return dialog_ != nullptr && IsDialogMessageW(dialog_, &message);
}

INT_PTR CALLBACK TickMatchingDialog::Procedure(HWND dialog, UINT message, WPARAM wParam,
                                               LPARAM lParam) {
  if (message == WM_INITDIALOG) {
    auto* self = reinterpret_cast<TickMatchingDialog*>(lParam);
    SetWindowLongPtrW(dialog, DWLP_USER, lParam);
    self->dialog_ = dialog;
    self->OnInitDialog();
    return TRUE;
  }
  auto* self = reinterpret_cast<TickMatchingDialog*>(GetWindowLongPtrW(dialog, DWLP_USER));
  if (self == nullptr) return FALSE;
  switch (message) {
    case WM_COMMAND:
      if (HIWORD(wParam) != BN_CLICKED) return FALSE;
      self->OnCommand(LOWORD(wParam));
      return TRUE;
    case WM_NCDESTROY:
      self->dialog_ = nullptr;
      return FALSE;
    default:
      return FALSE;
  }
}

void TickMatchingDialog::OnInitDialog() {
  const HWND fields = GetDlgItem(dialog_, IDC_MATCH_FIELD);
  for (const auto& field : kFields) {
    SendMessageW(fields, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(field.caption));
  }
  SendMessageW(fields, CB_SETCURSEL, 0, 0);
}

void TickMatchingDialog::OnCommand(int id) {
  switch (id) {
    case IDC_MATCH_TICK:
    case IDC_MATCH_UNTICK: {
      const std::string status = apply_(Request(), id == IDC_MATCH_TICK);
      SetDlgItemTextW(dialog_, IDC_MATCH_STATUS, Widen(status).c_str());
      break;
    }
    case IDCANCEL:
      DestroyWindow(dialog_);
      break;
    default:
      break;
  }
}

MatchRequest TickMatchingDialog::Request() const {
  MatchRequest request;
  const auto chosen = SendDlgItemMessageW(dialog_, IDC_MATCH_FIELD, CB_GETCURSEL, 0, 0);
  if (chosen >= 0 && chosen < static_cast<LRESULT>(std::size(kFields))) {
    request.field = kFields[chosen].field;
  }
  request.text = ItemText(dialog_, IDC_MATCH_TEXT);
  request.after = ItemText(dialog_, IDC_MATCH_AFTER);
  request.before = ItemText(dialog_, IDC_MATCH_BEFORE);
  return request;
}

}  // namespace velmoth::win32
