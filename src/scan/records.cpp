// A session's record for programs to read: its fields in JSON or in CSV.
#include "scan/records.h"

#include <algorithm>
#include <array>

#include "scan/parse.h"
#include "scan/rows.h"

namespace {

constexpr std::string_view hex = "0123456789abcdef";

// For each byte, whether it goes into a JSON string as it is.
constexpr auto json_plain = [] {
  std::array<bool, 256> plain{};
  for (unsigned byte = 0x20; byte < 0x80; ++byte) plain[byte] = byte != '"' && byte != '\\';
  return plain;
}();

bool plain(char c) { return json_plain[static_cast<unsigned char>(c)]; }

// The length of the UTF-8 sequence that begins at text[i], checked whole; 0 where the bytes there
// are none: a stray continuation byte, a lead byte short of its continuations, an overlong form, a
// surrogate, or a code point past U+10FFFF.
std::size_t utf8_length(std::string_view text, std::size_t i) {
  const auto byte = [&](std::size_t k) { return static_cast<unsigned>(static_cast<unsigned char>(text[k])); };
  const unsigned lead = byte(i);
  std::size_t n = 0;
  unsigned low = 0x80;  // the bounds of the byte after the lead
  unsigned high = 0xbf;
  if (lead >= 0xc2 && lead <= 0xdf) {
    n = 2;
  } else if (lead >= 0xe0 && lead <= 0xef) {
    n = 3;
    low = lead == 0xe0 ? 0xa0 : low;
    high = lead == 0xed ? 0x9f : high;
  } else if (lead >= 0xf0 && lead <= 0xf4) {
    n = 4;
    low = lead == 0xf0 ? 0x90 : low;
    high = lead == 0xf4 ? 0x8f : high;
  }
  if (n == 0 || i + n > text.size() || byte(i + 1) < low || byte(i + 1) > high) return 0;
  for (std::size_t k = 2; k < n; ++k)
    if ((byte(i + k) & 0xc0) != 0x80) return 0;
  return n;
}

}  // namespace

void append_json_string(std::string& out, std::string_view text) {
  out += '"';
  for (std::size_t i = 0; i < text.size();) {
    std::size_t n = 0;
    while (i + n < text.size() && plain(text[i + n])) ++n;
    if (n == 0 && static_cast<unsigned char>(text[i]) >= 0x80) n = utf8_length(text, i);
    if (n > 0) {
      out.append(text, i, n);
      i += n;
      continue;
    }
    const auto byte = static_cast<unsigned char>(text[i++]);
    if (byte == '"' || byte == '\\') {
      out += '\\';
      out += static_cast<char>(byte);
    } else {
      out += "\\u00";
      out += hex[byte >> 4];
      out += hex[byte & 15];
    }
  }
  out += '"';
}

void append_csv_field(std::string& out, std::string_view text) {
  // A loop of its own: find_first_of looks for each byte in the set in turn.
  if (std::none_of(text.begin(), text.end(), [](char c) { return c == ',' || c == '"' || c == '\r' || c == '\n'; })) {
    out += text;
    return;
  }
  out += '"';
  for (const char c : text) {
    if (c == '"') out += '"';
    out += c;
  }
  out += '"';
}

void append_session_fields(std::string& out, const session& s, record_format f) {
  if (f == record_format::jsonl) {
    out += ",\"stamp\":";
    append_json_string(out, s.stamp);
    out += ",\"address\":";
    append_json_string(out, s.address);
    out += R"(,"direction":")";
    out += s.dir;
    out += R"(","sent":)";
    append_number(out, s.sent, 0);
    out += ",\"received\":";
    append_number(out, s.rcvd, 0);
    return;
  }
  out += ',';
  append_csv_field(out, s.stamp);
  out += ',';
  append_csv_field(out, s.address);
  out += ',';
  out += s.dir;
  out += ',';
  append_number(out, s.sent, 0);
  out += ',';
  append_number(out, s.rcvd, 0);
}
