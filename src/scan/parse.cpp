// The session line parser: a closing line taken apart where it lies, and the day of today.
#include "scan/parse.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <limits>

#include "scan/byte_search.h"

namespace {

bool is_c_space(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

// The bytes that end the first word of a line.
bool is_word_end(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// The first place of c in text, or its size.
std::size_t find(std::string_view text, char c) { return find_byte(text, c, 0, text.size()); }

// Cuts text into tokens the way strtok does: skip delimiters, take up to the next one, step past
// it. Tokens are kept as places in the text, which is never cut.
class tokenizer {
 public:
  explicit tokenizer(std::string_view text) : text_(text) {}

  // Takes the next token, delimited by spaces, tabs, carriage returns and line feeds; false when
  // only those are left.
  bool next_word() {
    std::size_t begin = at_;
    while (begin < text_.size() && is_word_end(text_[begin])) ++begin;
    std::size_t end = begin;
    while (end < text_.size() && !is_word_end(text_[end])) ++end;
    return take(begin, end);
  }

  // Takes the next token, delimited by `delimiter`; false when only delimiters are left.
  bool next(char delimiter) {
    std::size_t begin = at_;
    while (begin < text_.size() && text_[begin] == delimiter) ++begin;
    return take(begin, find_byte(text_, delimiter, begin, text_.size()));
  }

  // Takes what is left, as a token with no delimiter; false when nothing is.
  bool rest() { return take(at_, text_.size()); }

  // The token taken last.
  std::string_view token() const { return {text_.data() + begin_, end_ - begin_}; }

 private:
  // Takes [begin, end) as the token, going on after the delimiter at end; false when the token
  // would begin at the end.
  bool take(std::size_t begin, std::size_t end) {
    if (begin == text_.size()) return false;
    begin_ = begin;
    end_ = end;
    at_ = end == text_.size() ? end : end + 1;
    return true;
  }

  std::string_view text_;
  std::size_t at_ = 0;
  std::size_t begin_ = 0;
  std::size_t end_ = 0;
};

// Whether the done marker lies whole in text: it begins at one of its ']'.
bool holds_marker(std::string_view text) {
  for (std::size_t p = find(text, done_marker.front()); text.size() - p >= done_marker.size();
       p = find_byte(text, done_marker.front(), p + 1, text.size()))
    if (std::memcmp(text.data() + p, done_marker.data(), done_marker.size()) == 0) return true;
  return false;
}

// Takes the direction word after '(' and the address behind it from the address segment.
bool read_address(std::string_view segment, session& s) {
  std::size_t paren = find(segment, '(');
  if (paren == segment.size()) return false;
  std::size_t walk = paren + 1;
  for (; walk < segment.size() && segment[walk] != ' '; ++walk) {
    if (segment[walk] == 'f') s.dir = 'i';
    if (segment[walk] == 't') s.dir = 'o';
  }
  s.address = segment.substr(walk, find_last_byte(segment, '@', walk, segment.size()) - walk);
  return true;
}

// The number that eight digits make, the first in the lowest byte, each byte holding its digit's
// value: pairs, then fours, then all eight, each step one multiplication.
std::uint64_t eight_digits(std::uint64_t digits) {
  digits = digits * 10 + (digits >> 8);
  return ((digits & 0x000000FF000000FF) * (100 + (std::uint64_t{1000000} << 32)) +
          ((digits >> 16) & 0x000000FF000000FF) * (1 + (std::uint64_t{10000} << 32))) >>
         32;
}

// Reads a number as strtol does in base 10: leading white space, a sign, digits; clamped to the
// bounds. The bytes up to `readable` may be read, so that eight digits are taken at once.
std::int64_t read_number(std::string_view text, const char* readable) {
  constexpr std::uint64_t limit = std::uint64_t{1} << 63;
  const char* p = text.data();
  const char* end = p + text.size();
  while (p != end && is_c_space(*p)) ++p;
  bool negative = false;
  if (p != end && (*p == '+' || *p == '-')) negative = *p++ == '-';
  auto is_digit = [](char c) { return static_cast<unsigned char>(c - '0') < 10; };
  std::uint64_t value = 0;
  auto result = [&] {
    if (negative) return value == limit ? std::numeric_limits<std::int64_t>::min() : -static_cast<std::int64_t>(value);
    return value >= limit ? std::numeric_limits<std::int64_t>::max() : static_cast<std::int64_t>(value);
  };
  std::ptrdiff_t taken = 0;
  if (std::endian::native == std::endian::little && readable - p >= 8) {
    std::uint64_t word = 0;
    std::memcpy(&word, p, 8);
    const std::uint64_t digits = word ^ 0x3030303030303030;
    // A byte is no digit when its value less '0' is 10 or more: the high bit says so, with no carry
    // from one byte into the next.
    const std::uint64_t others = (((digits & 0x7F7F7F7F7F7F7F7F) + 0x7676767676767676) | digits) & 0x8080808080808080;
    taken = std::min<std::ptrdiff_t>(others == 0 ? 8 : __builtin_ctzll(others) / 8, end - p);
    if (taken > 0) value = eight_digits(digits << (64 - 8 * taken));
    // Fewer than eight digits end the number.
    if (taken < 8) return result();
    p += taken;
  }
  // Eighteen digits cannot reach the limit, so the common number needs no check per digit.
  for (const char* safe = p + std::min<std::ptrdiff_t>(end - p, 18 - taken); p != safe && is_digit(*p); ++p)
    value = value * 10 + static_cast<std::uint64_t>(*p - '0');
  for (; p != end && is_digit(*p); ++p) {
    auto digit = static_cast<std::uint64_t>(*p - '0');
    value = value > limit / 10 ? limit : std::min(value * 10 + digit, limit);
  }
  return result();
}

// Reads "sent/rcvd" from the parenthesised text of the numbers segment.
bool read_counts(std::string_view segment, session& s) {
  std::size_t paren = find(segment, '(');
  if (paren == segment.size()) return false;
  std::string_view text = segment.substr(paren + 1);
  if (text.empty()) return false;
  // Everything after the last space goes ("345 bytes" keeps "345 "); the first byte always stays.
  std::size_t space = find_last_byte(text, ' ', 0, text.size());
  text = text.substr(0, space == text.size() || space == 0 ? 1 : space + 1);
  tokenizer numbers(text);
  if (!numbers.next('/')) return false;
  const std::string_view sent = numbers.token();
  if (!numbers.rest()) return false;
  const char* readable = segment.data() + segment.size();
  s.sent = read_number(sent, readable);
  s.rcvd = read_number(numbers.token(), readable);
  return true;
}

}  // namespace

std::optional<session> parse_line(std::string_view piece, bool any_day, std::string_view today) {
  // The piece is a C text in the log's world: a zero byte ends what can be seen of it.
  piece = piece.substr(0, find(piece, '\0'));
  if (!holds_marker(piece)) return std::nullopt;

  tokenizer tokens(piece);
  if (!tokens.next_word() || !tokens.next('[')) return std::nullopt;
  session s;
  s.stamp = tokens.token();
  if (any_day && s.stamp.find(today) == std::string_view::npos) return std::nullopt;
  if (!tokens.next(',') || !read_address(tokens.token(), s)) return std::nullopt;
  if (!tokens.next(')') || !read_counts(tokens.token(), s)) return std::nullopt;
  return s;
}

std::optional<std::string> today_text(std::time_t now) {
  std::tm local{};
  if (localtime_r(&now, &local) == nullptr) return std::nullopt;
  std::string text(2, '0');
  text[0] = static_cast<char>('0' + local.tm_mday / 10);
  text[1] = static_cast<char>('0' + local.tm_mday % 10);
  text += ' ';
  text += mnames[static_cast<std::size_t>(local.tm_mon)];
  return text;
}
