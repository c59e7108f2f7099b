// The magic search: aligned 16-bit words looked up in a set, and a whole comparison where one is in.
#include "read/bzip2/magic.h"

#include <array>
#include <cstring>

namespace {

constexpr std::array<bzip2_magic, 2> magics = {bzip2_magic::block, bzip2_magic::end};

// The 16 bits of a magic that stand `skip` bits after its first.
constexpr std::uint32_t piece(bzip2_magic magic, unsigned skip) {
  return static_cast<std::uint32_t>(static_cast<std::uint64_t>(magic) >> (32 - skip) & 0xffff);
}

// A magic that begins at any bit holds whole the 16-bit word that begins at the first even byte
// from 0 to 15 bits into it: the set of these pieces, a bit for each 16-bit value.
constexpr auto pieces = [] {
  std::array<std::uint64_t, 1024> set{};
  for (bzip2_magic magic : magics)
    for (unsigned skip = 0; skip < 16; ++skip)
      set[piece(magic, skip) / 64] |= std::uint64_t{1} << (piece(magic, skip) % 64);
  return set;
}();

// 1 when a 16-bit word is among the pieces, else 0.
std::uint64_t in_pieces(std::uint64_t word) { return pieces[word / 64] >> (word % 64) & 1; }

// The 48 bits of `data` from bit `at` on, which lie inside it.
std::uint64_t bits_at(std::span<const std::uint8_t> data, std::uint64_t at) {
  std::uint64_t window = 0;
  for (std::uint64_t byte = at / 8; byte < at / 8 + 7; ++byte)
    window = window << 8 | (byte < data.size() ? data[byte] : 0);
  return window >> (8 - at % 8) & 0xffffffffffff;
}

// Adds the magics whose first whole aligned word begins at byte `word`.
void check_word(std::span<const std::uint8_t> data, std::size_t word, std::vector<magic_place>& found) {
  const std::uint32_t value = std::uint32_t{data[word]} << 8 | data[word + 1];
  for (unsigned skip = 16; skip-- > 0;) {
    const std::uint64_t start = word * 8;
    if (start < skip || start - skip + 48 > data.size() * 8) continue;
    for (bzip2_magic magic : magics)
      if (piece(magic, skip) == value && bits_at(data, start - skip) == static_cast<std::uint64_t>(magic))
        found.push_back({start - skip + 48, magic});
  }
}

}  // namespace

std::vector<magic_place> find_bzip2_magics(std::span<const std::uint8_t> data) {
  std::vector<magic_place> found;
  std::size_t word = 0;
  for (; word + 8 <= data.size(); word += 8) {
    std::uint64_t x;
    std::memcpy(&x, data.data() + word, 8);
    x = __builtin_bswap64(x);
    if ((in_pieces(x >> 48) | in_pieces(x >> 32 & 0xffff) | in_pieces(x >> 16 & 0xffff) | in_pieces(x & 0xffff)) == 0)
      continue;
    for (std::size_t k = word; k < word + 8; k += 2) check_word(data, k, found);
  }
  for (; word + 2 <= data.size(); word += 2) check_word(data, word, found);
  return found;
}
