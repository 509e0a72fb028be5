#include "core/MailDate.h"

#include <gtest/gtest.h>

using namespace postello;

TEST(MailDate, DayZeroIsTheThirtiethOfDecember1899) {
  EXPECT_DOUBLE_EQ(EncodeDateTime(1899, 12, 30), 0.0);
  EXPECT_DOUBLE_EQ(EncodeDateTime(1900, 1, 1), 2.0);
  EXPECT_DOUBLE_EQ(EncodeDateTime(2000, 1, 1, 12), 36526.5);
}

TEST(MailDate, GermanFormWithTimeLeftOutAtMidnight) {
  EXPECT_EQ(DateTimeToText(EncodeDateTime(2026, 12, 9, 7, 5, 3)), "09.12.2026 07:05:03");
  EXPECT_EQ(DateTimeToText(EncodeDateTime(2024, 2, 29)), "29.02.2024");
  EXPECT_EQ(DateTimeToText(0), "");
  // Milliseconds do not show; the text keeps whole seconds.
  EXPECT_EQ(DateTimeToText(EncodeDateTime(2026, 1, 1, 23, 59, 59) + 0.4 / 86400), "01.01.2026 23:59:59");
}

TEST(MailDate, ReadsGermanAndIsoForms) {
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

TEST(MailDate, RefusesOtherFormsAndImpossibleDates) {
  double dt = 0;
  for (const char* bad : {"12/24/2026", "31.02.2026", "29.02.2025", "24.12.26", "2026-13-01",
                          "24.12.2026 25:00", "24.12.2026 10:60", "24.12.2026 x", "heute",
                          "24.12.2026 10:00 PM", "1.2.3.4", "24..2026"}) {
    EXPECT_FALSE(TextToDateTime(bad, dt)) << bad;
  }
}

TEST(MailDate, TextRoundTripKeepsWholeSeconds) {
  for (double dt : {EncodeDateTime(1999, 12, 31, 23, 59, 59), EncodeDateTime(2030, 6, 15),
                    EncodeDateTime(2026, 3, 29, 2, 30, 0)}) {
    double back = 0;
    ASSERT_TRUE(TextToDateTime(DateTimeToText(dt), back));
    EXPECT_NEAR(back, dt, 1e-9);
  }
}
