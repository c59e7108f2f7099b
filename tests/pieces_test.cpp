#include "pieces.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <vector>

namespace {

// The pieces a reader yields for bytes coming through a pipe.
std::vector<std::string> pieces_of(const std::string& bytes) {
  int fds[2];
  EXPECT_EQ(::pipe(fds), 0);
  EXPECT_EQ(::write(fds[1], bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
  ::close(fds[1]);
  piece_reader reader(fds[0]);
  std::vector<std::string> pieces;
  while (std::optional<std::string_view> piece = reader.next()) pieces.emplace_back(*piece);
  EXPECT_FALSE(reader.failed());
  ::close(fds[0]);
  return pieces;
}

std::string x(std::size_t n) { return std::string(n, 'x'); }

TEST(piece_reader, cuts_lines_into_pieces_of_at_most_254_bytes) {
  const std::pair<std::string, std::vector<std::string>> cases[] = {
      {"", {}},
      {"a\nb\n", {"a\n", "b\n"}},
      {"\n\n", {"\n", "\n"}},
      {"no final line feed", {"no final line feed"}},
      {x(253) + "\n", {x(253) + "\n"}},
      {x(254) + "\n", {x(254), "\n"}},
      {x(255) + "\n", {x(254), "x\n"}},
      {x(508), {x(254), x(254)}},
      {x(600) + "\nab", {x(254), x(254), x(92) + "\n", "ab"}},
      {std::string("a\0b\r\n", 5), {std::string("a\0b\r\n", 5)}},
  };
  for (const auto& [bytes, pieces] : cases) EXPECT_EQ(pieces_of(bytes), pieces) << bytes;
}

TEST(piece_reader, reports_a_read_error) {
  piece_reader reader(-1);
  EXPECT_EQ(reader.next(), std::nullopt);
  EXPECT_TRUE(reader.failed());
}

}  // namespace
