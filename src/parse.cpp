#include "parse.h"

#include <algorithm>
#include <array>
#include <limits>

namespace {

// Cuts text into tokens the way strtok does: skip delimiters, take up to the next one, step past it.
class tokenizer {
 public:
  explicit tokenizer(std::string_view text) : rest_(text) {}

  // The next token, delimited by any byte of delims; none when only delimiters are left.
  std::optional<std::string_view> next(std::string_view delims) {
    std::size_t begin = 0;
    while (begin < rest_.size() && is_delimiter(delims, rest_[begin])) ++begin;
    if (begin == rest_.size()) {
      rest_ = {};
      return std::nullopt;
    }
    rest_.remove_prefix(begin);
    std::size_t end = delims.size() == 1 ? rest_.find(delims[0]) : find_delimiter(delims);
    std::string_view token = rest_.substr(0, end);
    rest_ = end == std::string_view::npos ? std::string_view{} : rest_.substr(end + 1);
    return token;
  }

 private:
  // The sets are a few bytes long; the library's search would call memchr for every byte of text.
  static bool is_delimiter(std::string_view delims, char c) {
    return std::ranges::any_of(delims, [c](char d) { return d == c; });
  }

  std::size_t find_delimiter(std::string_view delims) const {
    for (std::size_t i = 0; i < rest_.size(); ++i)
      if (is_delimiter(delims, rest_[i])) return i;
    return std::string_view::npos;
  }

  std::string_view rest_;
};

bool is_c_space(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

// Takes the direction word after '(' and the address behind it from the address segment.
bool read_address(std::string_view segment, session& s) {
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
bool read_counts(std::string_view segment, session& s) {
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

}  // namespace

std::optional<session> parse_line(std::string_view piece, bool any_day, std::string_view today) {
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

std::int64_t read_number(std::string_view text) {
  constexpr std::uint64_t limit = std::uint64_t{1} << 63;
  const char* p = text.data();
  const char* end = p + text.size();
  while (p != end && is_c_space(*p)) ++p;
  bool negative = false;
  if (p != end && (*p == '+' || *p == '-')) negative = *p++ == '-';
  auto is_digit = [](char c) { return static_cast<unsigned char>(c - '0') < 10; };
  // Eighteen digits cannot reach the limit, so the common number needs no check per digit.
  std::uint64_t value = 0;
  for (const char* safe = p + std::min<std::ptrdiff_t>(end - p, 18); p != safe && is_digit(*p); ++p)
    value = value * 10 + static_cast<std::uint64_t>(*p - '0');
  for (; p != end && is_digit(*p); ++p) {
    auto digit = static_cast<std::uint64_t>(*p - '0');
    value = value > limit / 10 ? limit : std::min(value * 10 + digit, limit);
  }
  if (negative) return value == limit ? std::numeric_limits<std::int64_t>::min() : -static_cast<std::int64_t>(value);
  return value >= limit ? std::numeric_limits<std::int64_t>::max() : static_cast<std::int64_t>(value);
}

std::optional<std::string> today_text(std::time_t now) {
  static constexpr std::array<std::string_view, 12> mnames = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                                              "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  std::tm local{};
  if (localtime_r(&now, &local) == nullptr) return std::nullopt;
  std::string text(2, '0');
  text[0] = static_cast<char>('0' + local.tm_mday / 10);
  text[1] = static_cast<char>('0' + local.tm_mday % 10);
  text += ' ';
  text += mnames[static_cast<std::size_t>(local.tm_mon)];
  return text;
}
