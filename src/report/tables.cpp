// The text of both tables: heads, rows, feet and totals, in either kind of frames.
#include "report/tables.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <iterator>
#include <limits>
#include <span>

#include "scan/parse.h"

namespace {

constexpr char horizontal = '\x80';
constexpr char vertical = '\x81';

struct frame_bytes {
  char left, joint, right;
};
constexpr frame_bytes top{'\x82', '\x88', '\x83'};
constexpr frame_bytes separator{'\x86', '\x8A', '\x87'};
constexpr frame_bytes bottom{'\x84', '\x89', '\x85'};

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

void append_node_row(std::string& out, std::int64_t position, std::string_view address, total sent, total rcvd,
                     frames f) {
  const std::string_view v = bar(f);
  out += v;
  append_number(out, position, 6);
  out += ' ';
  out += v;
  append_text(out, address, 18);
  out += v;
  append_total_number(out, sent, 9);
  out += ' ';
  out += v;
  append_total_number(out, rcvd, 9);
  out += ' ';
  out += v;
  out += '\n';
}

void append_total(std::string& out, std::string_view label, total value) {
  out += label;
  append_total_number(out, value, 12);
  out += '\n';
}

void append_total_number(std::string& out, total value, std::size_t width) {
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
