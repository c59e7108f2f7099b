// Decoding a bzip2 block's symbols: table-driven Huffman codes, runs and the move-to-front list.
#include "read/bzip2/symbols.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>

namespace {

constexpr unsigned max_groups = 6;
constexpr unsigned max_alphabet = 258;
constexpr unsigned max_length = 20;
// Selectors past this many are read and checked, but never used: no block holds more symbols
// than their groups cover.
constexpr unsigned max_selectors = 18002;
constexpr unsigned group_size = 50;
// The codes no longer than this are found with one look into a table.
constexpr unsigned fast_bits = 10;

// The Huffman code of one group. Codes are given in order of length, then of symbol; a table
// whose lengths claim more codes than there are gets only those that fit, as bzip2 decodes it.
struct huffman_table {
  // For each value of the next fast_bits bits, the symbol << 5 | its length; 0 for a longer code
  // or none.
  std::array<std::uint16_t, 1 << fast_bits> fast;
  // For each length, the first code and the one past the last, and where its symbols begin in
  // `symbols`.
  std::array<std::uint32_t, max_length + 1> first;
  std::array<std::uint32_t, max_length + 1> end;
  std::array<std::uint16_t, max_length + 1> base;
  std::array<std::uint16_t, max_alphabet> symbols;
  unsigned longest;
};

// Builds a table from the length of each symbol's code (1 to 20).
void build(huffman_table& table, const std::uint8_t* lengths, unsigned alphabet) {
  table.fast.fill(0);
  table.end.fill(0);
  table.first.fill(0);
  const unsigned shortest = *std::min_element(lengths, lengths + alphabet);
  table.longest = *std::max_element(lengths, lengths + alphabet);
  std::uint32_t code = 0;
  std::uint16_t index = 0;
  for (unsigned length = shortest; length <= table.longest; ++length, code <<= 1) {
    table.first[length] = code;
    table.base[length] = index;
    for (unsigned symbol = 0; symbol < alphabet; ++symbol) {
      if (lengths[symbol] != length) continue;
      table.symbols[index++] = static_cast<std::uint16_t>(symbol);
      if (length <= fast_bits && code < (1u << length)) {
        const unsigned spread = fast_bits - length;
        std::fill_n(table.fast.begin() + (code << spread), 1u << spread,
                    static_cast<std::uint16_t>(symbol << 5 | length));
      }
      ++code;
    }
    table.end[length] = code;
  }
}

// The next symbol of a table, with at least max_length bits available; none for bits that are no
// code.
inline std::optional<unsigned> decode(bit_reader& bits, const huffman_table& table) {
  const unsigned entry = table.fast[bits.peek(fast_bits)];
  if (entry != 0) {
    bits.skip(entry & 31);
    return entry >> 5;
  }
  for (unsigned length = fast_bits + 1; length <= table.longest; ++length) {
    const std::uint32_t code = bits.peek(length);
    if (code < table.end[length]) {
      bits.skip(length);
      return table.symbols[table.base[length] + code - table.first[length]];
    }
  }
  return std::nullopt;
}

// Moves the byte at `place` of the list to its front. Most places are near the front, where the
// first eight bytes shift as one word.
inline void move_to_front(std::uint8_t* list, unsigned place) {
  if (place >= 8 || std::endian::native != std::endian::little) {
    const std::uint8_t byte = list[place];
    std::memmove(list + 1, list, place);
    list[0] = byte;
    return;
  }
  std::uint64_t word;
  std::memcpy(&word, list, 8);
  const unsigned shift = 8 * place;
  const std::uint64_t moved = ~std::uint64_t{0} >> (56 - shift);
  const std::uint64_t byte = word >> shift & 0xff;
  word = (word & ~moved) | ((word << 8) & moved & ~std::uint64_t{0xff}) | byte;
  std::memcpy(list, &word, 8);
}

// Reads which bytes the block holds into `bytes`, in order; their count.
unsigned read_byte_map(bit_reader& bits, std::array<std::uint8_t, 256>& bytes) {
  unsigned count = 0;
  const std::uint32_t ranges = bits.read(16);
  for (unsigned range = 0; range < 16; ++range) {
    if ((ranges >> (15 - range) & 1) == 0) continue;
    const std::uint32_t used = bits.read(16);
    for (unsigned i = 0; i < 16; ++i)
      if (used >> (15 - i) & 1) bytes[count++] = static_cast<std::uint8_t>(range * 16 + i);
  }
  return count;
}

// Reads the selectors, each the group of 50 symbols that it stands for; their count, or none.
std::optional<unsigned> read_selectors(bit_reader& bits, unsigned groups, std::uint8_t* selectors) {
  const unsigned count = bits.read(15);
  if (count == 0) return std::nullopt;
  std::array<std::uint8_t, max_groups> order = {0, 1, 2, 3, 4, 5};
  for (unsigned i = 0; i < count; ++i) {
    unsigned position = 0;
    while (bits.read(1) != 0)
      if (++position == groups) return std::nullopt;
    if (i >= max_selectors) continue;
    const std::uint8_t group = order[position];
    std::copy_backward(order.begin(), order.begin() + position, order.begin() + position + 1);
    order[0] = selectors[i] = group;
  }
  return std::min(count, max_selectors);
}

// Reads the code lengths of a group, each a change from the one before, into `lengths`.
bool read_lengths(bit_reader& bits, unsigned alphabet, std::uint8_t* lengths) {
  unsigned length = bits.read(5);
  for (unsigned symbol = 0; symbol < alphabet; ++symbol) {
    for (;;) {
      if (length < 1 || length > max_length) return false;
      if (bits.read(1) == 0) break;
      length = bits.read(1) == 0 ? length + 1 : length - 1;
    }
    lengths[symbol] = static_cast<std::uint8_t>(length);
  }
  return true;
}

}  // namespace

std::optional<std::uint32_t> read_block_column(bit_reader& bits, std::uint32_t max_block, std::uint8_t* column) {
  std::array<std::uint8_t, 256> front;
  const unsigned used = read_byte_map(bits, front);
  if (used == 0) return std::nullopt;
  const unsigned alphabet = used + 2;
  const unsigned end_of_block = used + 1;
  const unsigned groups = bits.read(3);
  if (groups < 2 || groups > max_groups) return std::nullopt;
  std::array<std::uint8_t, max_selectors> selectors;
  const std::optional<unsigned> selector_count = read_selectors(bits, groups, selectors.data());
  if (!selector_count) return std::nullopt;
  std::array<huffman_table, max_groups> tables;
  for (unsigned group = 0; group < groups; ++group) {
    std::array<std::uint8_t, max_alphabet> lengths;
    if (!read_lengths(bits, alphabet, lengths.data())) return std::nullopt;
    build(tables[group], lengths.data(), alphabet);
  }

  // Symbols 0 and 1 write a run of the byte at the front in bijective base 2, least significant
  // digit first; any other moves the byte at its place less one to the front and writes it.
  std::uint32_t size = 0;
  std::uint32_t run = 0;
  std::uint32_t weight = 1;
  unsigned selector = 0;
  unsigned left = 0;
  const huffman_table* table = nullptr;
  for (;;) {
    if (left == 0) {
      // Past the data's end only zeros are read: no need to decode them as far as max_block.
      if (selector == *selector_count || !bits.inside()) return std::nullopt;
      table = &tables[selectors[selector++]];
      left = group_size;
    }
    --left;
    bits.refill();
    const std::optional<unsigned> symbol = decode(bits, *table);
    if (!symbol) return std::nullopt;
    if (*symbol <= 1) {
      run += weight << *symbol;
      weight <<= 1;
      if (run > max_block) return std::nullopt;
      continue;
    }
    if (run != 0) {
      if (run > max_block - size) return std::nullopt;
      // Most runs are short: a word of the byte covers them, in the room past max_block.
      if (run <= 8) {
        const std::uint64_t word = std::uint64_t{front[0]} * 0x0101010101010101u;
        std::memcpy(column + size, &word, 8);
      } else {
        std::memset(column + size, front[0], run);
      }
      size += run;
      run = 0;
      weight = 1;
    }
    if (*symbol == end_of_block) return size;
    if (size == max_block) return std::nullopt;
    const unsigned place = *symbol - 1;
    const std::uint8_t byte = front[place];
    move_to_front(front.data(), place);
    column[size++] = byte;
  }
}
