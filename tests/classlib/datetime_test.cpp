// Dates and times: day numbers, invalid dates and times, the log header stamp, Now.
#include <gtest/gtest.h>

#include "classlib/datetime.h"
#include "classlib/sysutils.h"

namespace dashtune {
namespace {

TEST(DateTimeTest, EncodesTheClassicDayNumbers) {
  struct Case {
    int year, month, day;
    double value;
  };
  const Case cases[] = {{1899, 12, 30, 0}, {1900, 1, 1, 2}, {2000, 2, 29, 36585}, {1899, 12, 29, -1},
                        {2026, 12, 7, 46363}, {1, 1, 1, -693593}, {9999, 12, 31, 2958465}};
  for (const Case& c : cases) {
    EXPECT_EQ(EncodeDate(c.year, c.month, c.day), c.value) << c.year << "-" << c.month << "-" << c.day;
    int y, m, d;
    DecodeDate(c.value, y, m, d);
    EXPECT_EQ(y * 10000 + m * 100 + d, c.year * 10000 + c.month * 100 + c.day);
  }
}

TEST(DateTimeTest, InvalidDatesAndTimesRaise) {
  EXPECT_THROW(EncodeDate(2023, 2, 29), EConvertError);
  EXPECT_THROW(EncodeDate(2024, 13, 1), EConvertError);
  EXPECT_THROW(EncodeDate(0, 1, 1), EConvertError);
  EXPECT_THROW(EncodeTime(24, 0, 0, 0), EConvertError);
  EXPECT_THROW(EncodeTime(0, 0, 0, 1000), EConvertError);
}

TEST(DateTimeTest, FormatsTheLogHeaderStamp) {
  TDateTime value = EncodeDate(2026, 12, 7) + EncodeTime(4, 5, 9, 500);
  EXPECT_EQ(FormatDateTime("dd/mm/yy, hh:mm:ss", value), "07/12/26, 04:05:09");
  EXPECT_EQ(FormatDateTime("d/m/yyyy h:n:s.zzz", value), "7/12/2026 4:5:9.500");
  EXPECT_EQ(FormatDateTime("'at' hh:nn \"o'clock\"", value), "at 04:05 o'clock");
  int h, n, s, ms;
  DecodeTime(value, h, n, s, ms);
  EXPECT_EQ(ms, 500);
}

TEST(DateTimeTest, NowIsAValidDate) {
  int y, m, d;
  DecodeDate(Now(), y, m, d);
  EXPECT_GE(y, 2020);
}

}  // namespace
}  // namespace dashtune
