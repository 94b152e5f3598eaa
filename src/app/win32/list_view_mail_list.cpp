// lvwMail over a SysListView32. Each row is a callback item, whose sub-items'
// texts the control asks for too, so a row costs the control one message and no
// copies, and texts are made only for the rows on screen; painting stays off
// while a change to many rows goes in.
#include "app/win32/list_view_mail_list.h"

#include <algorithm>
#include <stdexcept>
#include <string_view>
#include <utility>
#include <variant>

#include "app/form.h"
#include "base/file_time.h"
#include "base/wide_text.h"

namespace velmoth::win32 {
namespace {

// The check box images of LVS_EX_CHECKBOXES: 1 unticked, 2 ticked.
constexpr UINT kTickedImage = 2;

UINT TickImage(bool ticked) {
  return INDEXTOSTATEIMAGEMASK(ticked ? kTickedImage : kTickedImage - 1);
}

std::wstring CellText(const form::Cell& cell) {
  if (const auto* text = std::get_if<std::string_view>(&cell)) return Widen(*text);
  if (const auto* number = std::get_if<std::uint64_t>(&cell)) return std::to_wstring(*number);
  return DateText(std::get<FileDate>(cell));
}

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

void ListViewMailList::Attach(HWND control) {
  control_ = control;
  constexpr DWORD kListStyle =
      LVS_EX_CHECKBOXES | LVS_EX_FULLROWSELECT | LVS_EX_DOUBLEBUFFER | LVS_EX_INFOTIP;
  SendMessageW(control_, LVM_SETEXTENDEDLISTVIEWSTYLE, kListStyle, kListStyle);
  for (int index = 0; index < form::kColumnCount; ++index) {
    const form::Column& column = form::kColumns[index];
    std::wstring title = Widen(column.title);
    LVCOLUMNW header{};
    header.mask = LVCF_FMT | LVCF_TEXT | LVCF_WIDTH | LVCF_SUBITEM;
    header.fmt = column.align == form::Align::kRight ? LVCFMT_RIGHT : LVCFMT_LEFT;
    header.cx = column.width;
    header.pszText = title.data();
    header.iSubItem = index;
    SendMessageW(control_, LVM_INSERTCOLUMNW, index, reinterpret_cast<LPARAM>(&header));
  }
}

std::size_t ListViewMailList::ItemCount() const {
  return static_cast<std::size_t>(SendMessageW(control_, LVM_GETITEMCOUNT, 0, 0));
}

std::optional<std::size_t> ListViewMailList::ItemWith(UINT flag) const {
  const auto index = SendMessageW(control_, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), flag);
  if (index < 0 || static_cast<std::size_t>(index) >= list_.size()) return std::nullopt;
  return static_cast<std::size_t>(index);
}

std::optional<std::size_t> ListViewMailList::SelectedRow() const { return ItemWith(LVNI_SELECTED); }

void ListViewMailList::SetItemState(std::size_t position, UINT mask, UINT state) {
  LVITEMW item{};
  item.stateMask = mask;
  item.state = state;
  SendMessageW(control_, LVM_SETITEMSTATE, position, reinterpret_cast<LPARAM>(&item));
}

void ListViewMailList::ShowTick(std::size_t position) {
  SetItemState(position, LVIS_STATEIMAGEMASK, TickImage(list_[position].ticked));
}

void ListViewMailList::BatchStarts() {
  // Nobody sees a scan's rows come in one by one, and with painting on, each
  // item put in or taken out updates the scroll bars: they come in much faster so.
  SendMessageW(control_, WM_SETREDRAW, FALSE, 0);
}

void ListViewMailList::BatchEnds() {
  SendMessageW(control_, WM_SETREDRAW, TRUE, 0);
  InvalidateRect(control_, nullptr, TRUE);
}

void ListViewMailList::RowsAboutToBeInserted(std::size_t, std::size_t count) {
  // Room for many items at once.
  if (count > 1) SendMessageW(control_, LVM_SETITEMCOUNT, ItemCount() + count, 0);
}

void ListViewMailList::RowsInserted(std::size_t first, std::size_t count) {
  for (std::size_t position = first; position < first + count; ++position) {
    LVITEMW item{};
    item.mask = LVIF_TEXT | LVIF_STATE;
    item.iItem = static_cast<int>(position);
    item.pszText = LPSTR_TEXTCALLBACKW;
    item.stateMask = LVIS_STATEIMAGEMASK;
    item.state = TickImage(list_[position].ticked);
    if (SendMessageW(control_, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item)) < 0) {
      throw std::runtime_error("The list cannot take another row");
    }
  }
}

void ListViewMailList::RowsAboutToBeRemoved(std::size_t, std::size_t) {}

void ListViewMailList::RowsRemoved(std::size_t first, std::size_t count) {
  if (first == 0 && count == ItemCount()) {
    SendMessageW(control_, LVM_DELETEALLITEMS, 0, 0);
    return;
  }
  for (std::size_t position = first + count; position-- > first;) {
    SendMessageW(control_, LVM_DELETEITEM, position, 0);
  }
}

void ListViewMailList::RowsChanged(std::size_t first, std::size_t last) {
  for (std::size_t position = first; position <= last; ++position) ShowTick(position);
  SendMessageW(control_, LVM_REDRAWITEMS, first, static_cast<LPARAM>(last));
}

void ListViewMailList::RowsAboutToBeReordered() {}

void ListViewMailList::RowsReordered(const std::vector<std::size_t>& newPositions) {
  // The control keeps ticks, the selection and the focus at their items: each
  // follows its row to its new place. Item p showed the row now at newPositions[p].
  const std::optional<std::size_t> selected = ItemWith(LVNI_SELECTED);
  const std::optional<std::size_t> focused = ItemWith(LVNI_FOCUSED);
  for (std::size_t position = 0; position < newPositions.size(); ++position) {
    if (list_[newPositions[position]].ticked != list_[position].ticked) ShowTick(position);
  }
  for (const auto& [item, state] :
       {std::pair(focused, LVIS_FOCUSED), std::pair(selected, LVIS_SELECTED)}) {
    if (!item || newPositions[*item] == *item) continue;
    SetItemState(*item, state, 0);
    SetItemState(newPositions[*item], state, state);
  }
  InvalidateRect(control_, nullptr, FALSE);
}

LRESULT ListViewMailList::Notify(NMHDR& header) {
  switch (header.code) {
    case LVN_GETDISPINFOW:
      GetDisplayInfo(reinterpret_cast<NMLVDISPINFOW&>(header));
      return 0;
    case LVN_ITEMCHANGED:
      TakeTick(reinterpret_cast<const NMLISTVIEW&>(header));
      return 0;
    case LVN_COLUMNCLICK:
      SortBy(reinterpret_cast<const NMLISTVIEW&>(header).iSubItem);
      return 0;
    case LVN_DELETEALLITEMS:
      // No LVN_DELETEITEM for each of possibly many rows: nothing is kept per item.
      return TRUE;
    default:
      return 0;
  }
}

void ListViewMailList::GetDisplayInfo(NMLVDISPINFOW& info) const {
  LVITEMW& item = info.item;
  if ((item.mask & LVIF_TEXT) == 0 || item.pszText == nullptr || item.cchTextMax <= 0) return;
  item.pszText[0] = L'\0';
  if (item.iItem < 0 || static_cast<std::size_t>(item.iItem) >= list_.size()) return;
  if (item.iSubItem < 0 || item.iSubItem >= form::kColumnCount) return;
  const MailRow& row = list_[static_cast<std::size_t>(item.iItem)];
  const std::wstring text = CellText(form::kColumns[item.iSubItem].cell(row.entry));
  lstrcpynW(item.pszText, text.c_str(), item.cchTextMax);
}

void ListViewMailList::TakeTick(const NMLISTVIEW& change) {
  if ((change.uChanged & LVIF_STATE) == 0) return;
  if (((change.uNewState ^ change.uOldState) & LVIS_STATEIMAGEMASK) == 0) return;
  if (change.iItem < 0 || static_cast<std::size_t>(change.iItem) >= list_.size()) return;
  const bool ticked = (change.uNewState & LVIS_STATEIMAGEMASK) == TickImage(true);
  list_.SetTicked(static_cast<std::size_t>(change.iItem), ticked);
}

void ListViewMailList::SortBy(int column) {
  const bool again = column == list_.sortColumn() && list_.sortOrder() == SortOrder::kAscending;
  const SortOrder order = again ? SortOrder::kDescending : SortOrder::kAscending;
  list_.Sort(column, order);
  // The header's arrow on the sorted column.
  const auto header = reinterpret_cast<HWND>(SendMessageW(control_, LVM_GETHEADER, 0, 0));
  for (int index = 0; index < form::kColumnCount; ++index) {
    HDITEMW item{};
    item.mask = HDI_FORMAT;
    if (!SendMessageW(header, HDM_GETITEMW, index, reinterpret_cast<LPARAM>(&item))) continue;
    item.fmt &= ~(HDF_SORTUP | HDF_SORTDOWN);
    if (index == column) item.fmt |= order == SortOrder::kAscending ? HDF_SORTUP : HDF_SORTDOWN;
    SendMessageW(header, HDM_SETITEMW, index, reinterpret_cast<LPARAM>(&item));
  }
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
