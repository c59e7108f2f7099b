// Feeding an inflater a whole input in pieces, as the decoding thread does.
#pragma once

#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "read/inflaters.h"

// How an input is fed: the sizes of its pieces, taken in turn, where 0 is a call with nothing new,
// as when a pipe pauses; and the room for text that each call has.
struct feeding {
  std::vector<std::size_t> pieces;
  std::size_t room = std::size_t{1} << 16;
};

// The text an inflater gives for the input fed so, and whether it ended cleanly where a stream
// ends.
inline std::pair<std::string, bool> inflate_all(inflater& z, std::string_view input, const feeding& feed) {
  std::string text;
  std::string held;
  std::vector<char> room(feed.room);
  for (std::size_t call = 0;; ++call) {
    const std::size_t more = std::min(feed.pieces[call % feed.pieces.size()], input.size());
    held.append(input.substr(0, more));
    input.remove_prefix(more);
    std::string_view in(held);
    std::span<char> out(room);
    const bool ok = z.inflate(in, out, input.empty());
    text.append(room.data(), room.size() - out.size());
    const bool progress = in.size() != held.size() || out.size() != room.size();
    held.erase(0, held.size() - in.size());
    if (!ok) return {text, false};
    if (!progress && input.empty()) return {text, held.empty() && z.whole()};
  }
}
