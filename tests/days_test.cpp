// The days of -t: each form of its value read or refused, and the stamps that fall on its days,
// across months, New Year and leap days, whether the day is written with two digits or one.
#include "scan/days.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

namespace {

// The stamps each row is tried on, and for each row, which of them fall on its days.
const char* const stamps[] = {"05 Dec 12:34:56", " 5 Dec 12:34:56", "5 Dec",  "04 Dec", "28 Nov", "27 Nov", "31 Dec",
                              "01 Jan",          "02 Jan",          "29 Feb", "01 Mar", "5Dec",   "05 Dez", "",
                              "32 Dec"};

struct days_case {
  const char* value;
  const char* held;  // a digit for each stamp; "refused" when the value is no day
};

const days_case cases[] = {
    {"2026-12-05", "111000000000000"},
    {"2026-11-28..2026-12-04", "000110000000000"},
    {"2025-12-31..2026-01-01", "000000110000000"},
    {"2024-02", "000000000100000"},
    {"2023-02-28..2023-03-01", "000000000010000"},
    {"2026-01-01..2026-12-31", "111111111010000"},
    {"2020-01-01..2026-12-31", "111111111110000"},
    {"today", "111000000000000"},
    {"yesterday", "000100000000000"},
    {"2026-02-29", "refused"},
    {"2026-13", "refused"},
    {"2026-00-10", "refused"},
    {"2026-12-05..2026-12-04", "refused"},
    {"2026-12-05..", "refused"},
    {"2026-1-5", "refused"},
    {"26-12-05", "refused"},
    {"2026-12", "111100100000000"},
    {"Today", "refused"},
    {"", "refused"},
};

TEST(days, values_read_or_refused_and_the_stamps_they_hold) {
  ::setenv("TZ", "UTC", 1);
  const std::time_t fifth_of_december = 1733400000;  // 2024-12-05, noon
  for (const days_case& c : cases) {
    const std::optional<day_request> request = read_days(c.value);
    std::string held = "refused";
    if (request) {
      const std::optional<day_set> days = day_set::of(*request, fifth_of_december);
      ASSERT_TRUE(days) << c.value;
      held.clear();
      for (const char* stamp : stamps) held += days->holds(stamp) ? '1' : '0';
    }
    EXPECT_EQ(held, c.held) << c.value;
  }
}

}  // namespace
