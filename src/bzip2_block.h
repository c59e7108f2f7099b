// Decoding one block of a bzip2 stream on its own, found by its magic, so that the blocks of a
// stream can be decoded at once on several threads.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <optional>
#include <span>
#include <string>

// Where a decoded block ends, and the CRC of its text that it holds.
struct block_end {
  std::uint64_t bit;  // the bit just after the block's last
  std::uint32_t crc;  // the text's CRC, as the stream's own CRC combines it
};

// Decodes blocks one at a time, keeping the memory of the largest for the next.
class bzip2_block_decoder {
 public:
  // Decodes the block whose 48-bit magic ends at bit `at` of `data` (counted from the first byte's
  // most significant bit) and appends its text to `out`. max_block is 100000 times the stream's
  // level digit: a block that sorted more bytes is damaged. None when anything in the block is
  // inconsistent, its text's CRC differs from the one it holds, or it lies past the data's end;
  // none too for a block of the randomised kind that bzip2 0.9.0 wrote, which is not decoded here.
  // On none, `out` is left as it was.
  std::optional<block_end> decode(std::span<const std::uint8_t> data, std::uint64_t at, std::uint32_t max_block,
                                  std::string& out);

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
};
