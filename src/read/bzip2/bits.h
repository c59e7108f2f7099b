// Reading the bits of a bzip2 stream held in memory, most significant bit of each byte first.
#pragma once

#include <cstdint>
#include <cstring>
#include <span>

// A reader that takes the bytes a word at a time into a 64-bit buffer. Past the end of the data it
// reads zeros, so that decoding a damaged block runs on without a check at every bit; inside()
// tells afterwards whether anything past the end was used.
class bit_reader {
 public:
  // Reads `data` from bit `at` on, counted from the first byte's most significant bit.
  bit_reader(std::span<const std::uint8_t> data, std::uint64_t at) : data_(data), next_(at / 8) {
    refill();
    skip(static_cast<unsigned>(at % 8));
  }

  // Makes at least 56 bits available to peek().
  void refill() {
    if (next_ + 8 <= data_.size()) {
      std::uint64_t word;
      std::memcpy(&word, data_.data() + next_, 8);
      buffer_ |= __builtin_bswap64(word) >> count_;
      next_ += (63 - count_) / 8;
      count_ |= 56;
      return;
    }
    for (; count_ <= 56; count_ += 8, ++next_)
      if (next_ < data_.size()) buffer_ |= std::uint64_t{data_[next_]} << (56 - count_);
  }
  // The next n bits (1 to 56, within what was refilled), not taken.
  std::uint32_t peek(unsigned n) const { return static_cast<std::uint32_t>(buffer_ >> (64 - n)); }
  // Takes n bits (fewer than 64, within what was refilled).
  void skip(unsigned n) {
    buffer_ <<= n;
    count_ -= n;
  }
  // Takes the next n bits (1 to 32).
  std::uint32_t read(unsigned n) {
    if (count_ < n) refill();
    const std::uint32_t bits = peek(n);
    skip(n);
    return bits;
  }
  // How many bits are available to peek() without a refill.
  unsigned available() const { return count_; }
  // The bit that comes next, counted from the first byte's most significant bit.
  std::uint64_t position() const { return next_ * 8 - count_; }
  // Whether every bit taken so far lies inside the data.
  bool inside() const { return position() <= data_.size() * 8; }

 private:
  std::span<const std::uint8_t> data_;
  std::uint64_t buffer_ = 0;  // the next bits, from the most significant on
  unsigned count_ = 0;        // how many of them are the data's
  std::size_t next_;          // the first byte not yet in the buffer
};
