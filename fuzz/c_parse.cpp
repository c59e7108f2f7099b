#include "c_parse.h"

#include <cstdlib>
#include <cstring>
#include <vector>

std::optional<c_session> c_parse(std::string_view piece, bool any_day, const char* today) {
  std::vector<char> copy(piece.begin(), piece.end());
  copy.push_back('\0');
  char* line = copy.data();
  if (std::strstr(line, "] done (") == nullptr) return std::nullopt;
  char* cursor = nullptr;
  if (strtok_r(line, " \t\r\n", &cursor) == nullptr) return std::nullopt;
  char* stamp = strtok_r(nullptr, "[", &cursor);
  if (stamp == nullptr || (any_day && std::strstr(stamp, today) == nullptr)) return std::nullopt;
  char* segment = strtok_r(nullptr, ",", &cursor);
  if (segment == nullptr) return std::nullopt;
  char* paren = std::strchr(segment, '(');
  if (paren == nullptr) return std::nullopt;
  char dir = 'u';
  char* walk = paren + 1;
  for (; *walk != '\0' && *walk != ' '; ++walk) {
    if (*walk == 'f') dir = 'i';
    if (*walk == 't') dir = 'o';
  }
  if (char* at = std::strrchr(walk, '@')) *at = '\0';
  char* numbers = strtok_r(nullptr, ")", &cursor);
  if (numbers == nullptr || (paren = std::strchr(numbers, '(')) == nullptr) return std::nullopt;
  char* text = paren + 1;
  if (*text == '\0') return std::nullopt;
  for (char* last = text + std::strlen(text) - 1; last > text && *last != ' '; --last) *last = '\0';
  char* inner = nullptr;
  char* sent = strtok_r(text, "/", &inner);
  char* rcvd = strtok_r(nullptr, "", &inner);
  if (sent == nullptr || rcvd == nullptr) return std::nullopt;
  return c_session{stamp, walk, dir, std::strtol(sent, nullptr, 10), std::strtol(rcvd, nullptr, 10)};
}
