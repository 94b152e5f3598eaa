// The window's MailList shown in a SysListView32 in report view: a thin adapter
// that owns the list and puts each of its changes into the control item by item.
// Every item is a callback item, whose cells the control asks for when it paints
// them, from the form's columns. The control keeps each item's tick box, which
// the list's rows hold too: a tick the operator gives goes to its row at once,
// and a tick the list makes goes to its item.
#pragma once

#include <windows.h>
// After windows.h, which it needs.
#include <commctrl.h>

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "app/mail_list.h"

namespace velmoth::win32 {

// The local date-time in the user's short date and time formats; empty for a
// date the system cannot place.
std::wstring DateText(FileDate date);

class ListViewMailList final : private MailListView {
 public:
  ListViewMailList() = default;
  ListViewMailList(const ListViewMailList&) = delete;
  ListViewMailList& operator=(const ListViewMailList&) = delete;

  // The control the rows go into, a list view in report view that this makes the
  // form's: tick boxes, full-row selection, info tips, the form's columns. The
  // adapter does not own it.
  void Attach(HWND control);

  MailList& list() { return list_; }
  const MailList& list() const { return list_; }

  // The position of the selected row, if one is.
  std::optional<std::size_t> SelectedRow() const;

  // Answers what the control tells its parent of its rows: LVN_GETDISPINFOW with
  // the text of one cell, LVN_ITEMCHANGED with the tick the operator gave a row,
  // LVN_COLUMNCLICK by sorting the rows by that column (in the other direction
  // on a second click) and LVN_DELETEALLITEMS. The notification's result.
  LRESULT Notify(NMHDR& header);
  // Answers LVN_GETINFOTIPW with `text`, the tip of the row tip.iItem, in place
  // of the text the control offers.
  void GetInfoTip(NMLVGETINFOTIPW& tip, const std::string& text) const;

 private:
  // MailListView.
  void RowsAboutToBeInserted(std::size_t first, std::size_t count) override;
  void RowsInserted(std::size_t first, std::size_t count) override;
  void RowsAboutToBeRemoved(std::size_t first, std::size_t count) override;
  void RowsRemoved(std::size_t first, std::size_t count) override;
  void RowsChanged(std::size_t first, std::size_t last) override;
  void RowsAboutToBeReordered() override;
  void RowsReordered(const std::vector<std::size_t>& newPositions) override;
  void BatchStarts() override;
  void BatchEnds() override;

  void GetDisplayInfo(NMLVDISPINFOW& info) const;
  void TakeTick(const NMLISTVIEW& change);
  void SortBy(int column);
  // Puts the tick of the row at `position` into its item.
  void ShowTick(std::size_t position);
  void SetItemState(std::size_t position, UINT mask, UINT state);
  // The control's item with `flag` (LVNI_SELECTED, LVNI_FOCUSED), if one has it.
  std::optional<std::size_t> ItemWith(UINT flag) const;
  std::size_t ItemCount() const;

  HWND control_ = nullptr;
  MailList list_{this};
};

}  // namespace velmoth::win32
