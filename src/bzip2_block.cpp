// A bzip2 block decoded on its own: its header, the inverse of its sort, its runs and its CRC.
#include "bzip2_block.h"

#include <sys/mman.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <new>
#include <utility>

#include "bzip2_bits.h"
#include "bzip2_symbols.h"

namespace {

// No level sorts blocks larger than this.
constexpr std::uint32_t largest_block = 900000;
// Lanes that read the text ahead, and how far, in blocks' lengths all together: in lanes started
// at random places, a 1/e^ahead_factor part of the text is left to read row after row.
constexpr unsigned lanes = 32;
constexpr std::uint32_t ahead_factor = 2;
// The rows are read at random: a miss in the TLB at each would cost as much as the read.
constexpr std::size_t huge_page = std::size_t{1} << 21;

// What a byte contributes to the CRC when 0 to 7 bytes follow it, so that the CRC takes eight bytes
// at a time.
constexpr auto crc_tables = [] {
  std::array<std::array<std::uint32_t, 256>, 8> tables{};
  for (std::uint32_t byte = 0; byte < 256; ++byte) {
    std::uint32_t crc = byte << 24;
    for (int bit = 0; bit < 8; ++bit) crc = (crc & 0x80000000u) != 0 ? crc << 1 ^ 0x04c11db7u : crc << 1;
    tables[0][byte] = crc;
  }
  for (std::size_t k = 1; k < 8; ++k)
    for (std::size_t byte = 0; byte < 256; ++byte)
      tables[k][byte] = tables[k - 1][byte] << 8 ^ tables[0][tables[k - 1][byte] >> 24];
  return tables;
}();

std::uint32_t crc_of(const std::uint8_t* p, std::size_t size) {
  const auto& t = crc_tables;
  std::uint32_t crc = 0xffffffffu;
  for (; size >= 8; p += 8, size -= 8) {
    std::uint32_t high;
    std::uint32_t low;
    std::memcpy(&high, p, 4);
    std::memcpy(&low, p + 4, 4);
    high = __builtin_bswap32(high) ^ crc;
    low = __builtin_bswap32(low);
    crc = t[7][high >> 24] ^ t[6][high >> 16 & 0xff] ^ t[5][high >> 8 & 0xff] ^ t[4][high & 0xff] ^ t[3][low >> 24] ^
          t[2][low >> 16 & 0xff] ^ t[1][low >> 8 & 0xff] ^ t[0][low & 0xff];
  }
  for (; size != 0; --size) crc = crc << 8 ^ t[0][(crc >> 24) ^ *p++];
  return ~crc;
}

// Where the first four equal bytes in text[from, size) begin; size when nowhere. Eight bytes are
// compared with their neighbours at a time, as most texts have few such runs.
std::uint32_t find_run(const std::uint8_t* text, std::uint32_t from, std::uint32_t size) {
  constexpr std::uint64_t low7 = 0x7f7f7f7f7f7f7f7f;
  std::uint32_t p = from;
  for (; size - p >= 8; p += 5) {
    std::uint64_t word;
    std::memcpy(&word, text + p, 8);
    if constexpr (std::endian::native == std::endian::big) word = __builtin_bswap64(word);
    const std::uint64_t changes = word ^ word >> 8;
    const std::uint64_t equal = ~(((changes & low7) + low7) | changes | low7);
    const std::uint64_t runs = equal & equal >> 8 & equal >> 16 & 0x8080808080;
    if (runs != 0) return p + static_cast<std::uint32_t>(__builtin_ctzll(runs)) / 8;
  }
  for (; size - p >= 4; ++p)
    if (text[p] == text[p + 1] && text[p] == text[p + 2] && text[p] == text[p + 3]) return p;
  return size;
}

// Appends `text` to `out` with its runs expanded: four equal bytes are followed by a count of as
// many more. False when a run of four ends the text without its count.
bool expand_runs(const std::uint8_t* text, std::uint32_t size, std::string& out) {
  std::size_t at = out.size();
  // Room for what is not yet copied is kept at hand; a run's count makes more when it must.
  out.resize(at + size);
  std::uint32_t begin = 0;
  for (std::uint32_t run; (run = find_run(text, begin, size)) != size;) {
    const std::uint32_t count = run + 4;
    if (count == size) return false;
    std::memcpy(out.data() + at, text + begin, count - begin);
    at += count - begin;
    const unsigned more = text[count];
    begin = count + 1;
    const std::size_t needed = at + more + (size - begin);
    if (needed > out.size()) out.resize(std::max(needed, out.size() + out.size() / 2));
    std::memset(out.data() + at, text[run], more);
    at += more;
  }
  std::memcpy(out.data() + at, text + begin, size - begin);
  out.resize(at + size - begin);
  return true;
}

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

std::optional<block_end> bzip2_block_decoder::decode(std::span<const std::uint8_t> data, std::uint64_t at,
                                                     std::uint32_t max_block, std::string& out) {
  max_block = std::min(max_block, largest_block);
  bit_reader bits(data, at);
  const std::uint32_t stored = bits.read(32);
  if (bits.read(1) != 0) return std::nullopt;
  const std::uint32_t origin = bits.read(24);
  if (room_ < max_block) {
    column_ = std::make_unique_for_overwrite<std::uint8_t[]>(max_block + 8);
    const std::size_t bytes = (std::size_t{max_block} * 4 + huge_page - 1) / huge_page * huge_page;
    rows_.reset(static_cast<std::uint32_t*>(std::aligned_alloc(huge_page, bytes)));
    if (!rows_) throw std::bad_alloc();
    madvise(rows_.get(), bytes, MADV_HUGEPAGE);
    ahead_ = std::make_unique_for_overwrite<std::uint8_t[]>(std::size_t{max_block} * ahead_factor);
    room_ = max_block;
  }
  const std::optional<std::uint32_t> size = read_block_column(bits, max_block, column_.get());
  if (!size || origin >= *size || !bits.inside()) return std::nullopt;

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

  read_text(next, *size, origin, ahead_.get(), column);

  const std::size_t before = out.size();
  if (!expand_runs(column, *size, out)) {
    out.resize(before);
    return std::nullopt;
  }
  const std::uint32_t crc = crc_of(reinterpret_cast<const std::uint8_t*>(out.data()) + before, out.size() - before);
  if (crc != stored) {
    out.resize(before);
    return std::nullopt;
  }
  return block_end{bits.position(), crc};
}
