#include "tables.h"

#include <charconv>
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

// A number right-aligned in `width` bytes, as "%*ld" writes it.
void append_number(std::string& out, std::int64_t value, std::size_t width) {
  char digits[24];
  char* end = std::to_chars(digits, digits + sizeof digits, value).ptr;
  auto length = static_cast<std::size_t>(end - digits);
  if (length < width) out.append(width - length, ' ');
  out.append(digits, length);
}

// A text left-aligned in `width` bytes, as "%-*s" writes it.
void append_text(std::string& out, std::string_view text, std::size_t width) {
  out += text;
  if (text.size() < width) out.append(width - text.size(), ' ');
}

}  // namespace

std::string_view sessions_head() {
  static const std::string text =
      head("\n                           Sessions History\n\n", session_widths,
           {"  No.  ", "     Session     ", "    Address     ", " D ", "   Sent   ", "   Rcvd   "});
  return text;
}

std::string_view sessions_foot() {
  static const std::string text = frame(session_widths, bottom) + "\n";
  return text;
}

std::string_view nodes_head() {
  static const std::string text = head("\n                 Nodes Statistics\n\n", node_widths,
                                       {"  No.  ", "     Address      ", "   Sent   ", "   Rcvd   "});
  return text;
}

std::string_view nodes_foot() {
  static const std::string text = frame(node_widths, bottom);
  return text;
}

void append_session_row(std::string& out, std::int64_t number, const session& s) {
  out += vertical;
  append_number(out, number, 6);
  out += ' ';
  out += vertical;
  out += ' ';
  append_text(out, s.stamp, 16);
  out += vertical;
  append_text(out, s.address, 16);
  out += vertical;
  out += ' ';
  out += s.dir;
  out += ' ';
  out += vertical;
  append_number(out, s.sent, 9);
  out += ' ';
  out += vertical;
  append_number(out, s.rcvd, 9);
  out += ' ';
  out += vertical;
  out += '\n';
}

void append_node_row(std::string& out, std::int64_t position, std::string_view address, std::int64_t sent,
                     std::int64_t rcvd) {
  out += vertical;
  append_number(out, position, 6);
  out += ' ';
  out += vertical;
  append_text(out, address, 18);
  out += vertical;
  append_number(out, sent, 9);
  out += ' ';
  out += vertical;
  append_number(out, rcvd, 9);
  out += ' ';
  out += vertical;
  out += '\n';
}

void append_total(std::string& out, std::string_view label, std::int64_t value) {
  out += label;
  append_number(out, value, 12);
  out += '\n';
}
