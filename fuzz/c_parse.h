// The closing-line parser written out with the C library's own text functions, cutting a copy of
// the piece in place: the second opinion the fuzzer holds parse_line to.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// What a closing line yields, as owned texts.
struct c_session {
  std::string stamp, address;
  char dir;
  std::int64_t sent, rcvd;
  bool operator==(const c_session&) const = default;
};

// Parses one piece with strtok_r, strchr, strrchr, strstr and strtol.
std::optional<c_session> c_parse(std::string_view piece, bool any_day, const char* today);
