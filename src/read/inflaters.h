// Inflating a compressed log a piece at a time, its members or frames one after another.
#pragma once

#include <algorithm>
#include <cstddef>
#include <limits>
#include <memory>
#include <span>
#include <string_view>

#include "read/compression.h"

// One compressed stream being inflated.
class inflater {
 public:
  virtual ~inflater() = default;
  // Inflates from the front of `in` into the front of `out`, dropping from each what it used or
  // filled; `last` says that no input follows. False when the data is damaged, or would need more
  // memory than a decoder is allowed.
  virtual bool inflate(std::string_view& in, std::span<char>& out, bool last) = 0;
  // Whether what was inflated so far ends where a member or frame ends.
  virtual bool whole() const = 0;
};

// The inflater of a compressed format, which may decode on up to `threads` threads of its own; none
// when this build reads no such format.
std::unique_ptr<inflater> inflater_for(compression format, unsigned threads);

// Lengths go to the libraries in their own types; larger buffers are taken a part at a time.
template <typename Length>
Length part_of(std::size_t size) {
  return static_cast<Length>(std::min<std::size_t>(size, std::numeric_limits<Length>::max()));
}
