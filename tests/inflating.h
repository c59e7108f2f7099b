// Feeding an inflater a whole input in pieces, as the decoding thread does.
#pragma once

#include <span>
#include <string>
#include <string_view>
#include <utility>

#include "inflaters.h"

// The text an inflater gives for the input, fed `piece` bytes at a time, and whether it ended
// cleanly where a stream ends.
inline std::pair<std::string, bool> inflate_all(inflater& z, std::string_view input, std::size_t piece) {
  std::string text;
  std::string held;
  char room[1 << 16];
  for (;;) {
    const std::size_t more = std::min(piece, input.size());
    held.append(input.substr(0, more));
    input.remove_prefix(more);
    std::string_view in(held);
    std::span<char> out(room);
    const bool ok = z.inflate(in, out, input.empty());
    text.append(room, sizeof room - out.size());
    const bool progress = in.size() != held.size() || out.size() != sizeof room;
    held.erase(0, held.size() - in.size());
    if (!ok) return {text, false};
    if (!progress && input.empty()) return {text, held.empty() && z.whole()};
  }
}
