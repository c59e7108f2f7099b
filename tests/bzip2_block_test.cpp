// bzip2 blocks decoded one at a time from their magics: the text the bzip2 tool packed, block by
// block, with the stream's CRC; damage refused; magics found at every bit.
#include <gtest/gtest.h>

#include "read/bzip2/block.h"
#include "read/bzip2/magic.h"
#include "read/bzip2/text.h"
#include "scratch.h"

namespace {

std::span<const std::uint8_t> bytes_of(const std::string& s) {
  return {reinterpret_cast<const std::uint8_t*>(s.data()), s.size()};
}

// The text that a block's coded text expands to, written into pieces of `piece` bytes.
std::string expanded(std::span<const std::uint8_t> coded, std::size_t piece) {
  bzip2_runs runs(coded);
  std::string text;
  while (!runs.done()) {
    std::string room(piece, '\0');
    std::span<char> out(room);
    runs.expand(out);
    text.append(room, 0, piece - out.size());
  }
  return text;
}

// A text of n lines that vary as a log's do.
std::string lines(int n) {
  std::string text;
  for (std::uint32_t i = 1; i <= static_cast<std::uint32_t>(n); ++i)
    text +=
        "+ 05 Dec 12:34:56 [" + std::to_string(i * 2654435761u % 99991) + "] done (to 2:" + std::to_string(i) + ")\n";
  return text;
}

// Runs of each length from 1 to 600 of bytes that take turns, and each byte value in turn.
std::string runs() {
  std::string text;
  for (int n = 1; n <= 600; ++n) text.append(static_cast<std::size_t>(n), "ab\0\xff"[n % 4]);
  for (int byte = 0; byte < 256; ++byte) text += static_cast<char>(byte);
  return text;
}

struct packed_case {
  const char* name;
  std::string text;
};

const packed_case packed_cases[] = {
    {"one_byte", "x"},
    {"runs_and_every_byte", runs()},
    {"a_million_equal_bytes", std::string(1000000, 'z')},
    {"lines_over_several_blocks", lines(9000)},
};

// The text of a stream decoded block after block from its magics, each block ending where the next
// magic begins; and how the blocks' CRCs combine against the stream's own.
std::string decode_stream(const std::string& stream, std::size_t piece) {
  const std::vector<magic_place> magics = find_bzip2_magics(bytes_of(stream));
  bzip2_block_decoder decoder;
  std::string text;
  std::uint32_t combined = 0;
  for (std::size_t i = 0; i + 1 < magics.size(); ++i) {
    const decoded_block block =
        decoder.decode(bytes_of(stream), magics[i].bit, 100000 * static_cast<std::uint32_t>(stream[3] - '0'));
    if (magics[i].kind != bzip2_magic::block || block.how != decoded_block::verdict::whole)
      return "block " + std::to_string(i) + " not decoded";
    if (block.end.bit + 48 != magics[i + 1].bit) return "block " + std::to_string(i) + " ends elsewhere";
    text += expanded(block.text(), piece);
    combined = (combined << 1 | combined >> 31) ^ block.end.crc;
  }
  const std::uint64_t crc_at = magics.back().bit / 8;
  std::uint64_t stored = 0;
  for (int k = 0; k < 5; ++k)
    stored = stored << 8 | static_cast<std::uint8_t>(stream[crc_at + static_cast<unsigned>(k)]);
  stored = static_cast<std::uint32_t>(stored >> (8 - magics.back().bit % 8));
  return magics.back().kind == bzip2_magic::end && stored == combined ? text : "stream CRC differs";
}

class packed : public testing::TestWithParam<packed_case> {};

TEST_P(packed, blocks_decode_to_the_text_at_levels_1_and_9_in_pieces_of_any_size) {
  scratch dir;
  dir.put("t", GetParam().text);
  for (const char* level : {"-1", "-9"}) {
    const std::string stream = dir.run(std::string("bzip2 -c ") + level + " t").out;
    for (std::size_t piece : {1u, 3u, 4u, 5u, 259u, 65536u})
      EXPECT_TRUE(decode_stream(stream, piece) == GetParam().text) << level << ", pieces of " << piece;
  }
}

std::string packed_name(const testing::TestParamInfo<packed_case>& param) { return param.param.name; }

INSTANTIATE_TEST_SUITE_P(cases, packed, testing::ValuesIn(packed_cases), packed_name);

// Every bit of a small block flipped is damage, and the block cut short at every byte reaches past
// the data.
TEST(bzip2_block, every_flipped_bit_is_refused_and_every_cut_short) {
  scratch dir;
  dir.put("t", runs().substr(0, 700));
  std::string stream = dir.run("bzip2 -c t").out;
  const std::vector<magic_place> magics = find_bzip2_magics(bytes_of(stream));
  ASSERT_EQ(magics.size(), 2u);
  bzip2_block_decoder decoder;
  for (std::uint64_t bit = magics[0].bit; bit < magics[1].bit - 48; ++bit) {
    stream[bit / 8] = static_cast<char>(stream[bit / 8] ^ (0x80 >> bit % 8));
    EXPECT_NE(decoder.decode(bytes_of(stream), magics[0].bit, 900000).how, decoded_block::verdict::whole)
        << "bit " << bit;
    stream[bit / 8] = static_cast<char>(stream[bit / 8] ^ (0x80 >> bit % 8));
  }
  for (std::size_t size = 0; size < (magics[1].bit - 48 + 7) / 8; ++size)
    EXPECT_EQ(decoder.decode(bytes_of(stream).first(size), magics[0].bit, 900000).how,
              decoded_block::verdict::short_of_data)
        << "size " << size;
  const decoded_block block = decoder.decode(bytes_of(stream), magics[0].bit, 900000);
  ASSERT_EQ(block.how, decoded_block::verdict::whole);
  EXPECT_EQ(expanded(block.text(), 100), runs().substr(0, 700));
}

// Each magic planted at every bit of buffers of zeros and of ones, with room to spare and cut by the
// end, is found just there.
TEST(bzip2_magic, found_at_every_bit_up_to_the_edges) {
  for (std::size_t size : {6u, 7u, 13u, 64u})
    for (bzip2_magic kind : {bzip2_magic::block, bzip2_magic::end})
      for (std::uint8_t fill : {std::uint8_t{0x00}, std::uint8_t{0xff}})
        for (std::uint64_t at = 0; at + 40 <= size * 8; ++at) {
          std::vector<std::uint8_t> data(size, fill);
          for (std::uint64_t k = 0; k < 48 && at + k < size * 8; ++k) {
            const bool one = (static_cast<std::uint64_t>(kind) >> (47 - k) & 1) != 0;
            const auto mask = static_cast<std::uint8_t>(0x80 >> (at + k) % 8);
            data[(at + k) / 8] =
                static_cast<std::uint8_t>(one ? data[(at + k) / 8] | mask : data[(at + k) / 8] & ~mask);
          }
          std::vector<magic_place> expected;
          if (at + 48 <= size * 8) expected.push_back({at + 48, kind});
          EXPECT_EQ(find_bzip2_magics(data), expected) << size << " bytes, at bit " << at;
        }
}

}  // namespace
