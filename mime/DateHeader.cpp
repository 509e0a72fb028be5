#include "mime/DateHeader.h"

#include <cstdio>
#include <ctime>

namespace postello {

namespace {

// 0 for Sunday, by the civil calendar (proleptic Gregorian).
int DayOfWeek(int year, int month, int day) {
  std::chrono::year_month_day ymd{std::chrono::year(year), std::chrono::month(static_cast<unsigned>(month)),
                                  std::chrono::day(static_cast<unsigned>(day))};
  return static_cast<int>(std::chrono::weekday(std::chrono::sys_days(ymd)).c_encoding());
}

} // namespace

TMailDateTime TMailDateTime::Local(std::chrono::system_clock::time_point moment) {
  std::time_t t = std::chrono::system_clock::to_time_t(moment);
  std::tm parts{};
  localtime_r(&t, &parts);
  TMailDateTime local;
  local.Year = parts.tm_year + 1900;
  local.Month = parts.tm_mon + 1;
  local.Day = parts.tm_mday;
  local.Hour = parts.tm_hour;
  local.Minute = parts.tm_min;
  local.Second = parts.tm_sec;
  return local;
}

int LocalZoneOffset() {
  tzset();
  std::time_t now = std::time(nullptr);
  std::tm parts{};
  localtime_r(&now, &parts);
  return static_cast<int>(parts.tm_gmtoff / 60);
}

std::string FormatMailDate(const TMailDateTime& local, int zoneOffsetMinutes) {
  static constexpr const char* days[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
  static constexpr const char* months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                           "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  const int month = local.Month >= 1 && local.Month <= 12 ? local.Month : 1;
  char zone[8] = "GMT";
  if (zoneOffsetMinutes != 0) {
    const int offset = zoneOffsetMinutes < 0 ? -zoneOffsetMinutes : zoneOffsetMinutes;
    std::snprintf(zone, sizeof zone, "%c%02d%02d", zoneOffsetMinutes < 0 ? '-' : '+',
                  (offset / 60) % 100, offset % 60);
  }
  char text[64];
  std::snprintf(text, sizeof text, "%s, %02d %s %04d %02d:%02d:%02d %s",
                days[DayOfWeek(local.Year, month, local.Day)], local.Day, months[month - 1],
                local.Year, local.Hour, local.Minute, local.Second, zone);
  return text;
}

std::string FormatMailDate(const TMailDateTime& local) {
  return FormatMailDate(local, LocalZoneOffset());
}

} // namespace postello
