#include "core/StoredDateTime.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>

using namespace postello;

TEST(StoredDateTime, DayZeroIsTheThirtiethOfDecember1899) {
  EXPECT_DOUBLE_EQ(EncodeDateTime(1899, 12, 30), 0.0);
  EXPECT_DOUBLE_EQ(EncodeDateTime(1900, 1, 1), 2.0);
  EXPECT_DOUBLE_EQ(EncodeDateTime(2000, 1, 1, 12), 36526.5);
}

TEST(StoredDateTime, GermanFormWithTimeLeftOutAtMidnight) {
  EXPECT_EQ(DateTimeToText(EncodeDateTime(2026, 12, 9, 7, 5, 3)), "09.12.2026 07:05:03");
  EXPECT_EQ(DateTimeToText(EncodeDateTime(2024, 2, 29)), "29.02.2024");
  EXPECT_EQ(DateTimeToText(0), "");
  // Milliseconds do not show; the text keeps whole seconds.
  EXPECT_EQ(DateTimeToText(EncodeDateTime(2026, 1, 1, 23, 59, 59) + 0.4 / 86400), "01.01.2026 23:59:59");
}

TEST(StoredDateTime, ReadsGermanAndIsoForms) {
  double dt = -1;
  ASSERT_TRUE(TextToDateTime("09.12.2026 07:05:03", dt));
  EXPECT_DOUBLE_EQ(dt, EncodeDateTime(2026, 12, 9, 7, 5, 3));
  ASSERT_TRUE(TextToDateTime("9.1.2026 7:05", dt));
  EXPECT_DOUBLE_EQ(dt, EncodeDateTime(2026, 1, 9, 7, 5));
  ASSERT_TRUE(TextToDateTime("2026-12-09 07:05:03", dt));
  EXPECT_DOUBLE_EQ(dt, EncodeDateTime(2026, 12, 9, 7, 5, 3));
  ASSERT_TRUE(TextToDateTime("2026-12-09T07:05:03", dt));
  ASSERT_TRUE(TextToDateTime("2026-12-09", dt));
  EXPECT_DOUBLE_EQ(dt, EncodeDateTime(2026, 12, 9));
  ASSERT_TRUE(TextToDateTime("", dt));
  EXPECT_EQ(dt, 0);
}

TEST(StoredDateTime, RefusesOtherFormsAndImpossibleDates) {
  double dt = 0;
  for (const char* bad : {"12/24/2026", "31.02.2026", "29.02.2025", "2026-13-01",
                          "24.12.2026 25:00", "24.12.2026 10:60", "24.12.2026 x", "heute",
                          "24.12.2026 10:00 PM", "1.2.3.4", "24..2026"}) {
    EXPECT_FALSE(TextToDateTime(bad, dt)) << bad;
  }
}

TEST(StoredDateTime, TextRoundTripKeepsWholeSeconds) {
  for (double dt : {EncodeDateTime(1999, 12, 31, 23, 59, 59), EncodeDateTime(2030, 6, 15),
                    EncodeDateTime(2026, 3, 29, 2, 30, 0)}) {
    double back = 0;
    ASSERT_TRUE(TextToDateTime(DateTimeToText(dt), back));
    EXPECT_NEAR(back, dt, 1e-9);
  }
}

TEST(StoredDateTime, TwoDigitYearsLieWithinFiftyYearsOfTheGivenYear) {
  const struct {
    const char* text;
    int referenceYear;
    int year;
  } rows[] = {
      {"08.12.26 14:05:00", 2026, 2026}, {"08.12.76", 2026, 1976}, {"08.12.75", 2026, 2075},
      {"08.12.00", 2026, 2000},          {"1.1.99", 2026, 1999},   {"08.12.49", 1999, 1949}, {"08.12.48", 1999, 2048},
      {"08.12.50", 2000, 1950},          {"08.12.49", 2000, 2049}, {"29.02.00 00:00", 2026, 2000},
  };
  for (const auto& row : rows) {
    double dt = 0;
    ASSERT_TRUE(TextToDateTime(row.text, dt, row.referenceYear)) << row.text;
    EXPECT_EQ(DateTimeToText(dt).substr(6, 4), std::to_string(row.year)) << row.text;
  }
  double dt = 0;
  ASSERT_TRUE(TextToDateTime("08.12.26 14:05:00", dt, 2026));
  EXPECT_DOUBLE_EQ(dt, EncodeDateTime(2026, 12, 8, 14, 5, 0));
  // 29 February of a two-digit year is checked in the chosen century.
  EXPECT_FALSE(TextToDateTime("29.02.00", dt, 1950));  // 1900
}

TEST(StoredDateTime, TwoDigitYearOfTheShortGermanFormUsesTodaysCentury) {
  // "08.12.26 14:05:00" as older German systems wrote it: the year comes
  // out within 50 years of the present one.
  double dt = 0;
  ASSERT_TRUE(TextToDateTime("08.12.26 14:05:00", dt));
  const std::string text = DateTimeToText(dt);
  ASSERT_EQ(text.size(), 19u) << text;
  EXPECT_EQ(text.substr(0, 6), "08.12.");
  EXPECT_EQ(text.substr(8), "26 14:05:00");
  const int year = std::stoi(text.substr(6, 4));
  std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  EXPECT_LE(std::abs(year - (local.tm_year + 1900)), 50) << text;
}

TEST(StoredDateTime, LeapDaysOfCenturyYears) {
  double dt = 0;
  EXPECT_TRUE(TextToDateTime("29.02.2000", dt));
  EXPECT_EQ(DateTimeToText(dt), "29.02.2000");
  EXPECT_FALSE(TextToDateTime("29.02.1900", dt));
  EXPECT_FALSE(TextToDateTime("29.02.2100", dt));
  EXPECT_TRUE(TextToDateTime("29.02.1600 12:00", dt));
  EXPECT_TRUE(TextToDateTime("28.02.1900 23:59:59", dt));
  EXPECT_EQ(DateTimeToText(dt), "28.02.1900 23:59:59");
}

TEST(StoredDateTime, DatesBeforeDayZeroKeepTheirTimeOfDay) {
  // Before 30.12.1899 the day count is negative and the time of day still
  // counts forward from midnight; once it shifted on every save.
  for (const char* text : {"08.12.0226 14:30:05", "29.12.1899 06:00:00", "29.12.1899 18:00:00",
                           "01.01.0001 00:00:01", "31.12.1899 12:00:00", "30.12.1899 12:00:00",
                           "28.02.1800 23:59:59"}) {
    double dt = 0;
    ASSERT_TRUE(TextToDateTime(text, dt)) << text;
    EXPECT_EQ(DateTimeToText(dt), text);
    double again = 0;
    ASSERT_TRUE(TextToDateTime(DateTimeToText(dt), again));
    EXPECT_EQ(DateTimeToText(again), text);
  }
  // The stored form: the whole days, then the time of day away from zero.
  EXPECT_DOUBLE_EQ(EncodeDateTime(1899, 12, 29, 6), -1.25);
  EXPECT_DOUBLE_EQ(EncodeDateTime(1899, 12, 28, 18), -2.75);
  EXPECT_EQ(DateTimeToText(-1.25), "29.12.1899 06:00:00");
}
