#pragma once
// The Date header: "Tue, 08 Dec 2026 02:00:33 +0100", with English day and
// month names and the machine's offset from UTC; an offset of zero is
// written "GMT".
#include <chrono>
#include <string>

namespace postello {

// A local calendar date and time of day.
struct TMailDateTime {
  int Year = 1970;
  int Month = 1;  // 1 to 12
  int Day = 1;    // 1 to 31
  int Hour = 0;
  int Minute = 0;
  int Second = 0;

  // The local time of a moment, by the machine's time zone.
  static TMailDateTime Local(std::chrono::system_clock::time_point moment);
  static TMailDateTime Now() { return Local(std::chrono::system_clock::now()); }
};

// The machine's current offset from UTC in minutes (east positive), daylight
// saving time included.
int LocalZoneOffset();

// The Date header's text with the given zone offset in minutes.
std::string FormatMailDate(const TMailDateTime& local, int zoneOffsetMinutes);
// The same with the offset in force now.
std::string FormatMailDate(const TMailDateTime& local);

} // namespace postello
