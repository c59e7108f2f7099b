// The block scanner against the plain piece-by-piece reading: the same sessions, always.
#include "scanner.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <random>
#include <vector>

#include "parse.h"
#include "pieces.h"

namespace {

constexpr std::string_view closing = "+ 05 Dec 12:34:56 [77] done (from 9:99/9@net, OK (120/345 bytes))";

// A descriptor reading the bytes from the start.
int file_of(const std::string& bytes) {
  char name[] = "/tmp/ornsum-scan-XXXXXX";
  int fd = ::mkstemp(name);
  ::unlink(name);
  EXPECT_EQ(::write(fd, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
  ::lseek(fd, 0, SEEK_SET);
  return fd;
}

// What the sessions of a run look like, one text each.
template <typename Reader>
std::vector<std::string> sessions_of(Reader&& reader) {
  std::vector<std::string> found;
  while (std::optional<std::string_view> piece = reader.next()) {
    if (std::optional<session> s = parse_line(*piece, false, ""))
      found.push_back(std::string(s->stamp) + "|" + std::string(s->address) + "|" + s->dir + "|" +
                      std::to_string(s->sent) + "|" + std::to_string(s->rcvd));
  }
  return found;
}

// The pieces the plain reader cuts the bytes into.
std::vector<std::string> pieces_of(const std::string& bytes) {
  int fd = file_of(bytes);
  piece_reader reader(fd);
  std::vector<std::string> pieces;
  while (std::optional<std::string_view> piece = reader.next()) pieces.emplace_back(*piece);
  ::close(fd);
  return pieces;
}

// The reference itself: lines cut into pieces of at most 254 bytes, the last one with the feed.
TEST(piece_reader, cuts_lines_as_a_255_byte_line_read_does) {
  const std::string x253(253, 'x');
  const std::pair<std::string, std::vector<std::string>> cases[] = {
      {"", {}},
      {"a\n\nb", {"a\n", "\n", "b"}},
      {x253 + "\n", {x253 + "\n"}},
      {x253 + "xx\n", {x253 + "x", "x\n"}},
      {x253 + "x\n", {x253 + "x", "\n"}},
      {x253 + "x" + x253 + "xx", {x253 + "x", x253 + "x", "x"}},
      {std::string("a\0b\r\n", 5), {std::string("a\0b\r\n", 5)}},
  };
  for (const auto& [bytes, pieces] : cases) EXPECT_EQ(pieces_of(bytes), pieces) << bytes;
}

void expect_same_sessions(const std::string& log) {
  int fd = file_of(log);
  std::vector<std::string> expected = sessions_of(piece_reader(fd));
  for (std::size_t block : {std::size_t{1}, std::size_t{7}, std::size_t{253}, std::size_t{300}, std::size_t{1} << 20}) {
    ::lseek(fd, 0, SEEK_SET);
    block_scanner scanner(fd, block);
    EXPECT_EQ(sessions_of(scanner), expected) << "block " << block;
    EXPECT_FALSE(scanner.failed());
  }
  ::close(fd);
}

// Closing lines pushed right by fillers of every length that puts the marker near a piece edge,
// in lines ending with LF, CR LF, or nothing.
TEST(block_scanner, agrees_at_piece_edges) {
  const std::size_t marker_at = closing.find(done_marker);
  std::string log;
  for (std::size_t edge = piece_limit; edge <= 3 * piece_limit; edge += piece_limit) {
    for (std::size_t at = edge - 10; at <= edge + 2; ++at)
      log += std::string(at - marker_at, 'x') + std::string(closing) + "\n";
    log += std::string(edge - 1, 'y') + "\n" + std::string(closing) + "\r\n";
    for (std::size_t length = edge - 2; length <= edge + 1; ++length) log += std::string(length, 'z') + "\n";
  }
  expect_same_sessions(log);
  expect_same_sessions(log + std::string(300, 'x') + std::string(closing));
  expect_same_sessions(std::string(closing));
  expect_same_sessions("");
}

// Zero bytes before, inside and after the marker.
TEST(block_scanner, agrees_around_zero_bytes) {
  std::string log;
  for (std::size_t at = 0; at <= closing.size(); at += 3) {
    std::string line(closing);
    line.insert(at, 1, '\0');
    log += line + "\n";
  }
  expect_same_sessions(log);
}

// Random logs made of the pieces of closing lines, line feeds, zero bytes and noise.
TEST(block_scanner, agrees_on_random_logs) {
  const std::string_view parts[] = {"] done (",
                                    "[",
                                    "]",
                                    "(",
                                    ")",
                                    ",",
                                    "/",
                                    "@",
                                    " ",
                                    "\n",
                                    std::string_view("\0", 1),
                                    "\r",
                                    "12",
                                    "-9",
                                    "from",
                                    "to",
                                    " bytes)",
                                    "+ 05 Dec 12:34:56 ",
                                    "xyzzy",
                                    "9:99/9",
                                    "\xff\xfe"};
  std::mt19937_64 random(20261206);
  for (int log_number = 0; log_number < 50; ++log_number) {
    std::string log;
    while (log.size() < 20000) {
      if (random() % 40 == 0) log += std::string(random() % 600, 'q');
      log += parts[random() % std::size(parts)];
    }
    expect_same_sessions(log);
  }
}

}  // namespace
