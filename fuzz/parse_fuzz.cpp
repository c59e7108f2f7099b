// Fuzzes the session line parser on one piece of arbitrary bytes, against the plain parser of
// reference.h and a third one written with the C library's strtok_r, strchr, strrchr, strstr and
// strtol, cutting a copy in place.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "reference.h"
#include "scan/parse.h"

namespace {

// The fields of a closing line joined by '|', or "-" for a piece that is ignored.
std::string c_parse(std::string_view piece, bool any_day, const char* today) {
  std::vector<char> copy(piece.begin(), piece.end());
  copy.push_back('\0');
  char* line = copy.data();
  char* cursor = nullptr;
  if (std::strstr(line, "] done (") == nullptr || strtok_r(line, " \t\r\n", &cursor) == nullptr) return "-";
  char* stamp = strtok_r(nullptr, "[", &cursor);
  if (stamp == nullptr || (any_day && std::strstr(stamp, today) == nullptr)) return "-";
  char* segment = strtok_r(nullptr, ",", &cursor);
  char* paren = segment == nullptr ? nullptr : std::strchr(segment, '(');
  if (paren == nullptr) return "-";
  char dir = 'u';
  char* walk = paren + 1;
  for (; *walk != '\0' && *walk != ' '; ++walk) {
    if (*walk == 'f') dir = 'i';
    if (*walk == 't') dir = 'o';
  }
  if (char* at = std::strrchr(walk, '@')) *at = '\0';
  char* numbers = strtok_r(nullptr, ")", &cursor);
  if (numbers == nullptr || (paren = std::strchr(numbers, '(')) == nullptr || paren[1] == '\0') return "-";
  char* text = paren + 1;
  for (char* last = text + std::strlen(text) - 1; last > text && *last != ' '; --last) *last = '\0';
  char* inner = nullptr;
  char* sent = strtok_r(text, "/", &inner);
  char* rcvd = strtok_r(nullptr, "", &inner);
  if (sent == nullptr || rcvd == nullptr) return "-";
  return std::string(stamp) + '|' + walk + '|' + dir + '|' + std::to_string(std::strtol(sent, nullptr, 10)) + '|' +
         std::to_string(std::strtol(rcvd, nullptr, 10));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  // The first byte chooses -d; the rest, at most a piece long, is the piece, in memory of its own
  // size, so that a read past its end is caught.
  bool any_day = (data[0] & 1) != 0;
  const std::size_t length = std::min<std::size_t>(size - 1, piece_limit);
  const std::unique_ptr<char[]> exact(new char[length]);
  std::copy_n(data + 1, length, exact.get());
  std::string_view piece(exact.get(), length);
  std::string found = reference::fields(parse_line(piece, any_day, "05 Dec"));
  if (found != reference::fields(reference::parse_line(piece, any_day, "05 Dec")) ||
      found != c_parse(piece, any_day, "05 Dec"))
    std::abort();
  return 0;
}
