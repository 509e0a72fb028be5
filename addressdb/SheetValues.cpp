#include "addressdb/SheetValues.h"

#include "addressdb/AddressDb.h"

#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdio>

namespace postello {

namespace {

bool ParseDouble(std::string_view s, double& value) {
  s = TrimSpaces(s);
  if (!s.empty() && s.front() == '+') s.remove_prefix(1);
  const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), value);
  return !s.empty() && ec == std::errc() && end == s.data() + s.size() && std::isfinite(value);
}

std::string DayMonthYear(std::chrono::year_month_day d) {
  if (!d.ok()) return {};
  char text[16];
  std::snprintf(text, sizeof text, "%02u.%02u.%04d", static_cast<unsigned>(d.day()),
                static_cast<unsigned>(d.month()), static_cast<int>(d.year()));
  return text;
}

} // namespace

std::string FormatSheetNumber(std::string_view stored) {
  double v;
  if (!ParseDouble(stored, v)) return std::string(stored);
  char text[40];
  if (v == std::floor(v) && std::fabs(v) < 1e15) {
    std::snprintf(text, sizeof text, "%.0f", v == 0 ? 0.0 : v);
  } else {
    std::snprintf(text, sizeof text, "%.15g", v);
  }
  std::string out = text;
  for (char& c : out) {
    if (c == '.') c = ',';
    if (c == 'e') c = 'E';  // as spreadsheets show it: 1E+20
  }
  return out;
}

std::string FormatSerialDate(std::string_view stored, bool date1904) {
  using namespace std::chrono;
  double v;
  // Years 1900 to 9999 only; anything else is shown as the number it is.
  if (!ParseDouble(stored, v) || v < 1 || v >= 2958466) return FormatSheetNumber(stored);
  long days = static_cast<long>(std::floor(v));
  sys_days base;
  if (date1904) {
    base = sys_days(year(1904) / January / 1);
  } else {
    // Excel counts a 29 February 1900 that never was: serials from 61 on
    // count from 30 December 1899, the ones before from the day after.
    base = sys_days(year(1899) / December / (days < 61 ? 31 : 30));
    if (days == 60) return "29.02.1900";
  }
  return DayMonthYear(year_month_day(base + std::chrono::days(days)));
}

std::string FormatIsoDate(std::string_view stored) {
  int y = 0;
  unsigned m = 0, d = 0;
  if (stored.size() >= 10 && stored[4] == '-' && stored[7] == '-' &&
      std::sscanf(std::string(stored.substr(0, 10)).c_str(), "%4d-%2u-%2u", &y, &m, &d) == 3) {
    const std::string out = DayMonthYear(std::chrono::year_month_day(
        std::chrono::year(y), std::chrono::month(m), std::chrono::day(d)));
    if (!out.empty()) return out;
  }
  return std::string(stored);
}

bool IsDateFormatCode(std::string_view code) {
  for (std::size_t i = 0; i < code.size(); ++i) {
    const char c = code[i];
    if (c == '"') {
      const std::size_t end = code.find('"', i + 1);
      if (end == std::string_view::npos) return false;
      i = end;
    } else if (c == '[') {
      const std::size_t end = code.find(']', i + 1);
      if (end == std::string_view::npos) return false;
      i = end;
    } else if (c == '\\') {
      ++i;
    } else if (c == 'd' || c == 'D' || c == 'y' || c == 'Y') {
      return true;
    }
  }
  return false;
}

int ZeroPaddingOfFormatCode(std::string_view code) {
  if (code.empty() || code.size() > 30 || code.find_first_not_of('0') != std::string_view::npos) return 0;
  return static_cast<int>(code.size());
}

} // namespace postello
