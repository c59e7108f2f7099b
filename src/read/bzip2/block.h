// Decoding one block of a bzip2 stream on its own, found by its magic, so that the blocks of a
// stream can be decoded at once on several threads.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <span>
#include <vector>

// Where a decoded block ends, and the CRC of its text that it holds.
struct block_end {
  std::uint64_t bit;  // the bit just after the block's last
  std::uint32_t crc;  // the text's CRC, as the stream's own CRC combines it
};

// What a block decoded to.
struct decoded_block {
  enum class verdict {
    whole,          // decoded, its text's CRC the one it holds
    short_of_data,  // it reaches past the data's end, so far as it was read
    refused         // inconsistent, its CRC differs, or of a kind not decoded here
  };
  verdict how = verdict::refused;
  block_end end{};  // when whole
  // When whole, its text with runs still coded (see bzip2_runs) in the first `size` bytes; the
  // memory is kept for another block.
  std::vector<std::uint8_t> coded;
  std::uint32_t size = 0;
  std::span<const std::uint8_t> text() const { return {coded.data(), size}; }
};

// Decodes blocks one at a time, keeping the memory of the largest for the next.
class bzip2_block_decoder {
 public:
  // Decodes the block whose 48-bit magic ends at bit `at` of `data` (counted from the first byte's
  // most significant bit). max_block is 100000 times the stream's level digit: a block that sorted
  // more bytes is damaged. A block of the randomised kind that bzip2 0.9.0 wrote is refused, and
  // so is one whose runs' coding ends without a count, which this decoder leaves to libbz2. The
  // text is held in `room`, a buffer of an earlier block's, when given.
  decoded_block decode(std::span<const std::uint8_t> data, std::uint64_t at, std::uint32_t max_block,
                       std::vector<std::uint8_t> room = {});

 private:
  // The last bytes of the block's sorted rotations, then its text before the runs are expanded.
  std::unique_ptr<std::uint8_t[]> column_;
  // For each row of the sorted block, the row that follows it, shifted left by 8 with that row's
  // last byte below; in memory that huge pages back where the system allows, as the rows are read
  // in no order.
  struct release {
    void operator()(std::uint32_t* rows) const { std::free(rows); }
  };
  std::unique_ptr<std::uint32_t[], release> rows_;
  // The bytes of the text read ahead from rows spread over the block.
  std::unique_ptr<std::uint8_t[]> ahead_;
  std::uint32_t room_ = 0;  // how long a block the three hold
  // The text expanded a piece at a time, to check its CRC.
  std::unique_ptr<char[]> expanded_;
};
