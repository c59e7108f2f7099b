// A block of a bzip2 stream framed as a stream of its own and decoded by libbz2.
#include "bzip2_framed.h"

#include <vector>

#include "bzip2_bits.h"
#include "bzip2_magic.h"
#include "inflaters.h"

#if ORNSUM_BZIP2
#include <bzlib.h>
#endif

namespace {

// No block's text is longer: 900,000 bytes sorted, each run of four and its count of up to 255
// coming to 259 bytes of text.
constexpr std::size_t longest_text = std::size_t{900000} / 5 * 259 + 4;

// Bytes written a bit at a time, the most significant bit of each byte first.
class bit_writer {
 public:
  // Appends the n low bits of value (up to 32).
  void put(std::uint64_t value, unsigned n) {
    buffer_ = buffer_ << n | (value & ((std::uint64_t{1} << n) - 1));
    count_ += n;
    while (count_ >= 8) {
      count_ -= 8;
      bytes_.push_back(static_cast<std::uint8_t>(buffer_ >> count_));
    }
  }
  // The bytes, the last one filled with zero bits.
  std::vector<std::uint8_t> finish() {
    if (count_ > 0) put(0, 8 - count_);
    return std::move(bytes_);
  }

 private:
  std::vector<std::uint8_t> bytes_;
  std::uint64_t buffer_ = 0;
  unsigned count_ = 0;
};

}  // namespace

bzip2_framed frame_block(std::span<const std::uint8_t> data, std::uint64_t from, std::uint64_t to, unsigned level,
                         const std::uint32_t* crc) {
  bzip2_framed framed;
#if ORNSUM_BZIP2
  bit_writer frame;
  for (char c : {'B', 'Z', 'h'}) frame.put(static_cast<std::uint8_t>(c), 8);
  frame.put('0' + level, 8);
  bit_reader bits(data, from);
  for (std::uint64_t left = to - from; left > 0;) {
    const auto n = static_cast<unsigned>(std::min<std::uint64_t>(left, 32));
    frame.put(bits.read(n), n);
    left -= n;
  }
  if (crc != nullptr) {
    frame.put(static_cast<std::uint64_t>(bzip2_magic::end) >> 24, 24);
    frame.put(static_cast<std::uint64_t>(bzip2_magic::end), 24);
    frame.put(*crc, 32);
  }
  std::vector<std::uint8_t> in = frame.finish();
  bz_stream stream{};
  if (BZ2_bzDecompressInit(&stream, 0, 0) != BZ_OK) return framed;
  stream.next_in = reinterpret_cast<char*>(in.data());
  stream.avail_in = part_of<unsigned>(in.size());
  int result = BZ_OK;
  while (result == BZ_OK && framed.text.size() < longest_text) {
    const std::size_t had = framed.text.size();
    framed.text.resize(had + (std::size_t{1} << 20));
    stream.next_out = framed.text.data() + had;
    stream.avail_out = 1u << 20;
    result = BZ2_bzDecompress(&stream);
    framed.text.resize(framed.text.size() - stream.avail_out);
    if (result == BZ_OK && stream.avail_in == 0 && stream.avail_out > 0) break;
  }
  BZ2_bzDecompressEnd(&stream);
  framed.whole = crc != nullptr && result == BZ_STREAM_END && stream.avail_in == 0;
#else
  (void)data, (void)from, (void)to, (void)level, (void)crc;
#endif
  return framed;
}
