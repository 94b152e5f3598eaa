// frmMain's form, written down once for every front end: the window's caption and
// client size, each control's name, kind, caption, box and tab order, and the
// list's columns with what each shows of a parked message. Sizes are pixels at
// 96 dpi; each view scales them to its screen.
#pragma once

#include <cstddef>
#include <cstdint>
#include <iterator>
#include <stdexcept>
#include <string_view>
#include <variant>

#include "queue/bad_mail_scan.h"

namespace velmoth::form {

inline constexpr char kCaption[] = "Velmoth";
inline constexpr int kDpi = 96;

struct Size {
  int width;
  int height;
};
inline constexpr Size kClientSize{590, 352};

enum class Kind { kLabel, kButton, kCheckBox, kList };

// Labels are only read: they take no focus and are passed over by Tab.
constexpr bool TakesFocus(Kind kind) { return kind != Kind::kLabel; }

struct Box {
  int left;
  int top;
  int width;
  int height;
};

struct Control {
  std::string_view name;
  Kind kind;
  std::string_view caption;  // ASCII
  Box box;
  bool ticked = false;  // a check box's state when the window opens
};

// In tab order: a control's place in this list is its tab index.
inline constexpr Control kControls[] = {
    {"cmdNone", Kind::kButton, "None", {448, 8, 65, 17}},
    {"cmdAll", Kind::kButton, "All", {520, 8, 65, 17}},
    {"lvwMail", Kind::kList, "", {8, 24, 577, 289}},
    {"cmdCopy", Kind::kButton, "Copy to SMTP Outbound", {8, 320, 145, 25}},
    {"cmdQuit", Kind::kButton, "Quit", {488, 320, 97, 25}},
    {"Label1", Kind::kLabel, "Bad Mail Directory", {8, 8, 113, 17}},
    {"chkDelete", Kind::kCheckBox, "Delete from Bad Mail after copy", {208, 320, 201, 25}, true},
    {"Label2", Kind::kLabel, "Double-click item to view", {168, 8, 249, 17}},
};

// The control that has the focus when the window opens.
inline constexpr std::string_view kFirstFocus = "cmdNone";

enum class Align { kLeft, kRight };

// What a cell of the list shows, which each view writes in its toolkit's way:
// text as it is (on POSIX a file name's bytes), a number in decimal, a date in
// the user's short date and time format. A click on a column's header sorts the
// rows by their cells: text without letter case, numbers and dates by value.
using Cell = std::variant<std::string_view, std::uint64_t, FileDate>;

struct Column {
  std::string_view title;
  Align align;
  int width;
  Cell (*cell)(const BadMailEntry& entry);
};

// The list's columns, left to right: the message file's name and size, the
// command file's date.
inline constexpr Column kColumns[] = {
    {"Filename", Align::kLeft, 333,
     [](const BadMailEntry& entry) -> Cell { return std::string_view(entry.name); }},
    {"File size", Align::kRight, 93, [](const BadMailEntry& entry) -> Cell { return entry.size; }},
    {"File date", Align::kLeft, 141, [](const BadMailEntry& entry) -> Cell { return entry.date; }},
};
inline constexpr int kColumnCount = static_cast<int>(std::size(kColumns));

// The place of the column titled `title`; no constant for a title the form lacks.
constexpr int ColumnIndex(std::string_view title) {
  for (std::size_t index = 0; index < std::size(kColumns); ++index) {
    if (kColumns[index].title == title) return static_cast<int>(index);
  }
  throw std::invalid_argument("frmMain's list has no column of that title");
}

// The tab index of the control named `name`; no constant for a name the form lacks.
constexpr int TabIndex(std::string_view name) {
  for (std::size_t index = 0; index < std::size(kControls); ++index) {
    if (kControls[index].name == name) return static_cast<int>(index);
  }
  throw std::invalid_argument("frmMain has no control of that name");
}

}  // namespace velmoth::form
