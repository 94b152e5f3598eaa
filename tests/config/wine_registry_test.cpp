// The Wine registry file parser: value forms and escapes, letter case, the 32-bit
// view of SOFTWARE, and files that are damaged or not registry files at all.
#include "config/wine_registry.h"

#include <gtest/gtest.h>

#include <string>

namespace velmoth {
namespace {

const std::string kFile = R"(WINE REGISTRY Version 2
;; All keys relative to \\Machine

#arch=win64

[Software\\korvane\\korvane] 1700000000
#time=1d8a0b0c0d0e0f0
"Bad Mail Directory"="C:\\Mail\\Bad M\xe4il"
"Quoted"="say \"hi\"\tnow"
"Greedy"="c\x00f6d"
"Raw"="Bad Mäil"
"Octal"="a\101\0b"
"Pair"="\xd83d\xde00"
"Expand"=str(2):"%SystemDrive%\\Mail"
"Multi"=str(7):"first\0second\0"
"HexExpand"=hex(2):43,00,3a,00,5c,00,\
  e4,00,00,00,5a,00
"HexNoNul"=hex(1):61,00,62,00,63,00
"Number"=dword:0000000a
"Blob"=hex:41,00,42,00
"Qword"=hex(b):41,00,00,00,00,00,00,00
"Broken"="unterminated
"Twice"="old"
@="default"

[Software\\korvane\\korvane\\connectors\\smtp] 1700000000
"Outbound Queue Directory"="D:\\Out"

[Software\\Wow6432Node\\korvane\\korvane] 1700000000
"Bad Mail Directory"="C:\\Mail\\Bad32"
"Number"=dword:00000001

[Software\\\xc4pfel\\\x0411] 1700000000
"Name"="fruit"

[Software\\Wow6432Node\\korvane\\only32] 1700000000
"Here"="32"

[Software\\Damaged
"Lost"="x"

[Software\\korvane\\korvane] 1700000001
"Twice"="new"
)";

constexpr char kServer[] = "Software\\korvane\\korvane";

// A lookup's text, or how far it got.
std::string Shown(const RegLookup& lookup) {
  static const char* const kFailures[] = {"<no key>", "<no value>", "<not a string>"};
  return lookup.state == RegLookup::kFound ? lookup.text : kFailures[lookup.state];
}

TEST(WineRegistryTest, ReadsValues) {
  const WineRegistry registry(kFile);
  struct Case {
    const char* key;
    const char* value;
    std::string expected;
  };
  const Case cases[] = {
      {kServer, "Bad Mail Directory", "C:\\Mail\\Bad M\u00e4il"},
      {kServer, "Quoted", "say \"hi\"\tnow"},
      {kServer, "Greedy", "c\u00f6d"},
      {kServer, "Raw", "Bad M\u00e4il"},
      {kServer, "Octal", "aA"},
      {kServer, "Pair", "\U0001F600"},
      {kServer, "Expand", "%SystemDrive%\\Mail"},
      {kServer, "Multi", "first"},
      {kServer, "HexExpand", "C:\\\u00e4"},
      {kServer, "HexNoNul", "abc"},
      {kServer, "Number", "<not a string>"},
      {kServer, "Blob", "<not a string>"},
      {kServer, "Qword", "<not a string>"},
      {kServer, "Broken", "<no value>"},
      {kServer, "Twice", "new"},
      {kServer, "", "default"},
      {kServer, "Missing", "<no value>"},
      {kServer, "Lost", "<no value>"},
      {"SOFTWARE\\KORVANE\\Korvane", "bad mail directory", "C:\\Mail\\Bad M\u00e4il"},
      {"software\\\u00e4pfel\\\u0431", "NAME", "fruit"},
      {"Software\\Damaged", "Lost", "<no key>"},
      {"Software\\korvane", "Bad Mail Directory", "<no key>"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Shown(registry.Find(c.key, c.value)), c.expected) << c.key << " / " << c.value;
  }
}

TEST(WineRegistryTest, PrefersThe32BitViewInA64BitPrefix) {
  std::string win32 = kFile;
  win32.replace(win32.find("win64"), 5, "win32");
  const WineRegistry registry64(kFile);
  const WineRegistry registry32(win32);
  ASSERT_TRUE(registry64.win64());
  ASSERT_FALSE(registry32.win64());
  constexpr char kSmtp[] = "SOFTWARE\\korvane\\korvane\\connectors\\smtp";
  constexpr char kOnly32[] = "SOFTWARE\\korvane\\only32";
  struct Case {
    const WineRegistry& registry;
    const char* key;
    const char* value;
    std::string expected;
  };
  const Case cases[] = {
      {registry64, "SOFTWARE\\korvane\\korvane", "Bad Mail Directory", "C:\\Mail\\Bad32"},
      {registry64, "software\\korvane\\korvane", "Bad Mail Directory", "C:\\Mail\\Bad32"},
      {registry64, kSmtp, "Outbound Queue Directory", "D:\\Out"},
      {registry64, "SOFTWARE\\korvane\\korvane", "Quoted", "say \"hi\"\tnow"},
      {registry64, "SOFTWARE\\korvane\\korvane", "Number", "<not a string>"},  // no fallback
      {registry64, kOnly32, "Here", "32"},
      // Missing in both: the lookup that got further, under either key.
      {registry64, kOnly32, "Gone", "<no value>"},
      {registry64, kSmtp, "Gone", "<no value>"},
      {registry64, "SOFTWARE\\korvane\\nothing", "Here", "<no key>"},
      {registry32, "SOFTWARE\\korvane\\korvane", "Bad Mail Directory", "C:\\Mail\\Bad M\u00e4il"},
      {registry32, "SOFTWARE\\korvane\\korvane\\nothing", "Bad Mail Directory", "<no key>"},
      {registry32, kOnly32, "Here", "<no key>"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Shown(c.registry.FindRedirected(c.key, c.value)), c.expected)
        << c.key << " / " << c.value;
  }
}

TEST(WineRegistryTest, DamagedFilesGiveNothing) {
  const char binary[] = "WINE REGISTRY Version 2\n[\xff\xfe\x00\x01]\n\"V\"=\"\\x";
  const std::string head = "WINE REGISTRY Version 2\n[Software\\\\k] 1\n";
  const std::string texts[] = {
      "",
      "REGEDIT4\n[Software\\\\k] 1\n\"V\"=\"text\"\n",
      head + "\"V\"=\"text",
      head + "\"V\"=\"text\\",
      head + "\"V\"=hex(2):41,00,\\",
      head + "\"V\"=hex(1):4g,00",
      head + "\"V\"=str(2):",
      head + "\"V\"=text",
      head + "\"V",
      head + "\"V\"",
      std::string(binary, sizeof binary - 1),
  };
  for (const std::string& text : texts) {
    EXPECT_FALSE(WineRegistry(text).Find("Software\\k", "V").Exists()) << text;
  }
}

}  // namespace
}  // namespace velmoth
