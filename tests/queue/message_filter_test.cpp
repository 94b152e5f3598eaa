// The message filters on their own: text found without letter case in every
// script, every condition needed at once, and the date bounds as typed.
#include "queue/message_filter.h"

#include <gtest/gtest.h>

#include "base/case_fold.h"
#include "time/utc_stamp.h"

namespace velmoth {
namespace {

using std::chrono::hours;
using std::chrono::seconds;

const FileDate kDate = std::chrono::sys_days{std::chrono::December / 7 / 2026} + hours(8);

TEST(MessageFilter, FindsTextWithoutLetterCaseInEveryScript) {
  const struct {
    const char* typed;
    const char* subject;
    bool passes;
  } cases[] = {
      {"STRASSE", "Hauptstraße 5", true},  // ß is ss
      {"straße", "HAUPTSTRASSE", true},
      {"ﬁle", "FILE", true},        // the ligature is f and i
      {"ΤΕΛΟΣ", "το τελος", true},  // the final sigma is a sigma
      {"ЗАКАЗ", "ваш заказ 42", true},
      {"ԵՐԵՒԱՆ", "Երևան", true},  // և is ե and ւ
      {"𐐀", "𐐨", true},           // Deseret
      {"ÄRGER", "ärger", true},
      {"I", "ı", false},  // I is the capital of ı only in Turkish
      {"smith", "Smyth", false},
      {"", "anything", true},
  };
  for (const auto& c : cases) {
    MessageFilter filter;
    filter.subject = CaseFold(c.typed);
    MessageHeader header;
    header.subject = c.subject;
    EXPECT_EQ(Passes(filter, header, kDate), c.passes) << c.typed << " in " << c.subject;
  }
}

TEST(MessageFilter, PassesAMessageThatMeetsEveryConditionGiven) {
  const MessageHeader header{"Ann <ann@example.org>", "bob@example.net", "cy@example.com", "Rates",
                             "Mon, 7 Dec 2026",       "<1@example.org>"};
  const struct {
    std::string what;
    MessageFilter filter;
    bool readable;  // whether the message file could be read
    bool dated;     // whether the command file's date is known
    bool passes;
  } cases[] = {
      {"none", {}, false, false, true},
      {"from", {.from = "ann@"}, true, true, true},
      {"to in To", {.to = "bob"}, true, true, true},
      {"to in Cc", {.to = "@example.com"}, true, true, true},
      {"to is not From", {.to = "@example.org"}, true, true, false},
      {"from and subject", {.from = "ann", .subject = "rates"}, true, true, true},
      {"from but not subject", {.from = "ann", .subject = "fees"}, true, true, false},
      {"match in From", {.match = "ann@"}, true, true, true},
      {"match in To", {.match = "bob"}, true, true, true},
      {"match in Cc", {.match = "cy@"}, true, true, true},
      {"match in Subject", {.match = "rates"}, true, true, true},
      {"match is not Date", {.match = "dec"}, true, true, false},
      {"match and from", {.from = "ann", .match = "bob"}, true, true, true},
      {"match but not from", {.from = "bob", .match = "bob"}, true, true, false},
      {"match, unreadable", {.match = ""}, false, true, false},
      {"unreadable", {.from = ""}, false, true, false},
      {"unreadable, dates only", {.after = kDate}, false, true, true},
      {"after is inclusive", {.after = kDate}, true, true, true},
      {"after", {.after = kDate + seconds(1)}, true, true, false},
      {"before is exclusive", {.before = kDate}, true, true, false},
      {"before", {.before = kDate + seconds(1)}, true, true, true},
      {"undated", {.before = kDate + seconds(1)}, true, false, false},
  };
  for (const auto& c : cases) {
    const auto shown = c.readable ? std::optional(header) : std::nullopt;
    const auto date = c.dated ? std::optional(kDate) : std::nullopt;
    EXPECT_EQ(Passes(c.filter, shown, date), c.passes) << c.what;
  }
}

TEST(ParseDateBound, ReadsADayOrATimeInLocalTimeOrUtc) {
  const struct {
    std::string typed;
    DateTime local;
  } local[] = {
      {"2026-12-07", {2026, 12, 7, 0, 0, 0}},
      {"2026-12-07 08:15", {2026, 12, 7, 8, 15, 0}},
      {"2024-02-29T23:59:59", {2024, 2, 29, 23, 59, 59}},
  };
  for (const auto& c : local) {
    const auto bound = ParseDateBound(c.typed);
    ASSERT_TRUE(bound) << c.typed;
    EXPECT_EQ(LocalDateTimeAt(bound->time_since_epoch().count()), c.local) << c.typed;
  }
  EXPECT_EQ(ParseDateBound("2026-12-07T08:00:00Z"), kDate);
  EXPECT_EQ(ParseDateBound("2026-12-07 08:00Z"), kDate);
  for (const char* typed :
       {"", "2026-12-7", "2026-13-01", "2026-02-29", "2026-12-07 24:00", "2026-12-07T08",
        "2026-12-07Z", "2026-12-07 08:15:00 ", "07.12.2026", "1969-12-31", "2026-12-07 8:15"}) {
    EXPECT_EQ(ParseDateBound(typed), std::nullopt) << typed;
  }
}

}  // namespace
}  // namespace velmoth
