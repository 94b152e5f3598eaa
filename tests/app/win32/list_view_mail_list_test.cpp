// The window's list over a real SysListView32: each row's cells from the form's
// columns, filled when the control asks, ticks going both ways between the rows
// and the control, a click on a header sorting the rows with their ticks and the
// selection, and a fill of 100,000 rows in about a second.
#include "app/win32/list_view_mail_list.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>

#include "app/form.h"
#include "app/win32/window_test_support.h"
#include "support/mail_list_rows.h"

namespace velmoth::win32 {
namespace {

using namespace std::chrono;
using testing::CellText;
using testing::CellTicked;
using testing::SetRowState;
using testing::ShownRow;
using testing::ShownRows;
using Names = std::vector<std::string>;

// The parent a list view sends its notifications to, handing them to the list.
LRESULT CALLBACK ParentProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* list = reinterpret_cast<ListViewMailList*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  if (message == WM_NOTIFY && list != nullptr) {
    return list->Notify(*reinterpret_cast<NMHDR*>(lParam));
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

class ListViewMailListTest : public ::testing::Test {
 protected:
  ListViewMailListTest() {
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_LISTVIEW_CLASSES};
    InitCommonControlsEx(&controls);
    WNDCLASSW parentClass{};
    parentClass.lpfnWndProc = ParentProcedure;
    parentClass.hInstance = GetModuleHandleW(nullptr);
    parentClass.lpszClassName = L"VelmothListTestParent";
    RegisterClassW(&parentClass);
    parent = CreateWindowExW(0, L"VelmothListTestParent", L"", WS_OVERLAPPEDWINDOW, 0, 0, 600, 400,
                             nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
    SetWindowLongPtrW(parent, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&list));
    control = CreateWindowExW(0, WC_LISTVIEWW, L"", WS_CHILD | WS_VISIBLE | LVS_REPORT, 0, 0, 580,
                              380, parent, nullptr, GetModuleHandleW(nullptr), nullptr);
    list.Attach(control);
  }
  ~ListViewMailListTest() override { DestroyWindow(parent); }

  MailList& rows() { return list.list(); }

  Names ShownNames() const {
    Names names;
    for (const ShownRow& row : ShownRows(control)) names.push_back(row.name);
    return names;
  }

  // A click on the header of the form's column `column`, as the operator's mouse makes it.
  void ClickHeader(int column) {
    const auto header = reinterpret_cast<HWND>(SendMessageW(control, LVM_GETHEADER, 0, 0));
    RECT box{};
    SendMessageW(header, HDM_GETITEMRECT, column, reinterpret_cast<LPARAM>(&box));
    const LPARAM at = MAKELPARAM((box.left + box.right) / 2, (box.top + box.bottom) / 2);
    SendMessageW(header, WM_LBUTTONDOWN, MK_LBUTTON, at);
    SendMessageW(header, WM_LBUTTONUP, 0, at);
  }

  ListViewMailList list;
  HWND parent = nullptr;
  HWND control = nullptr;
};

constexpr FileDate kMarch2021 = sys_days(2021y / March / 4) + 5h + 6min + 7s;

TEST_F(ListViewMailListTest, RowsShowTheirCellsFromTheFormsColumns) {
  const std::string umlauts =
      "Gr\xc3\xbc\xc3\x9f"
      "e";
  rows().Replace({{"alpha", 0, kMarch2021},
                  {"two words", 12345678901, kMarch2021 + hours(24 * 400)},
                  {umlauts, 7, kMarch2021}});
  const auto shown = ShownRows(control);
  ASSERT_EQ(shown.size(), 3u);
  EXPECT_EQ(shown[0].name, "alpha");
  EXPECT_EQ(shown[0].size, "0");
  EXPECT_NE(shown[0].date.find("2021"), std::string::npos) << shown[0].date;
  EXPECT_EQ(shown[1].size, "12345678901");
  EXPECT_NE(shown[1].date.find("2022"), std::string::npos) << shown[1].date;
  EXPECT_EQ(shown[2].name, umlauts);
  EXPECT_EQ(shown[2].size, "7");

  rows().Replace({});
  EXPECT_TRUE(ShownRows(control).empty());
}

TEST_F(ListViewMailListTest, TicksGoBothWaysBetweenTheRowsAndTheControl) {
  rows().Replace({{"a", 1, kMarch2021}, {"b", 1, kMarch2021}, {"c", 1, kMarch2021}});
  EXPECT_EQ(list.SelectedRow(), std::nullopt);
  rows().SetTicked(1, true);
  // What the operator's click does to the third row.
  SetRowState(control, 2, LVIS_STATEIMAGEMASK, INDEXTOSTATEIMAGEMASK(2));
  SetRowState(control, 0, LVIS_SELECTED, LVIS_SELECTED);
  const bool expected[] = {false, true, true};
  for (int row = 0; row < 3; ++row) {
    EXPECT_EQ(rows()[static_cast<std::size_t>(row)].ticked, expected[row]) << row;
    EXPECT_EQ(CellTicked(control, row), expected[row]) << row;
  }
  EXPECT_EQ(list.SelectedRow(), 0u);
  rows().TickWhere([](const BadMailEntry&) { return true; }, false);
  for (int row = 0; row < 3; ++row) EXPECT_FALSE(CellTicked(control, row)) << row;
  rows().Replace({});
  EXPECT_EQ(list.SelectedRow(), std::nullopt);
}

TEST_F(ListViewMailListTest, AHeaderClickSortsTheRowsAndTheirTicksAndTheSelectionFollow) {
  rows().Replace(
      {{"charlie", 10, kMarch2021}, {"alpha", 9, kMarch2021}, {"Beta", 100, kMarch2021}});
  SetRowState(control, 0, LVIS_STATEIMAGEMASK, INDEXTOSTATEIMAGEMASK(2));               // charlie
  SetRowState(control, 1, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);  // alpha
  const struct {
    const char* column;
    Names shown;
    int ticked, selected;
    int arrow;  // of the header item
  } clicks[] = {
      {"Filename", {"alpha", "Beta", "charlie"}, 2, 0, HDF_SORTUP},
      {"Filename", {"charlie", "Beta", "alpha"}, 0, 2, HDF_SORTDOWN},
      {"File size", {"alpha", "charlie", "Beta"}, 1, 0, HDF_SORTUP},
  };
  const auto header = reinterpret_cast<HWND>(SendMessageW(control, LVM_GETHEADER, 0, 0));
  for (const auto& click : clicks) {
    SCOPED_TRACE(click.column);
    ClickHeader(form::ColumnIndex(click.column));
    EXPECT_EQ(ShownNames(), click.shown);
    EXPECT_EQ(velmoth::testing::RowNames(rows()), click.shown);
    for (int row = 0; row < 3; ++row) EXPECT_EQ(CellTicked(control, row), row == click.ticked);
    EXPECT_EQ(rows().TickedRows(), std::vector<std::size_t>{std::size_t(click.ticked)});
    EXPECT_EQ(list.SelectedRow(), std::size_t(click.selected));
    HDITEMW item{};
    item.mask = HDI_FORMAT;
    SendMessageW(header, HDM_GETITEMW, form::ColumnIndex(click.column),
                 reinterpret_cast<LPARAM>(&item));
    EXPECT_EQ(item.fmt & (HDF_SORTUP | HDF_SORTDOWN), click.arrow);
  }
}

TEST_F(ListViewMailListTest, HoldsAHundredThousandRows) {
  constexpr int kRows = 100'000;
  ShowWindow(parent, SW_SHOWNORMAL);
  std::vector<BadMailEntry> entries;
  for (int row = 1; row <= kRows; ++row) {
    entries.push_back(
        {"message-" + std::to_string(row), static_cast<std::uint64_t>(row), kMarch2021});
  }
  rows().Replace(std::move(entries));
  UpdateWindow(parent);
  EXPECT_EQ(SendMessageW(control, LVM_GETITEMCOUNT, 0, 0), kRows);
  EXPECT_EQ(CellText(control, kRows - 1, 0), "message-100000");
  EXPECT_EQ(CellText(control, kRows - 1, 1), "100000");
}

}  // namespace
}  // namespace velmoth::win32
