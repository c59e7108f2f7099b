// Fuzzes the session line parser on one piece of arbitrary bytes, against the C library's reading.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "c_parse.h"
#include "parse.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  // The first byte chooses -d; the rest, at most a piece long, is the piece.
  bool any_day = data[0] & 1;
  std::string_view piece(reinterpret_cast<const char*>(data + 1), std::min<std::size_t>(size - 1, 254));
  std::optional<session> s = parse_line(piece, any_day, "05 Dec");
  std::optional<c_session> c = c_parse(piece, any_day, "05 Dec");
  if (s.has_value() != c.has_value()) std::abort();
  if (s && !(c_session{std::string(s->stamp), std::string(s->address), s->dir, s->sent, s->rcvd} == *c)) std::abort();
  return 0;
}
