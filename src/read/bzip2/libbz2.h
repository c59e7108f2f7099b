// One bzip2 block read by libbz2 where it stands, for the blocks that ours does not decode.
#pragma once

#include <cstdint>
#include <span>

#if ORNSUM_BZIP2
#include <bzlib.h>
#endif

// A block that libbz2 reads framed as a stream of its own, which begins with the block's magic:
// just as libbz2 reads it in sequence, text, damage and all. libbz2 takes the frame's bytes only up
// to the one that holds the block's last bit, makes the text once it has them all, and checks the
// block's CRC once all the text has been given.
class libbz2_block {
 public:
  enum class state {
    reading,  // libbz2 takes the block's bytes
    text,     // it has them all, and gives the text
    whole,    // all the text given, its CRC the block's own
    damaged   // libbz2 refused the block, after whatever text it gave
  };

  // Begins a block of a stream of `level`; throws std::bad_alloc when libbz2 lacks memory.
  explicit libbz2_block(unsigned level);
  ~libbz2_block();
  libbz2_block(const libbz2_block&) = delete;
  libbz2_block& operator=(const libbz2_block&) = delete;

  // Gives libbz2 the bytes at the front of `frame`, the stream's bits from the block's magic on,
  // dropping those it takes.
  state read(std::span<const std::uint8_t>& frame);
  // Writes the text into the front of `out`, dropping what it fills. While reading, this tells
  // whether libbz2 had all of the block with the bytes it took: it then gives text.
  state give(std::span<char>& out);

 private:
  // Runs libbz2 once on the input and output set in stream_.
  state run();

#if ORNSUM_BZIP2
  bz_stream stream_{};
#endif
  state state_ = state::reading;
  bool gave_ = false;  // some text was given
};
