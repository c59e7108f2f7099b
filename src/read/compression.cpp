// Telling a log's format by its first bytes.
#include "read/compression.h"

#include <algorithm>
#include <bit>
#include <cstdint>

namespace {

// A signature: for each of its bytes, the lowest and the highest value allowed there.
struct signature {
  compression format;
  std::string_view low, high;
};

using namespace std::string_view_literals;

// The skippable frames that zstd and lz4 share; the frame after them tells which it is.
constexpr signature skippable{compression::zstd, "\x50\x2a\x4d\x18"sv, "\x5f\x2a\x4d\x18"sv};
constexpr signature lz4_frame{compression::lz4, "\x04\x22\x4d\x18"sv, "\x04\x22\x4d\x18"sv};

// Only the start of a skippable frame is here; the rest is behind_skippable's. A legacy .lzma
// header is all but free: its properties byte, then the checks of lzma_header_plausible.
constexpr signature signatures[] = {
    {compression::gzip, "\x1f\x8b"sv, "\x1f\x8b"sv},
    {compression::zstd, "\x28\xb5\x2f\xfd"sv, "\x28\xb5\x2f\xfd"sv},
    skippable,
    {compression::xz, "\xfd\x37\x7a\x58\x5a\x00"sv, "\xfd\x37\x7a\x58\x5a\x00"sv},
    {compression::bzip2, "BZh11AY&SY"sv, "BZh91AY&SY"sv},
    {compression::bzip2, "BZh1\x17\x72\x45\x38\x50\x90"sv, "BZh9\x17\x72\x45\x38\x50\x90"sv},
    lz4_frame,
    {compression::lzip, "LZIP\x00"sv, "LZIP\x01"sv},
    {compression::lzma, "\x5d\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00"sv,
     "\x5d\xff\xff\xff\xff\xff\xff\xff\xff\xff\xff\xff\xff"sv},
    {compression::refused, "\x1f\x9d"sv, "\x1f\x9d"sv},                                        // compress
    {compression::refused, "\x1f\x1e"sv, "\x1f\x1e"sv},                                        // pack
    {compression::refused, "\x89LZO\x00\x0d\x0a\x1a\x0a"sv, "\x89LZO\x00\x0d\x0a\x1a\x0a"sv},  // lzop
    {compression::refused, "\x02\x21\x4c\x18"sv, "\x02\x21\x4c\x18"sv},                        // lz4 -l
    {compression::archive, "PK\x03\x04"sv, "PK\x03\x04"sv},                                    // zip
    {compression::archive, "PK\x05\x06"sv, "PK\x05\x06"sv},                                    // empty zip
};

// Skippable frames are looked past within this many bytes; a log whose first frame lies further
// is taken for zstd.
constexpr std::size_t skippable_reach = std::size_t{64} * 1024;

// Where the magic of a tar header begins, which tar_opening ends.
constexpr std::size_t tar_magic = 257;

// The number of bytes at the front of head that fit the signature.
std::size_t fitting(std::string_view head, const signature& s) {
  const auto byte = [](std::string_view bytes, std::size_t i) { return static_cast<unsigned char>(bytes[i]); };
  std::size_t n = 0;
  while (n < std::min(head.size(), s.low.size()) && byte(head, n) >= byte(s.low, n) && byte(head, n) <= byte(s.high, n))
    ++n;
  return n;
}

// The little-endian number in the bytes of `bytes`.
std::uint64_t little_endian(std::string_view bytes) {
  std::uint64_t value = 0;
  for (std::size_t i = 0; i < bytes.size(); ++i)
    value |= std::uint64_t{static_cast<unsigned char>(bytes[i])} << (8 * i);
  return value;
}

// The format of a log that begins with a skippable frame: lz4 when an lz4 frame follows the
// skippable ones, zstd otherwise.
std::optional<compression> behind_skippable(std::string_view head, bool more_may_come) {
  const std::optional<compression> undecided = more_may_come ? std::nullopt : std::optional(compression::zstd);
  std::size_t at = 0;
  for (;;) {
    const std::string_view rest = head.substr(at);
    if (fitting(rest, lz4_frame) == 4) return compression::lz4;
    if (fitting(rest, skippable) < 4) {
      const bool partly = fitting(rest, skippable) == rest.size() || fitting(rest, lz4_frame) == rest.size();
      return partly ? undecided : compression::zstd;
    }
    if (rest.size() < 8) return undecided;
    at += 8 + little_endian(rest.substr(4, 4));
    if (at >= skippable_reach) return compression::zstd;
    if (head.size() < at) return undecided;
  }
}

// The bits in which the six bytes differ from the nearest bzip2 magic.
int bzip2_magic_distance(std::string_view six) {
  int nearest = 48;
  for (std::string_view magic : {"1AY&SY"sv, "\x17\x72\x45\x38\x50\x90"sv}) {
    int distance = 0;
    for (std::size_t i = 0; i < 6; ++i)
      distance += std::popcount(static_cast<unsigned>(static_cast<unsigned char>(six[i] ^ magic[i])));
    nearest = std::min(nearest, distance);
  }
  return nearest;
}

}  // namespace

bool lzma_header_plausible(std::string_view header) {
  if (header.size() != signature_size || header[0] != '\x5d') return false;
  const std::uint64_t dictionary = little_endian(header.substr(1, 4));
  const std::uint64_t size = little_endian(header.substr(5, 8));
  // xz's own checks of a .lzma header: a dictionary of 2^n or 3 * 2^(n-1) bytes, here of at least
  // 4 KiB as every encoder makes it, and a size that is unknown or under 256 GiB.
  const bool dictionary_fits = dictionary >= 4096 && (std::has_single_bit(dictionary) ||
                                                      (dictionary % 3 == 0 && std::has_single_bit(dictionary / 3)));
  return dictionary_fits && (size == ~std::uint64_t{0} || size < std::uint64_t{1} << 38);
}

std::optional<compression> compression_of(std::string_view head, bool more_may_come) {
  bool partly = false;
  if (fitting(head, skippable) == 4) return behind_skippable(head, more_may_come);
  for (const signature& s : signatures) {
    const std::size_t n = fitting(head, s);
    if (n == s.low.size() && s.format == compression::lzma && !lzma_header_plausible(head.substr(0, n))) continue;
    if (n == s.low.size()) return s.format;
    partly = partly || n == head.size();
  }
  // A bzip2 header whose first magic is off by a bit or two is a damaged stream: no text begins so.
  if (head.size() >= 4 && head.starts_with("BZh"sv) && head[3] >= '1' && head[3] <= '9') {
    if (head.size() < 10 && more_may_come) return std::nullopt;
    if (head.size() >= 10 && bzip2_magic_distance(head.substr(4, 6)) <= 2) return compression::bzip2;
  }
  if (partly && more_may_come) return std::nullopt;
  return compression::none;
}

bool tar_header(std::string_view text) {
  const std::string_view magic = text.substr(std::min(text.size(), tar_magic));
  return magic.starts_with("ustar\0"sv) || magic.starts_with("ustar  \0"sv);
}
