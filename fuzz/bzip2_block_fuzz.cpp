// Fuzzes the bzip2 block decoder against libbz2. A first byte below 0x80 packs the rest with libbz2
// at the level it names, so that most inputs are whole streams; any other takes the rest as a
// stream as it stands. The blocks are decoded one after another from the magics found: the text of
// each block decoded must be libbz2's, and a stream libbz2 decodes must decode whole. Every other
// magic found is decoded too, for damage that must never crash.
#include <bzlib.h>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "read/bzip2/bits.h"
#include "read/bzip2/block.h"
#include "read/bzip2/magic.h"
#include "read/bzip2/text.h"

namespace {

// Texts longer than this are not compared: a few blocks of long runs reach it.
constexpr std::size_t most_text = std::size_t{64} << 20;

// libbz2's text of the stream's first stream, so far as it decodes; whether it decoded whole.
bool libbz2_text(const std::string& stream, std::string& text) {
  bz_stream z{};
  if (BZ2_bzDecompressInit(&z, 0, 0) != BZ_OK) std::abort();
  z.next_in = const_cast<char*>(stream.data());
  z.avail_in = static_cast<unsigned>(stream.size());
  int result = BZ_OK;
  while (result == BZ_OK && text.size() < most_text) {
    const std::size_t had = text.size();
    text.resize(had + (1 << 16));
    z.next_out = text.data() + had;
    z.avail_out = 1 << 16;
    result = BZ2_bzDecompress(&z);
    text.resize(had + (1 << 16) - z.avail_out);
    if (result == BZ_OK && z.avail_in == 0 && text.size() == had) result = BZ_UNEXPECTED_EOF;
  }
  BZ2_bzDecompressEnd(&z);
  return result == BZ_STREAM_END;
}

std::uint64_t bits_at(std::span<const std::uint8_t> data, std::uint64_t at, unsigned n) {
  bit_reader bits(data, at);
  return n > 32 ? std::uint64_t{bits.read(n - 32)} << 32 | bits.read(32) : bits.read(n);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  std::string stream(reinterpret_cast<const char*>(data + 1), size - 1);
  if (data[0] < 0x80) {
    stream.resize(stream.size() + stream.size() / 100 + 600);
    auto packed = static_cast<unsigned>(stream.size());
    if (BZ2_bzBuffToBuffCompress(stream.data(), &packed, const_cast<char*>(reinterpret_cast<const char*>(data + 1)),
                                 static_cast<unsigned>(size - 1), 1 + data[0] % 9, 0, 0) != BZ_OK)
      std::abort();
    stream.resize(packed);
  }
  std::string expected;
  const bool whole = libbz2_text(stream, expected);
  if (expected.size() >= most_text || stream.size() < 4 || stream.compare(0, 3, "BZh") != 0 || stream[3] < '1' ||
      stream[3] > '9')
    return 0;
  const std::span<const std::uint8_t> bytes(reinterpret_cast<const std::uint8_t*>(stream.data()), stream.size());
  const std::vector<magic_place> magics = find_bzip2_magics(bytes);
  const auto max_block = 100000 * static_cast<std::uint32_t>(stream[3] - '0');

  static bzip2_block_decoder decoder;
  std::string text;
  std::uint64_t at = 80;
  std::uint32_t combined = 0;
  bool randomised = false;
  for (;;) {
    const bool in_stream = at <= bytes.size() * 8;
    const std::uint64_t magic = in_stream && at >= 48 ? bits_at(bytes, at - 48, 48) : 0;
    const auto kind = static_cast<bzip2_magic>(magic);
    if (kind != bzip2_magic::block && kind != bzip2_magic::end) break;
    bool listed = false;
    for (const magic_place& place : magics) listed = listed || (place.bit == at && place.kind == kind);
    if (!listed) std::abort();
    if (kind == bzip2_magic::end) {
      if (whole && (text != expected || bits_at(bytes, at, 32) != combined)) std::abort();
      return 0;
    }
    randomised = bits_at(bytes, at + 32, 1) != 0;
    const decoded_block block = decoder.decode(bytes, at, max_block);
    if (block.how != decoded_block::verdict::whole) break;
    bzip2_runs runs(block.text());
    while (!runs.done() && text.size() < most_text) {
      char room[4096];
      std::span<char> out(room);
      runs.expand(out);
      text.append(room, sizeof room - out.size());
    }
    if (expected.compare(0, text.size(), text) != 0) std::abort();
    combined = (combined << 1 | combined >> 31) ^ block.end.crc;
    at = block.end.bit + 48;
  }
  if (whole && !randomised) std::abort();
  for (const magic_place& place : magics)
    if (place.kind == bzip2_magic::block) decoder.decode(bytes, place.bit, max_block);
  return 0;
}
