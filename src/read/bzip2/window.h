// The compressed bytes of bzip2 streams held ahead of their reading, and the magics found in them.
#pragma once

#include <algorithm>
#include <cstdint>
#include <deque>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "read/bzip2/magic.h"

// A magic found, and the level of the stream it lies in as far as the search can tell.
struct found_magic {
  magic_place place;
  unsigned level;
};

// The bytes of the streams from byte base() on, up to `limit` of them, and the magics found in them
// in order, each after the bit that the reading was last said to stand at.
class bzip2_window {
 public:
  // Holds up to `limit` bytes, at least 16. The bits in `planted` (each just after where a magic
  // would stand) are taken for block magics too, as a magic that compressed data holds by chance
  // would be.
  bzip2_window(std::size_t limit, std::vector<std::uint64_t> planted)
      : limit_(std::max<std::size_t>(limit, 16)), planted_(std::move(planted)) {
    // Taken whole at once: growing by steps would hold the old bytes beside the new.
    bytes_.reserve(limit_);
  }

  // Drops the bytes before byte `keep` and the magics up to bit `at`, then takes what of `in` there
  // is room for, dropping it from `in`, and finds the magics in it.
  void take(std::string_view& in, std::uint64_t keep, std::uint64_t at);

  // The first byte held, and the bit just past the last.
  std::uint64_t base() const { return base_; }
  std::uint64_t end() const { return 8 * (base_ + bytes_.size()); }
  std::size_t limit() const { return limit_; }
  // How many bytes past byte `keep` are held, and whether that is all there is room for.
  std::size_t held(std::uint64_t keep) const { return static_cast<std::size_t>(end() / 8 - std::max(keep, base_)); }
  bool full(std::uint64_t keep) const { return held(keep) == limit_; }
  // The bytes held from byte `first` on.
  std::span<const std::uint8_t> from(std::uint64_t first) const;
  // The n bits (up to 48) from bit `bit` on, which must be held.
  std::uint64_t bits(std::uint64_t bit, unsigned n) const;
  // The held bits from bit `bit` on, 8 to a byte, at most `most` bytes of them; with `padded`, the
  // bits that do not fill a byte as well, followed by zeros.
  std::vector<std::uint8_t> realigned(std::uint64_t bit, std::size_t most, bool padded) const;
  // The magics found after the bit last given to take().
  const std::deque<found_magic>& magics() const { return magics_; }

 private:
  std::size_t limit_;
  std::vector<std::uint64_t> planted_;
  std::string bytes_;
  std::uint64_t base_ = 0;
  std::deque<found_magic> magics_;
  unsigned level_ = 9;  // of the last stream header found
};
