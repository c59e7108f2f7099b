// A bzip2 block decoded on its own: its header, the inverse of its sort, its runs and its CRC.
#include "read/bzip2/block.h"

#include <sys/mman.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <new>
#include <utility>

#include "read/bzip2/bits.h"
#include "read/bzip2/symbols.h"
#include "read/bzip2/text.h"

namespace {

// No level sorts blocks larger than this.
constexpr std::uint32_t largest_block = 900000;
// Lanes that read the text ahead, and how far, in blocks' lengths all together: in lanes started
// at random places, a 1/e^ahead_factor part of the text is left to read row after row.
constexpr unsigned lanes = 32;
constexpr std::uint32_t ahead_factor = 2;
// The rows are read at random: a miss in the TLB at each would cost as much as the read.
constexpr std::size_t huge_page = std::size_t{1} << 21;

// The text is expanded this much at a time to check its CRC.
constexpr std::size_t expanded_size = std::size_t{64} << 10;

// Reads the text of `size` bytes from the rows that follow each, from the origin on, into `text`.
// Each row read waits for the one before, most often from memory; so that reads wait together,
// lanes first read on from rows spread over the block, into `ahead`, as far as the block's length
// times `ahead` between them. Where the walk from the origin comes to a lane's first row, it takes
// the lane's bytes and goes on from its last row. A lane the walk never comes to is wasted, never
// wrong: the text is just what reading row after row gives, damaged rows included.
void read_text(const std::uint32_t* next, std::uint32_t size, std::uint32_t origin, std::uint8_t* ahead,
               std::uint8_t* text) {
  // Lanes begin at rows a power of two apart, so that a lane's first row is told by its low bits.
  unsigned shift = 0;
  while (size >> (shift + 1) >= lanes) ++shift;
  const std::uint32_t length = size >= 4 * lanes ? ahead_factor * size / lanes : 0;
  std::array<std::uint32_t, lanes> last;
  for (unsigned lane = 0; lane < lanes; ++lane) last[lane] = lane << shift;
  for (std::uint32_t step = 0; step < length; ++step)
    for (unsigned lane = 0; lane < lanes; ++lane) {
      const std::uint32_t entry = next[last[lane]];
      ahead[lane * length + step] = static_cast<std::uint8_t>(entry);
      last[lane] = entry >> 8;
    }
  const std::uint32_t low = (std::uint32_t{1} << shift) - 1;
  for (std::uint32_t k = 0, row = origin; k < size;) {
    if (length != 0 && (row & low) == 0 && row >> shift < lanes) {
      const std::uint32_t lane = row >> shift;
      const std::uint32_t count = std::min(length, size - k);
      std::memcpy(text + k, ahead + std::size_t{lane} * length, count);
      k += count;
      row = last[lane];
    } else {
      const std::uint32_t entry = next[row];
      text[k++] = static_cast<std::uint8_t>(entry);
      row = entry >> 8;
    }
  }
}

}  // namespace

decoded_block bzip2_block_decoder::decode(std::span<const std::uint8_t> data, std::uint64_t at, std::uint32_t max_block,
                                          std::vector<std::uint8_t> room) {
  using verdict = decoded_block::verdict;
  decoded_block block;
  block.coded = std::move(room);
  max_block = std::min(max_block, largest_block);
  bit_reader bits(data, at);
  const std::uint32_t stored = bits.read(32);
  const bool randomised = bits.read(1) != 0;
  const std::uint32_t origin = bits.read(24);
  if (room_ < max_block) {
    column_ = std::make_unique_for_overwrite<std::uint8_t[]>(max_block + 8);
    const std::size_t bytes = (std::size_t{max_block} * 4 + huge_page - 1) / huge_page * huge_page;
    rows_.reset(static_cast<std::uint32_t*>(std::aligned_alloc(huge_page, bytes)));
    if (!rows_) throw std::bad_alloc();
    madvise(rows_.get(), bytes, MADV_HUGEPAGE);
    ahead_ = std::make_unique_for_overwrite<std::uint8_t[]>(std::size_t{max_block} * ahead_factor);
    expanded_ = std::make_unique_for_overwrite<char[]>(expanded_size);
    room_ = max_block;
  }
  const std::optional<std::uint32_t> size = read_block_column(bits, max_block, column_.get());
  if (!bits.inside()) block.how = verdict::short_of_data;
  if (!bits.inside() || !size || randomised || origin >= *size) return block;

  // Row j of the sorted rotations begins with the j-th byte in sorted order, and column holds their
  // last bytes: the row that follows each comes from where its byte stands in both.
  std::array<std::uint32_t, 256> starts{};
  std::uint8_t* column = column_.get();
  std::uint32_t* next = rows_.get();
  for (std::uint32_t i = 0; i < *size; ++i) ++starts[column[i]];
  std::uint32_t sum = 0;
  for (std::uint32_t& start : starts) sum += std::exchange(start, sum);
  for (std::uint32_t i = 0; i < *size; ++i) {
    const std::uint8_t byte = column[i];
    const std::uint32_t row = starts[byte]++;
    next[row] = i << 8 | byte;
  }

  if (block.coded.size() < *size) block.coded.resize(*size);
  read_text(next, *size, origin, ahead_.get(), block.coded.data());

  bzip2_runs text({block.coded.data(), *size});
  bzip2_crc crc;
  while (!text.done()) {
    std::span<char> piece(expanded_.get(), expanded_size);
    text.expand(piece);
    crc.add({expanded_.get(), expanded_size - piece.size()});
  }
  if (text.count_missing() || crc.value() != stored) return block;
  block.how = verdict::whole;
  block.size = *size;
  block.end = {bits.position(), stored};
  return block;
}
