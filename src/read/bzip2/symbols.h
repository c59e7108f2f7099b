// The symbols of a bzip2 block: its byte map, Huffman tables and selectors, and the move-to-front
// and run-length coded symbols that they decode to the last column of the block's sorted text.
#pragma once

#include <cstdint>
#include <optional>

#include "read/bzip2/bits.h"

// Reads the rest of a block from `bits`, from its byte map to its end-of-block symbol, and writes
// the column it holds to `column`, which has room for max_block bytes and 8 more. The column's
// length; none when the tables are inconsistent, a code is not in its table, the column would be
// longer, or the bits run past the data's end.
std::optional<std::uint32_t> read_block_column(bit_reader& bits, std::uint32_t max_block, std::uint8_t* column);
