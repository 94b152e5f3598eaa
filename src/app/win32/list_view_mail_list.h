// The list of parked messages as a SysListView32 in report view: the rows' texts
// are kept here and handed to the control when it paints or shows a row's info
// tip, the ticks live in the control. Also the application's busy pointer.
#pragma once

#include <windows.h>
// After windows.h, which it needs.
#include <commctrl.h>

#include <optional>
#include <string>
#include <vector>

#include "app/mail_list.h"

namespace velmoth::win32 {

// The local date-time in the user's short date and time formats; empty for a
// date the system cannot place.
std::wstring DateText(FileDate date);

class ListViewMailList final : public MailList {
 public:
  // The control the rows go into, a list view in report view that this makes the
  // form's: tick boxes, full-row selection, info tips, the form's columns. The
  // list does not own it.
  void Attach(HWND list);

  void RemoveAllRows() override;
  void AddRow(const std::string& key, const std::string& text) override;
  void SetSize(int row, std::uint64_t bytes) override;
  void SetDate(int row, FileDate date) override;
  int RowCount() const override;
  bool IsTicked(int row) const override;
  void SetTicked(int row, bool ticked) override;
  std::string RowText(int row) const override;
  int SelectedRow() const override;
  void SetBusyPointer(bool busy) override;

  // Whether a scan or requeue is running, for the window's WM_SETCURSOR.
  bool busy() const { return busyDepth_ > 0; }
  // Answers LVN_GETDISPINFOW with the text of one cell.
  void GetDisplayInfo(NMLVDISPINFOW& info) const;
  // Answers LVN_GETINFOTIPW with `text`, the tip of the row tip.iItem, in place
  // of the text the control offers.
  void GetInfoTip(NMLVGETINFOTIPW& tip, const std::string& text) const;

 private:
  struct Row {
    std::string text;
    std::wstring name;
    std::optional<std::uint64_t> size;
    std::optional<FileDate> date;
  };

  Row& At(int row);
  std::size_t Index(int row) const;
  // Paints the row again when its texts change outside a scan.
  void Repaint(int row);

  HWND list_ = nullptr;
  std::vector<Row> rows_;
  int busyDepth_ = 0;
};

}  // namespace velmoth::win32
