// The form as a whole, whatever view draws it: every control inside the window
// under a name of its own, the first focus on a control that takes it, and the
// list's columns within the list.
#include "app/form.h"

#include <gtest/gtest.h>

#include <set>

namespace velmoth::form {
namespace {

TEST(Form, EveryControlLiesInsideTheClientAreaUnderANameOfItsOwn) {
  std::set<std::string_view> names;
  for (const Control& control : kControls) {
    SCOPED_TRACE(control.name);
    const Box& box = control.box;
    EXPECT_TRUE(names.insert(control.name).second);
    EXPECT_GT(box.width, 0);
    EXPECT_GT(box.height, 0);
    EXPECT_GE(box.left, 0);
    EXPECT_GE(box.top, 0);
    EXPECT_LE(box.left + box.width, kClientSize.width);
    EXPECT_LE(box.top + box.height, kClientSize.height);
  }
}

TEST(Form, TheFirstFocusTakesItAndTheColumnsFitTheList) {
  EXPECT_TRUE(TakesFocus(kControls[TabIndex(kFirstFocus)].kind));
  int width = 0;
  for (const Column& column : kColumns) width += column.width;
  EXPECT_LE(width, kControls[TabIndex("lvwMail")].box.width);
}

}  // namespace
}  // namespace velmoth::form
