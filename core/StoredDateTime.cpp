#include "core/StoredDateTime.h"

#include <cctype>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <vector>

namespace postello {
namespace {

// Days from 1970-01-01 to a civil date (proleptic Gregorian).
long long DaysFromCivil(long long y, unsigned m, unsigned d) {
  y -= m <= 2;
  const long long era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<long long>(doe) - 719468;
}

void CivilFromDays(long long z, int& y, int& m, int& d) {
  z += 719468;
  const long long era = (z >= 0 ? z : z - 146096) / 146097;
  const unsigned doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const long long yy = static_cast<long long>(yoe) + era * 400;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  y = static_cast<int>(yy + (m <= 2));
}

// 1899-12-30 is day 0 of the stored form.
const long long kEpochShift = DaysFromCivil(1899, 12, 30);

bool ValidDate(int y, int m, int d) {
  if (y < 1 || y > 9999 || m < 1 || m > 12 || d < 1) return false;
  static const int len[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
  return d <= len[m - 1] + (m == 2 && leap ? 1 : 0);
}

// Splits digits separated by single separator characters; returns the
// numbers and the separators between them.
bool Numbers(std::string_view s, std::vector<int>& nums, std::string& seps) {
  std::size_t i = 0;
  while (i < s.size()) {
    if (!std::isdigit(static_cast<unsigned char>(s[i]))) return false;
    long v = 0;
    std::size_t digits = 0;
    while (i < s.size() && std::isdigit(static_cast<unsigned char>(s[i]))) {
      v = v * 10 + (s[i] - '0');
      if (++digits > 4) return false;
      ++i;
    }
    nums.push_back(static_cast<int>(v));
    if (i < s.size()) seps += s[i++];
    if (i == s.size() && seps.size() == nums.size()) return false; // trailing separator
  }
  return true;
}

} // namespace

double EncodeDateTime(int year, int month, int day, int hour, int minute, int second) {
  const long long days = DaysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day)) - kEpochShift;
  const double time = (hour * 3600 + minute * 60 + second) / 86400.0;
  return days < 0 ? static_cast<double>(days) - time : static_cast<double>(days) + time;
}

double NowDateTime() {
  const std::time_t t = std::time(nullptr);
  std::tm lt{};
  localtime_r(&t, &lt);
  return EncodeDateTime(lt.tm_year + 1900, lt.tm_mon + 1, lt.tm_mday, lt.tm_hour, lt.tm_min, lt.tm_sec);
}

std::string DateTimeToText(double dt) {
  if (dt == 0 || !std::isfinite(dt)) return {};
  const double whole = std::trunc(dt);
  // The time of day to the millisecond, as the stored form rounds it; the
  // text shows whole seconds.
  long long ms = std::llround(std::fabs(dt - whole) * 86400000.0);
  long long days = static_cast<long long>(whole);
  if (ms >= 86400000) {
    ms -= 86400000;
    ++days;
  }
  int y = 0, m = 0, d = 0;
  CivilFromDays(days + kEpochShift, y, m, d);
  char buf[40];
  const long long secs = ms / 1000;
  if (secs == 0 && ms == 0) {
    std::snprintf(buf, sizeof buf, "%02d.%02d.%04d", d, m, y);
  } else {
    std::snprintf(buf, sizeof buf, "%02d.%02d.%04d %02lld:%02lld:%02lld", d, m, y, secs / 3600,
                  secs / 60 % 60, secs % 60);
  }
  return buf;
}

bool TextToDateTime(std::string_view text, double& dt) {
  const std::time_t t = std::time(nullptr);
  std::tm lt{};
  localtime_r(&t, &lt);
  return TextToDateTime(text, dt, lt.tm_year + 1900);
}

bool TextToDateTime(std::string_view text, double& dt, int currentYear) {
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
  if (text.empty()) {
    dt = 0;
    return true;
  }
  std::string_view datePart = text, timePart;
  const auto cut = text.find_first_of(" T");
  if (cut != std::string_view::npos) {
    datePart = text.substr(0, cut);
    timePart = text.substr(cut + 1);
    while (!timePart.empty() && timePart.front() == ' ') timePart.remove_prefix(1);
    if (timePart.empty()) return false;
  }
  std::vector<int> dn;
  std::string ds;
  if (!Numbers(datePart, dn, ds) || dn.size() != 3) return false;
  int y, m, d;
  if (ds == "..") {
    d = dn[0], m = dn[1], y = dn[2];
    const std::size_t yearDigits = datePart.size() - datePart.rfind('.') - 1;
    if (yearDigits <= 2) {
      // The century window: from 50 years back to 49 years ahead.
      const int base = currentYear - 50;
      y += base / 100 * 100;
      if (y < base) y += 100;
    } else if (yearDigits != 4) {
      return false;
    }
  } else if (ds == "--") {
    y = dn[0], m = dn[1], d = dn[2];
    if (datePart.find('-') != 4) return false;
  } else {
    return false;
  }
  if (!ValidDate(y, m, d)) return false;
  int hh = 0, mm = 0, ss = 0;
  if (!timePart.empty()) {
    std::vector<int> tn;
    std::string ts;
    if (!Numbers(timePart, tn, ts) || tn.size() < 2 || tn.size() > 3) return false;
    if (ts.find_first_not_of(':') != std::string::npos) return false;
    hh = tn[0], mm = tn[1], ss = tn.size() == 3 ? tn[2] : 0;
    if (hh > 23 || mm > 59 || ss > 59) return false;
  }
  dt = EncodeDateTime(y, m, d, hh, mm, ss);
  return true;
}

} // namespace postello
