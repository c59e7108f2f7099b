// The days whose sessions a run keeps, as -t names them, and the stamps that fall on them.
#pragma once

#include <bitset>
#include <ctime>
#include <optional>
#include <string_view>

// A day of the calendar.
struct date {
  int year = 0;
  int month = 0;  // 1 to 12
  int day = 0;    // 1 to the month's last
};

// The days -t asks for: today or yesterday, as the run's clock tells them, or the days from
// `first` to `last`, a day, a range of days or a month.
struct day_request {
  enum class kind { today, yesterday, span };
  kind what = kind::span;
  date first;
  date last;
};

// Reads the value of -t: "today", "yesterday", a day "2026-12-05", a range "2026-11-28..2026-12-04"
// (its first day no later than its last) or a month "2026-11"; none for anything else.
std::optional<day_request> read_days(std::string_view value);

// What -t expects, told when its value is none of these.
inline constexpr std::string_view days_expected =
    "-t takes today, yesterday, a day (2026-12-05), a range of days (2026-11-28..2026-12-04) or a month (2026-11)";

// Days told by their month and day alone, as the log's stamps write them with no year.
class day_set {
 public:
  // The days of a request, `now` telling today in the local time zone; none when the clock
  // cannot be broken down.
  static std::optional<day_set> of(const day_request& request, std::time_t now);
  // Whether a stamp falls on one of the days: its first words are a day of the month, of one or
  // two digits, and a month's name ("05 Dec", " 5 Dec").
  bool holds(std::string_view stamp) const;

 private:
  // Adds the days from first to last.
  void add(date first, date last);

  std::bitset<std::size_t{12} * 32> days_;  // bit 32 * (month - 1) + day
};
