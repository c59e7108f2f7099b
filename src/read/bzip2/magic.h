// Finding the magics of bzip2 that begin each block and end each stream, at any bit.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

// The 48-bit magics of bzip2: before each block, and before the CRC that ends a stream.
enum class bzip2_magic : std::uint64_t { block = 0x314159265359, end = 0x177245385090 };

// A magic found, and the bit just after it, counted from the first byte's most significant bit.
struct magic_place {
  std::uint64_t bit;
  bzip2_magic kind;
  friend bool operator==(const magic_place&, const magic_place&) = default;
};

// Every place where a magic stands whole in `data`, at any bit, in order.
std::vector<magic_place> find_bzip2_magics(std::span<const std::uint8_t> data);
