// A block of a bzip2 stream framed as a stream of its own, for libbz2 to decode where the blocks
// are not decoded here.
#pragma once

#include <cstdint>
#include <span>
#include <string>

// What libbz2 made of a framed block.
struct bzip2_framed {
  std::string text;
  bool whole = false;  // it decoded as one whole block that ends where the frame ends
};

// What libbz2 makes of the bits [from, to) of data, a block's magic and what follows it, framed as
// a stream of level `level`: with `crc`, the end of a stream and that CRC follow them, and whole
// tells whether they decode as one block that ends at `to`; without, the text is whatever comes
// before libbz2 stops. An empty text without libbz2.
bzip2_framed frame_block(std::span<const std::uint8_t> data, std::uint64_t from, std::uint64_t to, unsigned level,
                         const std::uint32_t* crc);
