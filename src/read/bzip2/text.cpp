// A bzip2 block's text: its runs expanded a piece at a time, and its CRC eight bytes at a time.
#include "read/bzip2/text.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cassert>
#include <cstring>

namespace {

// What a byte contributes to the CRC when 0 to 7 bytes follow it, so that the CRC takes eight bytes
// at a time.
constexpr auto crc_tables = [] {
  std::array<std::array<std::uint32_t, 256>, 8> tables{};
  for (std::uint32_t byte = 0; byte < 256; ++byte) {
    std::uint32_t crc = byte << 24;
    for (int bit = 0; bit < 8; ++bit) crc = (crc & 0x80000000u) != 0 ? crc << 1 ^ 0x04c11db7u : crc << 1;
    tables[0][byte] = crc;
  }
  for (std::size_t k = 1; k < 8; ++k)
    for (std::size_t byte = 0; byte < 256; ++byte)
      tables[k][byte] = tables[k - 1][byte] << 8 ^ tables[0][tables[k - 1][byte] >> 24];
  return tables;
}();

// Where the first four equal bytes in text[from, size) begin; size when nowhere. Eight bytes are
// compared with their neighbours at a time, as most texts have few such runs.
std::size_t find_run(const std::uint8_t* text, std::size_t from, std::size_t size) {
  constexpr std::uint64_t low7 = 0x7f7f7f7f7f7f7f7f;
  std::size_t p = from;
  for (; size - p >= 8; p += 5) {
    std::uint64_t word;
    std::memcpy(&word, text + p, 8);
    if constexpr (std::endian::native == std::endian::big) word = __builtin_bswap64(word);
    const std::uint64_t changes = word ^ word >> 8;
    const std::uint64_t equal = ~(((changes & low7) + low7) | changes | low7);
    const std::uint64_t runs = equal & equal >> 8 & equal >> 16 & 0x8080808080;
    if (runs != 0) return p + static_cast<std::size_t>(__builtin_ctzll(runs)) / 8;
  }
  for (; size - p >= 4; ++p)
    if (text[p] == text[p + 1] && text[p] == text[p + 2] && text[p] == text[p + 3]) return p;
  return size;
}

}  // namespace

void bzip2_crc::add(std::span<const char> bytes) {
  const auto& t = crc_tables;
  const auto* p = reinterpret_cast<const std::uint8_t*>(bytes.data());
  std::size_t size = bytes.size();
  std::uint32_t crc = crc_;
  for (; size >= 8; p += 8, size -= 8) {
    std::uint32_t high;
    std::uint32_t low;
    std::memcpy(&high, p, 4);
    std::memcpy(&low, p + 4, 4);
    high = __builtin_bswap32(high) ^ crc;
    low = __builtin_bswap32(low);
    crc = t[7][high >> 24] ^ t[6][high >> 16 & 0xff] ^ t[5][high >> 8 & 0xff] ^ t[4][high & 0xff] ^ t[3][low >> 24] ^
          t[2][low >> 16 & 0xff] ^ t[1][low >> 8 & 0xff] ^ t[0][low & 0xff];
  }
  for (; size != 0; --size) crc = crc << 8 ^ t[0][(crc >> 24) ^ *p++];
  crc_ = crc;
}

bzip2_runs::bzip2_runs(std::span<const std::uint8_t> coded)
    : coded_(coded), run_(find_run(coded.data(), 0, coded.size())) {
  check();
}

void bzip2_runs::expand(std::span<char>& out) {
  const std::size_t size = coded_.size();
  while (!out.empty() && !done()) {
    std::size_t n;
    if (fill_ > 0) {
      n = std::min(fill_, out.size());
      std::memset(out.data(), coded_[at_ - 2], n);
      fill_ -= n;
    } else if (at_ < run_ + 4) {
      // The bytes up to the end of the next four equal ones, which a count follows.
      n = std::min(std::min(run_ + 4, size) - at_, out.size());
      std::memcpy(out.data(), coded_.data() + at_, n);
      at_ += n;
      count_missing_ = at_ == size && run_ + 4 == size;
    } else {
      n = 0;
      fill_ = coded_[at_++];
      run_ = find_run(coded_.data(), at_, size);
    }
    out = out.subspan(n);
  }
  check();
}

void bzip2_runs::check() const {
  assert(at_ <= coded_.size() && fill_ <= 255);
  assert(run_ == coded_.size() || (run_ + 4 <= coded_.size() && at_ <= run_ + 4));
  assert(fill_ == 0 || at_ >= 5);
}
