#include "time_text.hpp"

#include <array>
#include <charconv>
#include <cstdio>

namespace vlauth_tool {
namespace {

constexpr std::int64_t kSecondsPerDay = 86400;

struct CivilDate {
  std::int64_t year;
  int month;  // 1..12
  int day;    // 1..31
};

// Days since 1970-01-01 of a proleptic Gregorian date, and back (the well-known era
// arithmetic: 400-year eras of 146097 days, years counted from March).
std::int64_t days_from_civil(std::int64_t y, int m, int d) {
  y -= m <= 2 ? 1 : 0;
  const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
  const std::int64_t yoe = y - era * 400;
  const std::int64_t doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
  const std::int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

CivilDate civil_from_days(std::int64_t z) {
  z += 719468;
  const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const std::int64_t doe = z - era * 146097;
  const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const std::int64_t mp = (5 * doy + 2) / 153;
  const auto d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  const auto m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  return {yoe + era * 400 + (m <= 2 ? 1 : 0), m, d};
}

bool is_leap(std::int64_t y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

int days_in_month(std::int64_t y, int m) {
  static constexpr std::array<int, 12> kDays{31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return m == 2 && is_leap(y) ? 29 : kDays[static_cast<std::size_t>(m - 1)];
}

// Exactly `width` decimal digits at `text[pos]`, or -1.
int fixed_digits(std::string_view text, std::size_t pos, std::size_t width) {
  if (text.size() < pos + width) return -1;
  int value = 0;
  for (std::size_t i = pos; i < pos + width; ++i) {
    const char c = text[i];
    if (c < '0' || c > '9') return -1;
    value = value * 10 + (c - '0');
  }
  return value;
}

std::string plural(std::uint64_t n, const char *unit) {
  return std::to_string(n) + " " + unit + (n == 1 ? "" : "s");
}

}  // namespace

std::string iso8601_utc(std::int64_t seconds) {
  std::int64_t days = seconds / kSecondsPerDay;
  std::int64_t rest = seconds % kSecondsPerDay;
  if (rest < 0) {
    rest += kSecondsPerDay;
    days -= 1;
  }
  const CivilDate date = civil_from_days(days);
  const auto hh = static_cast<int>(rest / 3600);
  const auto mm = static_cast<int>(rest / 60 % 60);
  const auto ss = static_cast<int>(rest % 60);
  char year[32];
  if (date.year >= 0 && date.year <= 9999) {
    std::snprintf(year, sizeof year, "%04lld", static_cast<long long>(date.year));
  } else {
    std::snprintf(year, sizeof year, "%+lld", static_cast<long long>(date.year));
  }
  char out[80];
  std::snprintf(out, sizeof out, "%s-%02d-%02dT%02d:%02d:%02dZ", year, date.month, date.day, hh,
                mm, ss);
  return out;
}

std::string duration_text(std::uint64_t seconds) {
  constexpr std::uint64_t kMinute = 60, kHour = 3600, kDay = 86400, kYear = 365 * kDay;
  auto with = [](std::string first, std::uint64_t n, const std::string &second) {
    return n == 0 ? first : first + " " + second;
  };
  if (seconds < kMinute) return std::to_string(seconds) + " s";
  if (seconds < kHour) {
    const std::uint64_t s = seconds % kMinute;
    return with(std::to_string(seconds / kMinute) + " min", s, std::to_string(s) + " s");
  }
  if (seconds < kDay) {
    const std::uint64_t m = seconds % kHour / kMinute;
    return with(std::to_string(seconds / kHour) + " h", m, std::to_string(m) + " min");
  }
  if (seconds < kYear) {
    const std::uint64_t h = seconds % kDay / kHour;
    return with(plural(seconds / kDay, "day"), h, std::to_string(h) + " h");
  }
  const std::uint64_t d = seconds % kYear / kDay;
  return with(plural(seconds / kYear, "year"), d, plural(d, "day"));
}

std::uint64_t distance(std::int64_t from, std::int64_t to) {
  // Unsigned arithmetic is modular, so the difference is exact whatever the signs.
  const auto a = static_cast<std::uint64_t>(from);
  const auto b = static_cast<std::uint64_t>(to);
  return to >= from ? b - a : a - b;
}

std::optional<std::int64_t> parse_time(std::string_view text) {
  if (text.empty()) return std::nullopt;
  const bool stamp = text.size() == 10 || text.size() == 20;
  if (!stamp || text[4] != '-') {
    std::int64_t value = 0;
    const char *first = text.data();
    const char *last = first + text.size();
    const auto [end, error] = std::from_chars(first, last, value);
    if (error != std::errc() || end != last) return std::nullopt;
    return value;
  }
  const int y = fixed_digits(text, 0, 4);
  const int m = fixed_digits(text, 5, 2);
  const int d = fixed_digits(text, 8, 2);
  if (y < 0 || text[7] != '-' || m < 1 || m > 12 || d < 1 || d > days_in_month(y, m)) {
    return std::nullopt;
  }
  std::int64_t seconds = days_from_civil(y, m, d) * kSecondsPerDay;
  if (text.size() == 20) {
    const int hh = fixed_digits(text, 11, 2);
    const int mi = fixed_digits(text, 14, 2);
    const int ss = fixed_digits(text, 17, 2);
    if (text[10] != 'T' || text[13] != ':' || text[16] != ':' || text[19] != 'Z' || hh < 0 ||
        hh > 23 || mi < 0 || mi > 59 || ss < 0 || ss > 59) {
      return std::nullopt;
    }
    seconds += hh * 3600 + mi * 60 + ss;
  }
  return seconds;
}

}  // namespace vlauth_tool
