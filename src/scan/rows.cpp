// A session's row of the Sessions History, drawn where the session is counted, and the cells that
// both tables draw alike.
#include "scan/rows.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <iterator>

#include "scan/parse.h"

namespace {

constexpr char vertical = '\x81';

// The UTF-8 box character of each frame byte, from 0x80 on; each is three bytes long.
constexpr std::string_view boxes = "─│┌┐└┘├┤┬┴┼";

// The two digits of every number below 100, one after another.
constexpr std::array<char, 200> digit_pairs = [] {
  std::array<char, 200> pairs{};
  for (std::size_t i = 0; i < 100; ++i) {
    pairs[2 * i] = static_cast<char>('0' + i / 10);
    pairs[2 * i + 1] = static_cast<char>('0' + i % 10);
  }
  return pairs;
}();

// Writes a number in decimal, a '-' before it when negative, so that it ends just before `end`;
// returns where it begins. Two digits a step: a row holds three numbers, and this is per row.
char* decimal_before(char* end, std::int64_t value) {
  std::uint64_t rest =
      value < 0 ? std::uint64_t{0} - static_cast<std::uint64_t>(value) : static_cast<std::uint64_t>(value);
  for (; rest >= 100; rest /= 100) {
    end -= 2;
    std::memcpy(end, digit_pairs.data() + 2 * (rest % 100), 2);
  }
  if (rest >= 10) {
    end -= 2;
    std::memcpy(end, digit_pairs.data() + 2 * rest, 2);
  } else {
    *--end = static_cast<char>('0' + rest);
  }
  if (value < 0) *--end = '-';
  return end;
}

// Writes a number right-aligned in `width` bytes (at most 16), as "%*ld" writes it, from p on;
// returns where it ends. The cell is first filled with spaces in one store of sixteen, so at most
// 20 bytes are written.
char* put_number(char* p, std::int64_t value, std::size_t width) {
  char digits[20];
  const char* begin = decimal_before(std::end(digits), value);
  const auto length = static_cast<std::size_t>(std::end(digits) - begin);
  std::memset(p, ' ', 16);
  p += std::max(length, width);
  std::memcpy(p - length, begin, length);
  return p;
}

}  // namespace

std::string in_utf8(std::string_view text) {
  std::string drawn;
  for (char c : text) {
    auto box = static_cast<std::size_t>(static_cast<unsigned char>(c) - 0x80u);
    if (box < boxes.size() / 3)
      drawn += boxes.substr(3 * box, 3);
    else
      drawn += c;
  }
  return drawn;
}

std::string_view bar(frames f) { return f == frames::utf8 ? boxes.substr(3, 3) : std::string_view(&vertical, 1); }

void append_number(std::string& out, std::int64_t value, std::size_t width) {
  char cell[20];
  out.append(cell, static_cast<std::size_t>(put_number(cell, value, width) - cell));
}

void append_session_cells(std::string& out, const session& s, frames f) {
  // The row is drawn in place and appended once: a dozen small appends cost more than the bytes.
  // A cell is first filled with spaces in one store of sixteen, then its text put over them.
  // Stamp and address are parts of one piece, so together no longer than one.
  constexpr std::string_view spaces = "                ";
  char row[std::size_t{6 * 3 + 2 * 16 + 3 + 2 * 24 + 1} + piece_limit + spaces.size()];
  char* p = row;
  const bool utf8 = f == frames::utf8;
  auto put_bar = [&p, utf8] {
    if (utf8) {
      std::memcpy(p, boxes.data() + 3, 3);
      p += 3;
    } else {
      *p++ = vertical;
    }
  };
  auto put_text = [&p, spaces](std::string_view text, std::size_t width) {
    std::memcpy(p, spaces.data(), spaces.size());
    std::memcpy(p, text.data(), text.size());
    p += std::max(text.size(), width);
  };
  put_bar();
  *p++ = ' ';
  put_text(s.stamp, 16);
  put_bar();
  put_text(s.address, 16);
  put_bar();
  *p++ = ' ';
  *p++ = s.dir;
  *p++ = ' ';
  put_bar();
  p = put_number(p, s.sent, 9);
  *p++ = ' ';
  put_bar();
  p = put_number(p, s.rcvd, 9);
  *p++ = ' ';
  put_bar();
  *p++ = '\n';
  out.append(row, static_cast<std::size_t>(p - row));
}
