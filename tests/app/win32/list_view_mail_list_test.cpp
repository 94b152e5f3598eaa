// The list of parked messages over a real SysListView32: rows counted from 1,
// ticks and selection kept by the control, cells filled when the control asks,
// and a fill of 100,000 rows in about a second.
#include "app/win32/list_view_mail_list.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <functional>

#include "app/win32/window_test_support.h"

namespace velmoth::win32 {
namespace {

using namespace std::chrono;
using testing::CellText;
using testing::SetRowState;
using testing::ShownRow;
using testing::ShownRows;

// The parent a list view sends its notifications to, handing cells to the list.
LRESULT CALLBACK ParentProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* list = reinterpret_cast<ListViewMailList*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  if (message == WM_NOTIFY && list != nullptr &&
      reinterpret_cast<NMHDR*>(lParam)->code == LVN_GETDISPINFOW) {
    list->GetDisplayInfo(*reinterpret_cast<NMLVDISPINFOW*>(lParam));
    return 0;
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

  void Add(const std::string& name, std::uint64_t size, FileDate date) {
    list.AddRow(name, name);
    list.SetSize(list.RowCount(), size);
    list.SetDate(list.RowCount(), date);
  }

  ListViewMailList list;
  HWND parent = nullptr;
  HWND control = nullptr;
};

constexpr FileDate kMarch2021 = sys_days(2021y / March / 4) + 5h + 6min + 7s;

TEST_F(ListViewMailListTest, RowsCountFromOneAndShowTheirCells) {
  Add("alpha", 0, kMarch2021);
  Add("two words", 12345678901, kMarch2021 + hours(24 * 400));
  list.AddRow(
      "Gr\xc3\xbc\xc3\x9f"
      "e",
      "Gr\xc3\xbc\xc3\x9f"
      "e");  // neither size nor date yet
  ASSERT_EQ(list.RowCount(), 3);
  const auto rows = ShownRows(control);
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(rows[0].name, "alpha");
  EXPECT_EQ(rows[0].size, "0");
  EXPECT_NE(rows[0].date.find("2021"), std::string::npos) << rows[0].date;
  EXPECT_EQ(rows[1].size, "12345678901");
  EXPECT_NE(rows[1].date.find("2022"), std::string::npos) << rows[1].date;
  EXPECT_EQ(rows[2], (ShownRow{"Gr\xc3\xbc\xc3\x9f"
                               "e",
                               "", "", false}));
  EXPECT_EQ(list.RowText(2), "two words");
  EXPECT_EQ(list.RowText(3),
            "Gr\xc3\xbc\xc3\x9f"
            "e");

  const std::function<void()> outOfRange[] = {
      [&] { list.RowText(0); },    [&] { list.RowText(4); },
      [&] { list.IsTicked(4); },   [&] { list.SetTicked(0, true); },
      [&] { list.SetSize(4, 1); }, [&] { list.SetDate(-1, kMarch2021); },
  };
  for (const auto& call : outOfRange) EXPECT_THROW(call(), std::out_of_range);

  list.RemoveAllRows();
  EXPECT_EQ(list.RowCount(), 0);
  EXPECT_TRUE(ShownRows(control).empty());
}

TEST_F(ListViewMailListTest, TicksAndTheSelectionAreThoseOfTheControl) {
  for (const char* name : {"a", "b", "c"}) Add(name, 1, kMarch2021);
  EXPECT_EQ(list.SelectedRow(), 0);
  list.SetTicked(2, true);
  // What the operator's click does to the third row.
  SetRowState(control, 2, LVIS_STATEIMAGEMASK, INDEXTOSTATEIMAGEMASK(2));
  SetRowState(control, 0, LVIS_SELECTED, LVIS_SELECTED);
  const bool expected[] = {false, true, true};
  for (int row = 1; row <= 3; ++row) {
    EXPECT_EQ(list.IsTicked(row), expected[row - 1]) << row;
    EXPECT_EQ(testing::CellTicked(control, row - 1), expected[row - 1]) << row;
  }
  EXPECT_EQ(list.SelectedRow(), 1);
  list.SetTicked(3, false);
  EXPECT_FALSE(list.IsTicked(3));
  list.RemoveAllRows();
  EXPECT_EQ(list.SelectedRow(), 0);
}

TEST_F(ListViewMailListTest, TheHourglassLastsUntilTheOutermostBusySpanEnds) {
  const HCURSOR hourglass = LoadCursorW(nullptr, IDC_WAIT);
  const HCURSOR arrow = LoadCursorW(nullptr, IDC_ARROW);
  const struct {
    bool busy;
    bool expected;
  } steps[] = {{true, true}, {true, true}, {false, true}, {false, false}, {false, false}};
  for (const auto& step : steps) {
    list.SetBusyPointer(step.busy);
    EXPECT_EQ(list.busy(), step.expected);
    EXPECT_EQ(GetCursor(), step.expected ? hourglass : arrow);
  }
}

TEST_F(ListViewMailListTest, HoldsAHundredThousandRows) {
  constexpr int kRows = 100'000;
  ShowWindow(parent, SW_SHOWNORMAL);
  list.SetBusyPointer(true);
  list.RemoveAllRows();
  for (int row = 1; row <= kRows; ++row) {
    Add("message-" + std::to_string(row), static_cast<std::uint64_t>(row), kMarch2021);
  }
  list.SetBusyPointer(false);
  UpdateWindow(parent);
  EXPECT_EQ(SendMessageW(control, LVM_GETITEMCOUNT, 0, 0), kRows);
  EXPECT_EQ(CellText(control, kRows - 1, 0), "message-100000");
  EXPECT_EQ(CellText(control, kRows - 1, 1), "100000");
}

}  // namespace
}  // namespace velmoth::win32
