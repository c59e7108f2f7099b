// Telling a log's format by its first bytes.
#include "compression.h"

#include <algorithm>

namespace {

// A signature: for each of its bytes, the lowest and the highest value allowed there.
struct signature {
  compression format;
  std::string_view low, high;
};

// zstd's own frames may follow skippable ones, whose magic number ends in any of sixteen values.
// A bzip2 stream begins with a block, or ends at once when it is empty.
constexpr signature signatures[] = {
    {compression::gzip, "\x1f\x8b", "\x1f\x8b"},
    {compression::zstd, "\x28\xb5\x2f\xfd", "\x28\xb5\x2f\xfd"},
    {compression::zstd, "\x50\x2a\x4d\x18", "\x5f\x2a\x4d\x18"},
    {compression::xz, std::string_view("\xfd\x37\x7a\x58\x5a\x00", 6), std::string_view("\xfd\x37\x7a\x58\x5a\x00", 6)},
    {compression::bzip2, "BZh11AY&SY", "BZh91AY&SY"},
    {compression::bzip2, "BZh1\x17\x72\x45\x38\x50\x90", "BZh9\x17\x72\x45\x38\x50\x90"},
};

// The number of bytes at the front of head that fit the signature.
std::size_t fitting(std::string_view head, const signature& s) {
  std::size_t n = 0;
  while (n < std::min(head.size(), s.low.size()) && head[n] >= s.low[n] && head[n] <= s.high[n]) ++n;
  return n;
}

}  // namespace

std::optional<compression> compression_of(std::string_view head, bool more_may_come) {
  bool partly = false;
  for (const signature& s : signatures) {
    const std::size_t n = fitting(head, s);
    if (n == s.low.size()) return s.format;
    partly = partly || n == head.size();
  }
  if (partly && more_may_come) return std::nullopt;
  return compression::none;
}
