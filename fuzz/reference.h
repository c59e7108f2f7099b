// The plain reading of a log that the fast one must agree with: pieces cut one after another as a
// loop reading lines into a 255-byte buffer cuts them, and the line parser as a chain of strtok
// steps over the piece, each search a walk of its own.
#pragma once

#include <algorithm>
#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "scan/parse.h"

namespace reference {

// The pieces of a log, in order: a line in pieces of piece_limit bytes, the last up to and
// including its line feed.
inline std::vector<std::string_view> pieces(std::string_view log) {
  std::vector<std::string_view> all;
  while (!log.empty()) {
    std::size_t feed = log.substr(0, piece_limit).find('\n');
    all.push_back(log.substr(0, feed == std::string_view::npos ? piece_limit : feed + 1));
    log.remove_prefix(all.back().size());
  }
  return all;
}

// Cuts text into tokens the way strtok does: skip delimiters, take up to the next one, step past it.
class tokenizer {
 public:
  // Cuts text from its first byte on.
  explicit tokenizer(std::string_view text) : rest_(text) {}

  // The next token, delimited by any byte of delims; none when only delimiters are left.
  std::optional<std::string_view> next(std::string_view delims) {
    std::size_t begin = rest_.find_first_not_of(delims);
    if (begin == std::string_view::npos) {
      rest_ = {};
      return std::nullopt;
    }
    rest_.remove_prefix(begin);
    std::size_t end = rest_.find_first_of(delims);
    std::string_view token = rest_.substr(0, end);
    rest_ = end == std::string_view::npos ? std::string_view{} : rest_.substr(end + 1);
    return token;
  }

 private:
  std::string_view rest_;
};

// Reads a number as strtol does in base 10: leading white space, a sign, digits; clamped to the
// bounds.
inline std::int64_t read_number(std::string_view text) {
  constexpr std::uint64_t limit = std::uint64_t{1} << 63;
  std::size_t i = text.find_first_not_of(" \t\n\v\f\r");
  if (i == std::string_view::npos) return 0;
  const bool negative = text[i] == '-';
  if (text[i] == '+' || text[i] == '-') ++i;
  std::uint64_t value = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i)
    value = std::min(value > limit / 10 ? limit : value * 10 + static_cast<std::uint64_t>(text[i] - '0'), limit);
  if (negative) return value == limit ? std::numeric_limits<std::int64_t>::min() : -static_cast<std::int64_t>(value);
  return value == limit ? std::numeric_limits<std::int64_t>::max() : static_cast<std::int64_t>(value);
}

// Takes the direction word after '(' and the address behind it from the address segment.
inline bool read_address(std::string_view segment, session& s) {
  std::size_t paren = segment.find('(');
  if (paren == std::string_view::npos) return false;
  std::size_t walk = paren + 1;
  for (; walk < segment.size() && segment[walk] != ' '; ++walk) {
    if (segment[walk] == 'f') s.dir = 'i';
    if (segment[walk] == 't') s.dir = 'o';
  }
  s.address = segment.substr(walk);
  std::size_t at = s.address.rfind('@');
  if (at != std::string_view::npos) s.address = s.address.substr(0, at);
  return true;
}

// Reads "sent/rcvd" from the parenthesised text of the numbers segment.
inline bool read_counts(std::string_view segment, session& s) {
  std::size_t paren = segment.find('(');
  if (paren == std::string_view::npos) return false;
  std::string_view text = segment.substr(paren + 1);
  if (text.empty()) return false;
  // Everything after the last space goes ("345 bytes" keeps "345 "); the first byte always stays.
  std::size_t space = text.rfind(' ');
  text = text.substr(0, space == std::string_view::npos || space == 0 ? 1 : space + 1);
  tokenizer numbers(text);
  std::optional<std::string_view> sent = numbers.next("/");
  std::optional<std::string_view> rcvd = numbers.next("");
  if (!sent || !rcvd) return false;
  s.sent = read_number(*sent);
  s.rcvd = read_number(*rcvd);
  return true;
}

// Reads one piece of the log; yields the session it closes, if any, as parse_line must.
inline std::optional<session> parse_line(std::string_view piece, bool any_day, std::string_view today) {
  // The piece is a C text in the log's world: a zero byte ends what can be seen of it.
  piece = piece.substr(0, piece.find('\0'));
  if (piece.find(done_marker) == std::string_view::npos) return std::nullopt;

  tokenizer tokens(piece);
  if (!tokens.next(" \t\r\n")) return std::nullopt;
  std::optional<std::string_view> stamp = tokens.next("[");
  if (!stamp) return std::nullopt;
  if (any_day && stamp->find(today) == std::string_view::npos) return std::nullopt;
  std::optional<std::string_view> address_segment = tokens.next(",");
  if (!address_segment) return std::nullopt;
  session s;
  s.stamp = *stamp;
  if (!read_address(*address_segment, s)) return std::nullopt;
  std::optional<std::string_view> numbers_segment = tokens.next(")");
  if (!numbers_segment || !read_counts(*numbers_segment, s)) return std::nullopt;
  return s;
}

// A session's fields joined by '|', or "-" for none.
inline std::string fields(const std::optional<session>& s) {
  return s ? std::string(s->stamp) + '|' + std::string(s->address) + '|' + s->dir + '|' + std::to_string(s->sent) +
                 '|' + std::to_string(s->rcvd)
           : "-";
}

}  // namespace reference
