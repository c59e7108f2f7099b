// The days of -t: read from its value, and the stamps that fall on them.
#include "scan/days.h"

#include <algorithm>
#include <charconv>

#include "scan/parse.h"

namespace {

bool leap(int year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

int days_in(int year, int month) {
  constexpr int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return days[month - 1] + (month == 2 && leap(year) ? 1 : 0);
}

// Reads a number of exactly `digits` digits from the front of text, dropping them.
std::optional<int> number(std::string_view& text, std::size_t digits) {
  int value = 0;
  if (text.size() < digits || !std::all_of(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(digits),
                                           [](char c) { return c >= '0' && c <= '9'; }))
    return std::nullopt;
  std::from_chars(text.data(), text.data() + digits, value);
  text.remove_prefix(digits);
  return value;
}

// Reads "YYYY-MM" and, with `day`, "-DD" after it, from the front of text, dropping them.
std::optional<date> read_date(std::string_view& text, bool day) {
  date d;
  const std::optional<int> year = number(text, 4);
  if (!year || !text.starts_with('-')) return std::nullopt;
  text.remove_prefix(1);
  const std::optional<int> month = number(text, 2);
  if (!month || *month < 1 || *month > 12) return std::nullopt;
  d = {*year, *month, 1};
  if (!day) return d;
  if (!text.starts_with('-')) return std::nullopt;
  text.remove_prefix(1);
  const std::optional<int> mday = number(text, 2);
  if (!mday || *mday < 1 || *mday > days_in(*year, *month)) return std::nullopt;
  d.day = *mday;
  return d;
}

// The bit of a day of the month in a day_set.
std::size_t bit_of(int month, int day) {
  return static_cast<std::size_t>(month - 1) * 32 + static_cast<std::size_t>(day);
}

bool before(date a, date b) {
  return a.year != b.year ? a.year < b.year : a.month != b.month ? a.month < b.month : a.day < b.day;
}

// The day after d.
date next(date d) {
  if (d.day < days_in(d.year, d.month)) return {d.year, d.month, d.day + 1};
  if (d.month < 12) return {d.year, d.month + 1, 1};
  return {d.year + 1, 1, 1};
}

}  // namespace

std::optional<day_request> read_days(std::string_view value) {
  if (value == "today") return day_request{day_request::kind::today, {}, {}};
  if (value == "yesterday") return day_request{day_request::kind::yesterday, {}, {}};
  std::string_view rest = value;
  if (rest.size() == 7) {
    const std::optional<date> month = read_date(rest, false);
    if (!month || !rest.empty()) return std::nullopt;
    return day_request{
        day_request::kind::span, *month, {month->year, month->month, days_in(month->year, month->month)}};
  }
  const std::optional<date> first = read_date(rest, true);
  if (!first) return std::nullopt;
  if (rest.empty()) return day_request{day_request::kind::span, *first, *first};
  if (!rest.starts_with("..")) return std::nullopt;
  rest.remove_prefix(2);
  const std::optional<date> last = read_date(rest, true);
  if (!last || !rest.empty() || before(*last, *first)) return std::nullopt;
  return day_request{day_request::kind::span, *first, *last};
}

std::optional<day_set> day_set::of(const day_request& request, std::time_t now) {
  day_set set;
  if (request.what == day_request::kind::span) {
    set.add(request.first, request.last);
    return set;
  }
  std::tm local{};
  if (localtime_r(&now, &local) == nullptr) return std::nullopt;
  if (request.what == day_request::kind::yesterday) {
    // Noon keeps a change of summer time from moving the day.
    local.tm_mday -= 1;
    local.tm_hour = 12;
    local.tm_isdst = -1;
    if (std::mktime(&local) == -1) return std::nullopt;
  }
  const date day{local.tm_year + 1900, local.tm_mon + 1, local.tm_mday};
  set.add(day, day);
  return set;
}

void day_set::add(date first, date last) {
  // A year and a day hold every day that a stamp can tell.
  for (int n = 0; n <= 366 && !before(last, first); ++n, first = next(first)) days_.set(bit_of(first.month, first.day));
}

bool day_set::holds(std::string_view stamp) const {
  stamp.remove_prefix(std::min(stamp.size(), stamp.find_first_not_of(' ')));
  int day = 0;
  const auto [end, error] = std::from_chars(stamp.data(), stamp.data() + std::min<std::size_t>(stamp.size(), 2), day);
  if (error != std::errc() || day < 1 || day > 31) return false;
  stamp.remove_prefix(static_cast<std::size_t>(end - stamp.data()));
  if (!stamp.starts_with(' ')) return false;
  stamp.remove_prefix(std::min(stamp.size(), stamp.find_first_not_of(' ')));
  const auto* const month =
      std::find_if(mnames.begin(), mnames.end(), [&](std::string_view m) { return stamp.starts_with(m); });
  if (month == mnames.end()) return false;
  return days_.test(bit_of(static_cast<int>(month - mnames.begin()) + 1, day));
}
