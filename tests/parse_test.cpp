#include "parse.h"

#include <gtest/gtest.h>

#include <limits>

namespace {

constexpr std::int64_t max = std::numeric_limits<std::int64_t>::max();
constexpr std::int64_t min = std::numeric_limits<std::int64_t>::min();

struct expected {
  std::string stamp, address;
  char dir;
  std::int64_t sent, rcvd;
};

struct line_case {
  std::string line;
  std::optional<expected> result;
};

const line_case lines[] = {
    {"+ 05 Dec 12:34:56 [77] done (from 9:99/9@testnet, OK (120/345 bytes))\n",
     expected{"05 Dec 12:34:56 ", " 9:99/9", 'i', 120, 345}},
    {"+ 05 Dec 12:34:56 [77] done (to 9:99/9@testnet, OK (1/2 bytes))\n",
     expected{"05 Dec 12:34:56 ", " 9:99/9", 'o', 1, 2}},
    {"+ 05 Dec 12:34:56 [77] dune (from 9:99/9@testnet, OK (1/2 bytes))\n", std::nullopt},
    // The direction word: the last lower-case 'f' or 't' decides; a tab does not end it.
    {"+ d [1] done (xyz a, OK (1/2 bytes))", expected{"d ", " a", 'u', 1, 2}},
    {"+ d [1] done (FROM a, OK (1/2 bytes))", expected{"d ", " a", 'u', 1, 2}},
    {"+ d [1] done (fast a, OK (1/2 bytes))", expected{"d ", " a", 'o', 1, 2}},
    {"+ d [1] done (9:99/9@testnet, OK (1/2 bytes))", expected{"d ", "", 'o', 1, 2}},
    {"+ d [1] done (from\t9:99/9, OK (1/2 bytes))", expected{"d ", "", 'i', 1, 2}},
    // The address: cut before its last '@', kept whole without one, empty when the walk ran out.
    {"+ d [1] done (from a@b@c, OK (1/2 bytes))", expected{"d ", " a@b", 'i', 1, 2}},
    {"+ d [1] done (from  two  spaces , OK (1/2 bytes))", expected{"d ", "  two  spaces ", 'i', 1, 2}},
    // The stamp: after the byte ending the first word, '[' bytes skipped, up to the next '['.
    {"+  5 Dec 12:34:56 [77] done (from a, OK (1/2 bytes))\r\n", expected{" 5 Dec 12:34:56 ", " a", 'i', 1, 2}},
    {"+ [[x [1] done (from a, OK (1/2 bytes))", expected{"x ", " a", 'i', 1, 2}},
    {"   ] done (", std::nullopt},
    {"+ x ] done (from a, OK (1/2 bytes))", std::nullopt},
    // Segments without their '(' make the line ignored.
    {"+ d [1,2] done (from a, OK (1/2 bytes))", std::nullopt},
    {"+ d [1] done (from a, OK 1/2 bytes)", std::nullopt},
    {"+ d [1] done (from a, OK ()", std::nullopt},
    {"+ d [1] done (from a)", std::nullopt},
    // The numbers: trimmed after their last space, split at the first '/', read as strtol reads.
    {"+ d [1] done (from a, OK (120/345))", std::nullopt},
    {"+ d [1] done (from a, OK (120/ bytes))", expected{"d ", " a", 'i', 120, 0}},
    {"+ d [1] done (from a, OK (/ bytes))", std::nullopt},
    {"+ d [1] done (from a, OK (x/y bytes))", expected{"d ", " a", 'i', 0, 0}},
    {"+ d [1] done (from a, OK (120/345/9 bytes))", expected{"d ", " a", 'i', 120, 345}},
    {"+ d [1] done (from a, OK (//120//345 bytes))", expected{"d ", " a", 'i', 120, 0}},
    {"+ d [1] done (from a, OK ( 12 / -3 bytes))", expected{"d ", " a", 'i', 12, -3}},
    {"+ d [1] done (from a, OK (99999999999999999999/-99999999999999999999 b))", expected{"d ", " a", 'i', max, min}},
    // A zero byte ends what the parser sees.
    {std::string("+ d [1]\0 done (from a, OK (1/2 bytes))", 38), std::nullopt},
    {std::string("+ d [1] done (from a, OK (1/2\0 bytes))", 38), std::nullopt},
    // The marker counts wherever it stands.
    {"x] done (y [(to z, w (3/4 q)", expected{"done (y ", " z", 'o', 3, 4}},
};

TEST(parse_line, takes_apart_closing_lines) {
  for (const line_case& c : lines) {
    std::optional<session> s = parse_line(c.line, false, "");
    ASSERT_EQ(s.has_value(), c.result.has_value()) << c.line;
    if (!s) continue;
    EXPECT_EQ(s->stamp, c.result->stamp) << c.line;
    EXPECT_EQ(s->address, c.result->address) << c.line;
    EXPECT_EQ(s->dir, c.result->dir) << c.line;
    EXPECT_EQ(s->sent, c.result->sent) << c.line;
    EXPECT_EQ(s->rcvd, c.result->rcvd) << c.line;
  }
}

TEST(parse_line, any_day_wants_today_in_the_stamp) {
  const struct {
    const char* line;
    bool taken;
  } days[] = {
      {"+ 05 Dec 12:34:56 [1] done (from a, OK (1/2 bytes))", true},
      {"+  5 Dec 12:34:56 [1] done (from a, OK (1/2 bytes))", false},
      {"+ 05 Nov 12:34:56 [1] done (from a, OK (1/2 bytes))", false},
      {"+ 2025 05 Dec 12:34:56 [1] done (from a, OK (1/2 bytes))", true},
  };
  for (const auto& d : days) {
    EXPECT_EQ(parse_line(d.line, true, "05 Dec").has_value(), d.taken) << d.line;
    EXPECT_TRUE(parse_line(d.line, false, "05 Dec").has_value()) << d.line;
  }
}

TEST(read_number, reads_as_strtol_and_clamps) {
  const std::pair<std::string, std::int64_t> numbers[] = {
      {"", 0},
      {"abc", 0},
      {"42", 42},
      {" \t\n\v\f\r42", 42},
      {"+7", 7},
      {"-0", 0},
      {"12abc", 12},
      {"- 5", 0},
      {"9223372036854775807", max},
      {"9223372036854775808", max},
      {"-9223372036854775808", min},
      {"-9223372036854775809", min},
      {"000000000000000000000000123", 123},
  };
  for (const auto& [text, value] : numbers) EXPECT_EQ(read_number(text), value) << text;
}

TEST(today_text, is_two_digits_and_the_month) {
  ::setenv("TZ", "UTC", 1);
  ::tzset();
  EXPECT_EQ(today_text(1733400000), "05 Dec");  // 2024-12-05 12:00 UTC
  EXPECT_EQ(today_text(1738300000), "31 Jan");  // 2025-01-31 05:06 UTC
  EXPECT_EQ(today_text(std::numeric_limits<std::time_t>::max()), std::nullopt);
}

}  // namespace
