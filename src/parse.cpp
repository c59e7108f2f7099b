#include "parse.h"

#include <array>
#include <limits>

namespace {

// Cuts text into tokens the way strtok does: skip delimiters, take up to the next one, step past it.
class tokenizer {
 public:
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

bool is_c_space(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }

// Splits the segment after '(' into the direction word and the address behind it.
std::optional<session> read_address(std::string_view segment, session s) {
  std::size_t paren = segment.find('(');
  if (paren == std::string_view::npos) return std::nullopt;
  std::size_t walk = paren + 1;
  for (; walk < segment.size() && segment[walk] != ' '; ++walk) {
    if (segment[walk] == 'f') s.dir = 'i';
    if (segment[walk] == 't') s.dir = 'o';
  }
  s.address = segment.substr(walk);
  std::size_t at = s.address.rfind('@');
  if (at != std::string_view::npos) s.address = s.address.substr(0, at);
  return s;
}

// Reads "sent/rcvd" from the parenthesised text of the numbers segment.
std::optional<session> read_counts(std::string_view segment, session s) {
  std::size_t paren = segment.find('(');
  if (paren == std::string_view::npos) return std::nullopt;
  std::string_view text = segment.substr(paren + 1);
  if (text.empty()) return std::nullopt;
  // Everything after the last space goes ("345 bytes" keeps "345 "); the first byte always stays.
  std::size_t space = text.rfind(' ');
  text = text.substr(0, space == std::string_view::npos || space == 0 ? 1 : space + 1);
  tokenizer numbers(text);
  std::optional<std::string_view> sent = numbers.next("/");
  std::optional<std::string_view> rcvd = numbers.next("");
  if (!sent || !rcvd) return std::nullopt;
  s.sent = read_number(*sent);
  s.rcvd = read_number(*rcvd);
  return s;
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
  std::optional<session> addressed = read_address(*address_segment, s);
  if (!addressed) return std::nullopt;
  std::optional<std::string_view> numbers_segment = tokens.next(")");
  if (!numbers_segment) return std::nullopt;
  return read_counts(*numbers_segment, *addressed);
}

std::int64_t read_number(std::string_view text) {
  constexpr std::uint64_t limit = std::uint64_t{1} << 63;
  std::size_t i = 0;
  while (i < text.size() && is_c_space(text[i])) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  std::uint64_t value = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    auto digit = static_cast<std::uint64_t>(text[i] - '0');
    value = value > (limit - digit) / 10 ? limit : value * 10 + digit;
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
