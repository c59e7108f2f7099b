// A bzip2 block's text as its sorted bytes hold it, with runs still coded: its expansion, a piece
// at a time, and the CRC that the block keeps of it.
#pragma once

#include <cstdint>
#include <span>

// The CRC-32 that bzip2 keeps of each block's text, the most significant bit first.
class bzip2_crc {
 public:
  // Adds the bytes to the text that the CRC covers.
  void add(std::span<const char> bytes);
  // The CRC of the text added so far.
  std::uint32_t value() const { return ~crc_; }

 private:
  std::uint32_t crc_ = 0xffffffffu;
};

// A block's text expanded from its runs' coding, where four equal bytes are followed by a count of
// as many more, into pieces of any size. Reading stands at `at_`; the coded bytes before it are
// written, but for `fill_` more copies of the byte before it when a count was just read. `run_` is
// where the next four equal bytes begin, at or after the first byte not yet looked at for one; the
// coded length when there are none.
class bzip2_runs {
 public:
  // Expands `coded`, which must outlive this.
  explicit bzip2_runs(std::span<const std::uint8_t> coded);

  // Writes as much of the text as fits into the front of `out`, and drops what it wrote from it.
  void expand(std::span<char>& out);
  // Whether all of the text has been written.
  bool done() const { return at_ == coded_.size() && fill_ == 0; }
  // Whether the coding ended with four equal bytes and no count after them.
  bool count_missing() const { return count_missing_; }

 private:
  // Checks, in a debug build, the invariant told above.
  void check() const;

  std::span<const std::uint8_t> coded_;
  std::size_t at_ = 0;
  std::size_t run_;
  std::size_t fill_ = 0;
  bool count_missing_ = false;
};
