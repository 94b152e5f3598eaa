// Header text as it is shown: folds, control characters and raw 8-bit bytes, and
// the recipients of an address field split at the right commas, and their addresses.
#include "queue/header_text.h"

#include <gtest/gtest.h>

namespace velmoth {
namespace {

TEST(DecodeHeaderText, ShowsControlCharactersFoldsAndRawBytesAsTheyRead) {
  const struct {
    std::string raw;
    std::string shown;
  } cases[] = {
      {"=?utf-8?q?a=1B[31mb=0D=0Ac?=", "a\uFFFD[31mb  c"},
      {"=?iso-8859-1?q?=85=7F?=", "\uFFFD\uFFFD"},
      {"a\tb  c\r\n\t d", "a b  c d"},
      {std::string("a\0b\x07", 4), "a\uFFFDb\uFFFD"},
      {"caf\xe9 \x80 \x81", "café € \uFFFD"},  // not UTF-8: Windows-1252
      {"\xc3\xa9 \xe9", "Ã© é"},
  };
  for (const auto& c : cases) EXPECT_EQ(DecodeHeaderText(c.raw), c.shown) << c.raw;
}

TEST(DecodeAddressList, ShowsEachRecipientAsWrittenJoinedByCommas) {
  const struct {
    const char* raw;
    const char* shown;
  } cases[] = {
      {"\"Doe, John\" <j@x>, b@y", "\"Doe, John\" <j@x>, b@y"},
      {" a@x ,\r\n\tb@y , , ", "a@x, b@y"},
      {"=?utf-8?q?M=C3=BCller=2C_Hans?= <h@x>", "Müller, Hans <h@x>"},
      {"\"=?utf-8?q?J=C3=BCrgen?=\" <j@x>", "\"Jürgen\" <j@x>"},
      {"<=?utf-8?q?a?=@x> (=?utf-8?q?J=C3=BCrgen?=)", "<=?utf-8?q?a?=@x> (Jürgen)"},
      {"Team: a@x, b@y;", "Team: a@x, b@y;"},
      {"(a, (b, c)) d@x, <e,f@x>", "(a, (b, c)) d@x, <e,f@x>"},
      {"\"a\\\", b\" <c@x>, \"open, d@x", "\"a\\\", b\" <c@x>, \"open, d@x"},
      {"=?utf-8?q?"
       "?=, a@x",
       "a@x"},
  };
  for (const auto& c : cases) EXPECT_EQ(DecodeAddressList(c.raw), c.shown) << c.raw;
}

TEST(AppendAddresses, TakesEachRecipientsAddressWithoutItsNameOrComments) {
  const struct {
    std::string raw;
    const char* addresses;  // joined by "|"
  } cases[] = {
      {"\"Doe, John\" <j@x>, b@y", "j@x|b@y"},
      {" a@x (Ann, b@y) ,\r\n\t<c @ z\r\n >", "a@x|c@z"},
      {"Team: a@x, Ann <b@y>;, c@z", "a@x|b@y|c@z"},
      {"undisclosed-recipients:;", ""},
      {"<@relay.x,@relay.y:a@z>", "a@z"},
      {"\"a@b, c\"@x, d@[IPv6:2001:db8::1]", "\"a@b, c\"@x|d@[IPv6:2001:db8::1]"},
      {"=?utf-8?q?a@b=2C_c?= <r@x>, <>, postmaster", "r@x|postmaster"},
      {"<a@x", "a@x"},
      {"a@b\xfc"
       "cher.de, b@\x01x",
       "a@bücher.de|b@\uFFFDx"},  // not UTF-8: Windows-1252
  };
  for (const auto& c : cases) {
    std::vector<std::string> addresses;
    AppendAddresses(addresses, c.raw);
    std::string joined;
    for (const std::string& address : addresses) joined += (joined.empty() ? "" : "|") + address;
    EXPECT_EQ(joined, c.addresses) << c.raw;
  }
}

}  // namespace
}  // namespace velmoth
