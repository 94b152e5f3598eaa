// The date-time text the requeue stamp is read back through, and the copies
// between a DateTime and the calendar record.
#include "time/system_time.h"

#include <gtest/gtest.h>

#include <ostream>
#include <stdexcept>

namespace velmoth {
namespace {

struct TextCase {
  const char* text;
  DateTime date;
  const char* written;  // what DateTimeText makes of the date
};

void PrintTo(const TextCase& c, std::ostream* os) { *os << '"' << c.text << '"'; }

class DateTimeTextReads : public testing::TestWithParam<TextCase> {};

TEST_P(DateTimeTextReads, AndWritesBackTheShortForm) {
  const TextCase& c = GetParam();
  EXPECT_EQ(ParseDateTimeText(c.text), c.date);
  EXPECT_EQ(DateTimeText(c.date), c.written);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, DateTimeTextReads,
    testing::Values(TextCase{"2002-12-7 6:39:05", {2002, 12, 7, 6, 39, 5}, "2002-12-7 6:39:05"},
                    TextCase{"2003-1-2 3:04:05", {2003, 1, 2, 3, 4, 5}, "2003-1-2 3:04:05"},
                    TextCase{"2002-12-7", {2002, 12, 7, 0, 0, 0}, "2002-12-7"},
                    TextCase{"2002-12-7 0:00:00", {2002, 12, 7, 0, 0, 0}, "2002-12-7"},
                    TextCase{"2002-12-7 0:00:01", {2002, 12, 7, 0, 0, 1}, "2002-12-7 0:00:01"},
                    TextCase{"2002-12-07 06:39:05", {2002, 12, 7, 6, 39, 5}, "2002-12-7 6:39:05"},
                    TextCase{"2000-2-29 23:59:59", {2000, 2, 29, 23, 59, 59}, "2000-2-29 23:59:59"},
                    TextCase{"2106-2-7 6:28:16", {2106, 2, 7, 6, 28, 16}, "2106-2-7 6:28:16"}));

class DateTimeTextRejects : public testing::TestWithParam<const char*> {};

TEST_P(DateTimeTextRejects, WithInvalidArgument) {
  EXPECT_THROW(ParseDateTimeText(GetParam()), std::invalid_argument);
}

INSTANTIATE_TEST_SUITE_P(Texts, DateTimeTextRejects,
                         testing::Values("", "2002", "2002-12", "2002-12-", " 2002-12-7",
                                         "2002-12-7 ", "+2002-12-7", "-2002-12-7", "2002/12/7",
                                         "2002-12-7T6:39:05", "2002-12-7 6:39", "2002-12-7 6:9:05",
                                         "2002-12-7 6:39:5", "2002-12-7 6:39:05x",
                                         "2002-12-7 6:39:05.0", "2002-123-7", "12002-12-7", "0-1-1",
                                         "2002-0-7", "2002-13-7", "2002-12-0", "2002-4-31",
                                         "2001-2-29", "1900-2-29", "2002-12-7 24:00:00",
                                         "2002-12-7 6:60:00", "2002-12-7 6:39:60"));

TEST(SystemTimeToDate, ReadsTheRecordThroughTheText) {
  SYSTEMTIME st{};
  st.wDayOfWeek = 3;
  st.wMilliseconds = 999;
  DateToSystemTime({2003, 1, 2, 3, 4, 5}, st);
  EXPECT_EQ(st.wDayOfWeek, 3);
  EXPECT_EQ(st.wMilliseconds, 999);
  EXPECT_EQ(SystemTimeToDate(st), (DateTime{2003, 1, 2, 3, 4, 5}));

  for (const DateTime& bad :
       {DateTime{}, DateTime{2002, 2, 30, 0, 0, 0}, DateTime{2002, 12, 7, 6, 100, 0}}) {
    SYSTEMTIME record{};
    DateToSystemTime(bad, record);
    EXPECT_THROW(SystemTimeToDate(record), std::invalid_argument) << DateTimeText(bad);
  }
  EXPECT_THROW(DateToSystemTime({70000, 1, 1, 0, 0, 0}, st), std::invalid_argument);
}

}  // namespace
}  // namespace velmoth
