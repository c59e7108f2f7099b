#include "nodes.h"

#include <gtest/gtest.h>

#include <limits>

namespace {

constexpr std::int64_t max = std::numeric_limits<std::int64_t>::max();
constexpr std::int64_t min = std::numeric_limits<std::int64_t>::min();

struct added {
  std::string address;
  std::int64_t sent, rcvd;
};

bool operator==(const entry& a, const added& b) {
  return a.address == b.address && a.sent == b.sent && a.rcvd == b.rcvd;
}

TEST(node_table, sums_per_address_in_order_of_first_appearance) {
  const std::pair<std::vector<added>, std::vector<added>> cases[] = {
      {{}, {}},
      {{{" A", 1, 2}, {" B", 10, 20}, {" A", 100, 200}}, {{" A", 101, 202}, {" B", 10, 20}}},
      {{{" a", 1, 1}, {" A", 2, 2}, {"A", 3, 3}, {" A ", 4, 4}},
       {{" a", 1, 1}, {" A", 2, 2}, {"A", 3, 3}, {" A ", 4, 4}}},
      {{{"", 1, 2}, {" x", 5, 5}, {"", 3, 4}}, {{"", 4, 6}, {" x", 5, 5}}},
      {{{" A", max, min}, {" A", 1, -1}, {" A", -5, 5}}, {{" A", max - 5, min + 5}}},
  };
  for (const auto& [sessions, expected] : cases) {
    node_table table;
    for (const added& s : sessions) table.add_node_bytes(s.address, s.sent, s.rcvd);
    ASSERT_EQ(table.entries().size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) EXPECT_TRUE(table.entries()[i] == expected[i]) << i;
  }
}

// Enough addresses to grow the index many times; every one keeps its place and its totals.
TEST(node_table, finds_every_address_after_growing) {
  constexpr int count = 100000;
  node_table table;
  for (int round = 1; round <= 2; ++round)
    for (int i = 0; i < count; ++i) table.add_node_bytes(" 2:" + std::to_string(i), i, round);
  ASSERT_EQ(table.entries().size(), static_cast<std::size_t>(count));
  for (int i = 0; i < count; ++i) {
    const entry& e = table.entries()[static_cast<std::size_t>(i)];
    ASSERT_TRUE(e == (added{" 2:" + std::to_string(i), 2 * std::int64_t{i}, 3})) << i;
  }
}

TEST(saturating_add, stops_at_the_bounds) {
  EXPECT_EQ(saturating_add(max, 1), max);
  EXPECT_EQ(saturating_add(min, -1), min);
  EXPECT_EQ(saturating_add(max, min), -1);
  EXPECT_EQ(saturating_add(40, 2), 42);
}

}  // namespace
