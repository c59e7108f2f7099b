// A parsed session as one line of text, so that tests compare whole results.
#pragma once

#include <optional>
#include <string>

#include "parse.h"

// The fields joined by '|', or "-" for a piece that is ignored.
inline std::string session_text(const std::optional<session>& s) {
  if (!s) return "-";
  return std::string(s->stamp) + '|' + std::string(s->address) + '|' + s->dir + '|' + std::to_string(s->sent) + '|' +
         std::to_string(s->rcvd);
}
