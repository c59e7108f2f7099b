// The compressed bytes of bzip2 streams held ahead of their reading, searched for magics as they come.
#include "read/bzip2/window.h"

#include <algorithm>

#include "read/bzip2/bits.h"

namespace {

constexpr unsigned magic_bits = 48;

}  // namespace

void bzip2_window::take(std::string_view& in, std::uint64_t keep, std::uint64_t at) {
  // The reading may come to need a few bits before its last keep: they stay.
  if (keep > base_) {
    bytes_.erase(0, static_cast<std::size_t>(keep - base_));
    base_ = keep;
  }
  while (!magics_.empty() && magics_.front().place.bit <= at) magics_.pop_front();
  const std::size_t n = std::min(in.size(), limit_ - bytes_.size());
  // A magic may begin in the last bytes held before, and end in those taken now.
  const std::size_t searched = bytes_.size() < magic_bits / 8 ? 0 : bytes_.size() - magic_bits / 8;
  bytes_.append(in.substr(0, n));
  in.remove_prefix(n);
  std::vector<magic_place> places = find_bzip2_magics(from(base_ + searched));
  for (magic_place& p : places) p.bit += 8 * (base_ + searched);
  for (std::uint64_t bit : planted_)
    if (bit > 8 * (base_ + searched) + magic_bits && bit <= end()) places.push_back({bit, bzip2_magic::block});
  std::sort(places.begin(), places.end(), [](const magic_place& a, const magic_place& b) { return a.bit < b.bit; });
  for (const magic_place& p : places) {
    if (p.bit <= at || (!magics_.empty() && p.bit <= magics_.back().place.bit)) continue;
    // A stream's first block stands right after its header, on a byte.
    const std::uint64_t begins = p.bit - magic_bits;
    const std::uint64_t byte = begins / 8;
    if (p.kind == bzip2_magic::block && begins % 8 == 0 && byte >= base_ + 4) {
      const std::span<const std::uint8_t> header = from(byte - 4).first(4);
      if (header[0] == 'B' && header[1] == 'Z' && header[2] == 'h' && header[3] >= '1' && header[3] <= '9')
        level_ = header[3] - '0';
    }
    magics_.push_back({p, level_});
  }
}

std::span<const std::uint8_t> bzip2_window::from(std::uint64_t first) const {
  return std::span(reinterpret_cast<const std::uint8_t*>(bytes_.data()), bytes_.size()).subspan(first - base_);
}

std::uint64_t bzip2_window::bits(std::uint64_t bit, unsigned n) const {
  bit_reader reader(from(base_), bit - 8 * base_);
  const std::uint64_t high = n > 32 ? reader.read(n - 32) : 0;
  return high << (n > 32 ? 32 : n) | reader.read(n > 32 ? 32 : n);
}

std::vector<std::uint8_t> bzip2_window::realigned(std::uint64_t bit, std::size_t most, bool padded) const {
  std::vector<std::uint8_t> bytes(std::min<std::uint64_t>(most, (end() - bit + (padded ? 7 : 0)) / 8));
  bit_reader reader(from(base_), bit - 8 * base_);
  for (std::uint8_t& byte : bytes) byte = static_cast<std::uint8_t>(reader.read(8));
  return bytes;
}
