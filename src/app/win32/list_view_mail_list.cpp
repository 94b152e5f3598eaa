// The rows of lvwMail over a SysListView32. Each row is a callback item, whose
// sub-items' texts the control asks for too, so a row costs the control one
// message and no copies, and dates are formatted only for the rows on screen;
// painting stays off while a scan fills the list.
#include "app/win32/list_view_mail_list.h"

#include <algorithm>
#include <stdexcept>

#include "app/form.h"
#include "base/file_time.h"
#include "base/wide_text.h"

namespace velmoth::win32 {
namespace {

enum Column { kFilename = 0, kFileSize = 1, kFileDate = 2 };

// The check box images of LVS_EX_CHECKBOXES: 1 unticked, 2 ticked.
constexpr UINT kTickedImage = 2;

}  // namespace

std::wstring DateText(FileDate date) {
  const std::int64_t seconds = date.time_since_epoch().count();
  if (seconds < -kSecondsFrom1601To1970) return {};
  const auto ticks = static_cast<std::uint64_t>(seconds + kSecondsFrom1601To1970) *
                     static_cast<std::uint64_t>(kTicksPerSecond);
  const FILETIME utcFile{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
  SYSTEMTIME utc{};
  SYSTEMTIME local{};
  if (!FileTimeToSystemTime(&utcFile, &utc) ||
      !SystemTimeToTzSpecificLocalTime(nullptr, &utc, &local)) {
    return {};
  }
  wchar_t day[80];
  wchar_t time[80];
  if (!GetDateFormatEx(LOCALE_NAME_USER_DEFAULT, DATE_SHORTDATE, &local, nullptr, day, 80,
                       nullptr) ||
      !GetTimeFormatEx(LOCALE_NAME_USER_DEFAULT, 0, &local, nullptr, time, 80)) {
    return {};
  }
  return std::wstring(day) + L" " + time;
}

std::size_t ListViewMailList::Index(int row) const {
  if (row < 1 || row > RowCount()) {
    throw std::out_of_range("no row " + std::to_string(row) + " in the list");
  }
  return static_cast<std::size_t>(row - 1);
}

ListViewMailList::Row& ListViewMailList::At(int row) { return rows_[Index(row)]; }

void ListViewMailList::Attach(HWND list) {
  list_ = list;
  constexpr DWORD kListStyle =
      LVS_EX_CHECKBOXES | LVS_EX_FULLROWSELECT | LVS_EX_DOUBLEBUFFER | LVS_EX_INFOTIP;
  SendMessageW(list_, LVM_SETEXTENDEDLISTVIEWSTYLE, kListStyle, kListStyle);
  for (int index = 0; index < form::kColumnCount; ++index) {
    const form::Column& column = form::kColumns[index];
    std::wstring title = Widen(column.title);
    LVCOLUMNW header{};
    header.mask = LVCF_FMT | LVCF_TEXT | LVCF_WIDTH | LVCF_SUBITEM;
    header.fmt = column.align == form::Align::kRight ? LVCFMT_RIGHT : LVCFMT_LEFT;
    header.cx = column.width;
    header.pszText = title.data();
    header.iSubItem = index;
    SendMessageW(list_, LVM_INSERTCOLUMNW, index, reinterpret_cast<LPARAM>(&header));
  }
}

void ListViewMailList::RemoveAllRows() {
  SendMessageW(list_, LVM_DELETEALLITEMS, 0, 0);
  rows_.clear();
}

// The key is the text: a row is found by its file name alone.
void ListViewMailList::AddRow(const std::string&, const std::string& text) {
  rows_.push_back({text, Widen(text), {}, {}});
  LVITEMW item{};
  item.mask = LVIF_TEXT;
  item.iItem = static_cast<int>(rows_.size()) - 1;
  item.pszText = LPSTR_TEXTCALLBACKW;
  if (SendMessageW(list_, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item)) < 0) {
    rows_.pop_back();
    throw std::runtime_error("The list cannot take another row");
  }
}

void ListViewMailList::SetSize(int row, std::uint64_t bytes) {
  At(row).size = bytes;
  Repaint(row);
}

void ListViewMailList::SetDate(int row, FileDate date) {
  At(row).date = date;
  Repaint(row);
}

void ListViewMailList::Repaint(int row) {
  // While a scan fills the list, it is painted once at the end.
  if (busyDepth_ > 0) return;
  const auto index = static_cast<WPARAM>(Index(row));
  SendMessageW(list_, LVM_REDRAWITEMS, index, static_cast<LPARAM>(index));
}

int ListViewMailList::RowCount() const { return static_cast<int>(rows_.size()); }

bool ListViewMailList::IsTicked(int row) const {
  const auto state = SendMessageW(list_, LVM_GETITEMSTATE, Index(row), LVIS_STATEIMAGEMASK);
  return (static_cast<UINT>(state) & LVIS_STATEIMAGEMASK) == INDEXTOSTATEIMAGEMASK(kTickedImage);
}

void ListViewMailList::SetTicked(int row, bool ticked) {
  LVITEMW item{};
  item.stateMask = LVIS_STATEIMAGEMASK;
  item.state = INDEXTOSTATEIMAGEMASK(ticked ? kTickedImage : kTickedImage - 1);
  SendMessageW(list_, LVM_SETITEMSTATE, Index(row), reinterpret_cast<LPARAM>(&item));
}

std::string ListViewMailList::RowText(int row) const { return rows_[Index(row)].text; }

int ListViewMailList::SelectedRow() const {
  const auto index = SendMessageW(list_, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED);
  return index < 0 || index >= RowCount() ? 0 : static_cast<int>(index) + 1;
}

void ListViewMailList::SetBusyPointer(bool busy) {
  if (busy) {
    if (busyDepth_++ > 0) return;
    // Nobody sees the rows come in one by one, and the fill is much faster so.
    SendMessageW(list_, WM_SETREDRAW, FALSE, 0);
    SetCursor(LoadCursorW(nullptr, IDC_WAIT));
    return;
  }
  if (busyDepth_ == 0 || --busyDepth_ > 0) return;
  SendMessageW(list_, WM_SETREDRAW, TRUE, 0);
  InvalidateRect(list_, nullptr, TRUE);
  SetCursor(LoadCursorW(nullptr, IDC_ARROW));
}

void ListViewMailList::GetDisplayInfo(NMLVDISPINFOW& info) const {
  LVITEMW& item = info.item;
  if ((item.mask & LVIF_TEXT) == 0 || item.pszText == nullptr || item.cchTextMax <= 0) return;
  item.pszText[0] = L'\0';
  if (item.iItem < 0 || item.iItem >= RowCount()) return;
  const Row& row = rows_[static_cast<std::size_t>(item.iItem)];
  std::wstring text;
  switch (item.iSubItem) {
    case kFilename:
      text = row.name;
      break;
    case kFileSize:
      if (row.size) text = std::to_wstring(*row.size);
      break;
    case kFileDate:
      if (row.date) text = DateText(*row.date);
      break;
    default:
      break;
  }
  lstrcpynW(item.pszText, text.c_str(), item.cchTextMax);
}

void ListViewMailList::GetInfoTip(NMLVGETINFOTIPW& tip, const std::string& text) const {
  if (tip.pszText == nullptr || tip.cchTextMax <= 0) return;
  const std::wstring wide = Widen(text);
  lstrcpynW(tip.pszText, wide.c_str(), tip.cchTextMax);
  // A character cut in half at the buffer's end is left out whole.
  const std::size_t end = std::min<std::size_t>(wide.size(), tip.cchTextMax - 1);
  if (end > 0 && IS_HIGH_SURROGATE(tip.pszText[end - 1])) tip.pszText[end - 1] = L'\0';
}

}  // namespace velmoth::win32
