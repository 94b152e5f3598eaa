// The escape of names: valid UTF-8 passes, every kind of invalid byte, control
// character and backslash is escaped, and the escape reads back to the name.
#include "base/name_escape.h"

#include <gtest/gtest.h>

namespace velmoth {
namespace {

TEST(NameEscape, EscapesWhatIsNoPrintableUtf8AndReadsItBack) {
  const struct {
    std::string name;
    std::string escaped;
  } cases[] = {
      {"plain name.msg", "plain name.msg"},
      {"Gr\xC3\xBC\xC3\x9F"
       "e \xE2\x82\xAC \xF0\x9F\x93\xA7",
       "Gr\xC3\xBC\xC3\x9F"
       "e \xE2\x82\xAC \xF0\x9F\x93\xA7"},
      {"back\\slash", "back\\\\slash"},
      {"tab\there\x7F", "tab\\x09here\\x7F"},
      {"caf\xE9", "caf\\xE9"},
      {"overlong \xC0\xAF", "overlong \\xC0\\xAF"},
      {"surrogate \xED\xA0\x80", "surrogate \\xED\\xA0\\x80"},
      {"past the last \xF4\x90\x80\x80", "past the last \\xF4\\x90\\x80\\x80"},
      {"cut short \xE2\x82", "cut short \\xE2\\x82"},
      {"stray \x80", "stray \\x80"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(EscapeName(c.name), c.escaped);
    EXPECT_EQ(UnescapeName(c.escaped), c.name) << c.escaped;
  }
  // Typed by hand: a lone backslash, or one that starts no escape, stands for itself.
  for (const char* typed : {"a\\b", "ends\\", "\\x4", "\\xZZ"}) {
    EXPECT_EQ(UnescapeName(typed), typed);
  }
  EXPECT_EQ(UnescapeName("\\x41\\x4a"), "AJ");
  EXPECT_EQ(ValidUtf8Text("C:\\caf\xE9\n"), "C:\\caf\\xE9\n");
}

}  // namespace
}  // namespace velmoth
