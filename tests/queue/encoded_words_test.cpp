// Encoded words in header text: B and Q, runs joined across a character split
// between words, the charset labels mailers write, and every broken word shown
// as written.
#include "queue/encoded_words.h"

#include <gtest/gtest.h>

#include "queue/header_text.h"

namespace velmoth {
namespace {

TEST(DecodeHeaderText, DecodesEncodedWordsAndShowsWhatItCannotDecodeAsWritten) {
  const struct {
    std::string raw;
    std::string shown;
  } cases[] = {
      {"=?utf-8?q?caf=C3=A9_cr=c3=a8me?=", "café crème"},
      {"=?UTF-8?B?Y2Fmw6k=?=", "café"},
      {"=?utf-8?b?Y2Fmw6k?=", "café"},  // padding left out
      {"=?utf-8*de?Q?caf=C3=A9?=", "café"},
      {" a =?utf-8?q?b?= \r\n =?utf-8?q?c?=\td ", "a bc d"},
      {"=?utf-8?q?=C3?= =?UTF-8?q?=A9?=", "é"},  // one character split between words
      {"=?utf-8?q?a?= =?iso-8859-1?q?=E9?=\r\n =?koi8-r?b?8w==?=", "aéС"},
      {"Re:=?utf-8?q?x?=(=?utf-8?q?y?=)", "Re:x(y)"},
      {"=?utf-8?q?"
       "?=",
       ""},  // "??=" would be a trigraph
      {"=?windows-1252?q?=80=81?=", "€\uFFFD"},
      {"=?utf-8?b?Y2Fm!w6k=?=", "=?utf-8?b?Y2Fm!w6k=?="},
      {"=?utf-8?b?Y2Fmw=?=", "=?utf-8?b?Y2Fmw=?="},
      {"=?utf-8?q?caf=C?=", "=?utf-8?q?caf=C?="},
      {"=?utf-8?x?abc?=", "=?utf-8?x?abc?="},
      {"=?utf-8?q?abc", "=?utf-8?q?abc"},
      {"=?utf-8//translit?q?a?=", "=?utf-8//translit?q?a?="},
      {"=?" + std::string(80, 'x') + "?q?a?=", "=?" + std::string(80, 'x') + "?q?a?="},
      {"x =?x-unknown?q?a?= =?utf-8?q?b?=", "x =?x-unknown?q?a?= b"},
      {"=?utf-8?q?=FF?=", "=?utf-8?q?=FF?="},
      {"=?us-ascii?q?=E9?=", "=?us-ascii?q?=E9?="},
      {"=?iso-2022-jp?b?GyRCJA==?=", "=?iso-2022-jp?b?GyRCJA==?="},  // half a character
      {"=?utf-8?q?a?= =?utf-8?q?=FF?= =?utf-8?q?b?=", "a =?utf-8?q?=FF?= b"},
      {"=?utf-8?q?\xe9?=", "=?utf-8?q?é?="},
  };
  for (const auto& c : cases) EXPECT_EQ(DecodeHeaderText(c.raw), c.shown) << c.raw;
}

TEST(DecodeHeaderText, ReadsTheCharsetLabelsMailersWriteAlikeOnEveryPlatform) {
  const struct {
    const char* raw;
    const char* shown;
  } cases[] = {
      {"=?ks_c_5601-1987?b?x9Gxub7u?=", "한국어"},
      {"=?EUC-KR?Q?=81A?=", "갂"},  // only in Microsoft's code page, as the labels below
      {"=?gb2312?b?hrQ=?=", "喆"},
      {"=?big5?q?=A3=E1?=", "€"},
      {"=?x-sjis?q?=5C=87@?=", "\\①"},
      {"=?iso-8859-8-i?q?=F9=EC=E5=ED?=", "שלום"},
      {"=?ISO_8859-2?Q?=B1?=", "ą"},
      {"=?iso8859-5?q?=B0?=", "А"},
      {"=?cp1251?q?=C0?=", "А"},
      {"=?windows-874?q?=A1?=", "ก"},
      {"=?tis-620?q?=A1?=", "ก"},
      {"=?koi8-u?q?=A4?=", "є"},
      {"=?latin1?q?=E9?=", "é"},
  };
  for (const auto& c : cases) EXPECT_EQ(DecodeHeaderText(c.raw), c.shown) << c.raw;
}

}  // namespace
}  // namespace velmoth
