#include <oleauto.h>

#include <gtest/gtest.h>

#include <cmath>

namespace {

SYSTEMTIME Time(WORD year, WORD month, WORD day, WORD hour = 0, WORD minute = 0, WORD second = 0) {
  SYSTEMTIME t{};
  t.wYear = year;
  t.wMonth = month;
  t.wDay = day;
  t.wHour = hour;
  t.wMinute = minute;
  t.wSecond = second;
  return t;
}

bool SameTime(const SYSTEMTIME& a, const SYSTEMTIME& b) {
  return a.wYear == b.wYear && a.wMonth == b.wMonth && a.wDay == b.wDay && a.wHour == b.wHour &&
         a.wMinute == b.wMinute && a.wSecond == b.wSecond;
}

TEST(VariantTime, KnownDatesBothWays) {
  struct Case {
    SYSTEMTIME time;
    double date;
    WORD dayOfWeek;
  };
  const Case cases[] = {
      {Time(1899, 12, 30), 0.0, 6},       {Time(1900, 1, 1), 2.0, 1},
      {Time(2024, 6, 2), 45445.0, 0},      // a Sunday
      {Time(2024, 6, 1, 12), 45444.5, 6},  // a Saturday, at noon
      {Time(1899, 12, 29, 6), -1.25, 5},   // before day 0 the time still runs forwards
      {Time(100, 1, 1), -657434.0, 5},    {Time(2000, 2, 29, 18), 36585.75, 2},
      {Time(100, 1, 1, 18), -657434.75, 5},  // the first day's times lie below its midnight
      {Time(100, 1, 1, 0, 0, 1), -657434.0 - 1.0 / 86400, 5},
  };
  for (const Case& c : cases) {
    SYSTEMTIME in = c.time;
    double date = 0;
    ASSERT_TRUE(SystemTimeToVariantTime(&in, &date));
    EXPECT_DOUBLE_EQ(date, c.date) << c.time.wYear << "-" << c.time.wMonth << "-" << c.time.wDay;
    SYSTEMTIME out{};
    ASSERT_TRUE(VariantTimeToSystemTime(c.date, &out));
    EXPECT_TRUE(SameTime(out, c.time)) << c.date;
    EXPECT_EQ(out.wDayOfWeek, c.dayOfWeek) << c.date;
    EXPECT_EQ(out.wMilliseconds, 0);
  }
}

TEST(VariantTime, WholeSecondsRoundTripExactly) {
  // Days spread over the whole range, each at a different time of day.
  int checked = 0;
  for (double day = -657434; day < 2958465; day += 997) {
    SYSTEMTIME start{};
    ASSERT_TRUE(VariantTimeToSystemTime(day, &start));
    start.wHour = static_cast<WORD>(checked % 24);
    start.wMinute = static_cast<WORD>(checked * 7 % 60);
    start.wSecond = static_cast<WORD>(checked * 13 % 60);
    double date = 0;
    ASSERT_TRUE(SystemTimeToVariantTime(&start, &date));
    SYSTEMTIME back{};
    ASSERT_TRUE(VariantTimeToSystemTime(date, &back));
    ASSERT_TRUE(SameTime(back, start)) << date;
    ++checked;
  }
  EXPECT_GT(checked, 3000);
}

TEST(VariantTime, RoundsToTheNearestSecondAcrossMidnight) {
  SYSTEMTIME t{};
  ASSERT_TRUE(VariantTimeToSystemTime(45445 + 86399.6 / 86400, &t));
  EXPECT_TRUE(SameTime(t, Time(2024, 6, 3)));
  EXPECT_EQ(t.wDayOfWeek, 1);
  ASSERT_TRUE(VariantTimeToSystemTime(45445 + 86399.4 / 86400, &t));
  EXPECT_TRUE(SameTime(t, Time(2024, 6, 2, 23, 59, 59)));
}

TEST(VariantTime, RefusesImpossibleValues) {
  for (SYSTEMTIME bad : {Time(2024, 13, 1), Time(2024, 0, 1), Time(2023, 2, 29), Time(2024, 4, 31),
                         Time(2024, 1, 0), Time(2024, 1, 1, 24), Time(2024, 1, 1, 0, 60),
                         Time(2024, 1, 1, 0, 0, 60), Time(99, 12, 31), Time(10000, 1, 1)}) {
    double date = 0;
    EXPECT_FALSE(SystemTimeToVariantTime(&bad, &date)) << bad.wYear << "-" << bad.wMonth;
  }
  SYSTEMTIME t{};
  for (double bad : {std::nan(""), double(INFINITY), -657435.0, -657435.5, 2958466.0})
    EXPECT_FALSE(VariantTimeToSystemTime(bad, &t)) << bad;
}

}  // namespace
