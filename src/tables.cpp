// The text of both tables: heads, rows, feet and totals, in either kind of frames.
#include "tables.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <iterator>
#include <limits>
#include <span>

#include "parse.h"

namespace {

constexpr char horizontal = '\x80';
constexpr char vertical = '\x81';

struct frame_bytes {
  char left, joint, right;
};
constexpr frame_bytes top{'\x82', '\x88', '\x83'};
constexpr frame_bytes separator{'\x86', '\x8A', '\x87'};
constexpr frame_bytes bottom{'\x84', '\x89', '\x85'};

// The UTF-8 box character of each frame byte, from 0x80 on; each is three bytes long.
constexpr std::string_view boxes = "─│┌┐└┘├┤┬┴┼";

// A text of the program's own with its frame bytes drawn as UTF-8 boxes.
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

// The vertical bar between cells.
std::string_view bar(frames f) { return f == frames::utf8 ? boxes.substr(3, 3) : std::string_view(&vertical, 1); }

// A table text in the frames asked for, kept in both once drawn.
struct drawn {
  std::string koi8, utf8 = in_utf8(koi8);
  std::string_view in(frames f) const { return f == frames::utf8 ? utf8 : koi8; }
};

// One frame line over columns of the given widths, ended by a line feed.
std::string frame(std::span<const std::size_t> widths, frame_bytes bytes) {
  std::string line(1, bytes.left);
  for (std::size_t width : widths) {
    if (line.size() > 1) line += bytes.joint;
    line.append(width, horizontal);
  }
  line += bytes.right;
  line += '\n';
  return line;
}

// A header row: the cells framed and joined by the vertical bar.
std::string header(std::initializer_list<std::string_view> cells) {
  std::string row;
  for (std::string_view cell : cells) {
    row += vertical;
    row += cell;
  }
  row += vertical;
  row += '\n';
  return row;
}

std::string head(std::string_view title, std::span<const std::size_t> widths,
                 std::initializer_list<std::string_view> cells) {
  return std::string(title) + frame(widths, top) + header(cells) + frame(widths, separator);
}

constexpr std::size_t session_widths[] = {7, 17, 16, 3, 10, 10};
constexpr std::size_t node_widths[] = {7, 18, 10, 10};

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

// A number right-aligned in `width` bytes (at most 16), as "%*ld" writes it, appended at once.
void append_number(std::string& out, std::int64_t value, std::size_t width) {
  char cell[20];
  out.append(cell, static_cast<std::size_t>(put_number(cell, value, width) - cell));
}

// A total right-aligned in `width` bytes, every digit written however many there are.
void append_number(std::string& out, total value, std::size_t width) {
  if (value >= std::numeric_limits<std::int64_t>::min() && value <= std::numeric_limits<std::int64_t>::max()) {
    append_number(out, static_cast<std::int64_t>(value), width);
    return;
  }
  __extension__ using magnitude = unsigned __int128;
  magnitude rest = value < 0 ? magnitude{0} - static_cast<magnitude>(value) : static_cast<magnitude>(value);
  char digits[48];
  char* begin = std::end(digits);
  for (; rest != 0; rest /= 10) *--begin = static_cast<char>('0' + static_cast<int>(rest % 10));
  if (value < 0) *--begin = '-';
  auto length = static_cast<std::size_t>(std::end(digits) - begin);
  if (length < width) out.append(width - length, ' ');
  out.append(begin, length);
}

// A text left-aligned in `width` bytes, as "%-*s" writes it.
void append_text(std::string& out, std::string_view text, std::size_t width) {
  out += text;
  if (text.size() < width) out.append(width - text.size(), ' ');
}

}  // namespace

std::string_view sessions_head(frames f) {
  static const drawn text{
      head("\n                           Sessions History\n\n", session_widths,
           {"  No.  ", "     Session     ", "    Address     ", " D ", "   Sent   ", "   Rcvd   "})};
  return text.in(f);
}

std::string_view sessions_foot(frames f) {
  static const drawn text{frame(session_widths, bottom) + "\n"};
  return text.in(f);
}

std::string_view nodes_head(frames f) {
  static const drawn text{head("\n                 Nodes Statistics\n\n", node_widths,
                               {"  No.  ", "     Address      ", "   Sent   ", "   Rcvd   "})};
  return text.in(f);
}

std::string_view nodes_foot(frames f) {
  static const drawn text{frame(node_widths, bottom)};
  return text.in(f);
}

void append_row_number(std::string& out, std::int64_t number, frames f) {
  out += bar(f);
  append_number(out, number, 6);
  out += ' ';
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

void append_node_row(std::string& out, std::int64_t position, std::string_view address, total sent, total rcvd,
                     frames f) {
  const std::string_view v = bar(f);
  out += v;
  append_number(out, position, 6);
  out += ' ';
  out += v;
  append_text(out, address, 18);
  out += v;
  append_number(out, sent, 9);
  out += ' ';
  out += v;
  append_number(out, rcvd, 9);
  out += ' ';
  out += v;
  out += '\n';
}

void append_total(std::string& out, std::string_view label, total value) {
  out += label;
  append_number(out, value, 12);
  out += '\n';
}
