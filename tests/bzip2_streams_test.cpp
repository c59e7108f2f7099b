// bzip2 streams whose blocks are decoded on several threads: whatever candidates are planted
// among the true blocks, however the input is fed and the room for text given, wherever it is cut
// or damaged, and whatever it holds ahead, the text and the end are those of libbz2 reading in
// sequence.
#include <gtest/gtest.h>

#include "inflating.h"
#include "read/bzip2/magic.h"
#include "read/bzip2/streams.h"
#include "scratch.h"

namespace {

std::vector<magic_place> magics_of(const std::string& stream) {
  return find_bzip2_magics({reinterpret_cast<const std::uint8_t*>(stream.data()), stream.size()});
}

// The input flipped at bit `bit`.
std::string flipped(std::string input, std::uint64_t bit) {
  input[bit / 8] = static_cast<char>(input[bit / 8] ^ (0x80 >> bit % 8));
  return input;
}

// What libbz2 in sequence makes of the input, and what the blocks on each number of threads make.
void expect_as_in_sequence(const std::string& input, const std::vector<std::uint64_t>& planted, const feeding& feed,
                           std::size_t window, const std::string& row) {
  const auto in_sequence = inflate_all(*inflater_for(compression::bzip2, 1), input, feed);
  for (unsigned threads : {2u, 8u}) {
    const auto on_threads = inflate_all(*bzip2_blocks(threads, planted, window), input, feed);
    EXPECT_EQ(on_threads.second, in_sequence.second) << row << ", " << threads << " threads";
    EXPECT_TRUE(on_threads.first == in_sequence.first)
        << row << ", " << threads << " threads: " << on_threads.first.size() << " bytes of text, not "
        << in_sequence.first.size();
  }
}

// The n bits of the stream from bit `at` on, the most significant first.
unsigned bits_at(const std::string& stream, std::size_t at, unsigned n) {
  unsigned value = 0;
  for (std::size_t i = at; i < at + n; ++i)
    value = value << 1 | (static_cast<unsigned char>(stream[i / 8]) >> (7 - i % 8) & 1u);
  return value;
}

// The stream with the n bits from bit `at` on set to value.
std::string with_bits(std::string stream, std::size_t at, unsigned n, unsigned value) {
  for (std::size_t i = 0; i < n; ++i) {
    const auto mask = static_cast<unsigned char>(0x80u >> (at + i) % 8);
    auto& byte = reinterpret_cast<unsigned char&>(stream[(at + i) / 8]);
    byte = static_cast<unsigned char>((value >> (n - 1 - i) & 1u) != 0 ? byte | mask : byte & ~mask);
  }
  return stream;
}

// Where the parts of a stream's first block begin that the format lets grow, in bits.
struct block_layout {
  std::size_t selector_count;  // 15 bits
  std::size_t lengths;         // just past the first table's first length, of 5 bits
  unsigned first_length;
};

block_layout layout_of(const std::string& stream) {
  std::size_t at = 32 + 48 + 32 + 1 + 24;  // the header, magic, CRC, randomised bit and origin
  const auto read = [&](unsigned n) {
    at += n;
    return bits_at(stream, at - n, n);
  };
  const unsigned ranges = read(16);
  for (unsigned range = 0; range < 16; ++range)
    if ((ranges >> range & 1) != 0) read(16);
  read(3);
  const std::size_t selector_count = at;
  for (unsigned selectors = read(15); selectors > 0; --selectors)
    while (read(1) != 0) {
    }
  const unsigned first_length = read(5);
  return {selector_count, at, first_length};
}

// The stream with the bytes of `bits` inserted at bit `at`. Whole bytes inserted leave every later
// bit where it stood in its byte.
std::string inserted(const std::string& stream, std::size_t at, const std::string& bits) {
  const std::size_t byte = at / 8;
  const unsigned shift = at % 8;
  const unsigned high = 0xff00u >> shift & 0xff;
  const auto old = static_cast<unsigned char>(stream[byte]);
  std::string out = stream.substr(0, byte);
  unsigned carry = old & high;
  for (const char c : bits) {
    const auto x = static_cast<unsigned char>(c);
    out += static_cast<char>(carry | x >> shift);
    carry = x << (8 - shift) & 0xff;
  }
  out += static_cast<char>(carry | (old & ~high & 0xff));
  return out + stream.substr(byte + 1);
}

// A valid block is read whatever it holds and however long it is: code lengths padded by changes
// that cancel out (up then down, or down then up), within the window and past it, or a block magic
// among selectors that no symbol uses.
TEST(bzip2_blocks, odd_valid_blocks_are_read) {
  scratch dir;
  const std::string stream = dir.run("seq 3000 | bzip2 -9 -c").out;
  const block_layout layout = layout_of(stream);
  const char pad = layout.first_length < 20 ? '\xbb' : '\xee';
  // 36 more selectors, that no symbol uses: the magic's 48 bits, whose runs of ones are short
  // enough for selectors, and a byte of zeros to end the last.
  const unsigned selectors = bits_at(stream, layout.selector_count, 15);
  const std::string selected = inserted(with_bits(stream, layout.selector_count, 15, selectors + 36),
                                        layout.lengths - 5, std::string("1AY&SY\0", 7));
  ASSERT_EQ(magics_of(selected).size(), magics_of(stream).size() + 1);
  const std::string inputs[] = {selected, inserted(stream, layout.lengths, std::string(200000, pad)),
                                inserted(stream, layout.lengths, std::string(4400000, pad))};
  for (const std::string& input : inputs) {
    dir.put("p", input);
    EXPECT_EQ(dir.run("seq 3000 >s; bzip2 -t p && bzip2 -dc p | cmp -s - s && echo valid").out, "valid\n");
    expect_as_in_sequence(input, {}, {{0, 65536, 1}}, bzip2_window_size, std::to_string(input.size()) + " bytes");
  }
}

TEST(bzip2_blocks, planted_candidates_feeds_cuts_and_windows_give_what_libbz2_gives) {
  scratch dir;
  const std::string make = "seq 40000 | sed 's|.*|+ 05 Dec 12:34:56 [&] done (from 9:&, OK (&/7 bytes))|' >t; ";
  const std::string all = dir.run(make + "bzip2 -1 -c t; : | bzip2 -c; head -c 500000 t | bzip2 -9 -c").out;
  std::vector<std::uint64_t> magics;
  for (const magic_place& p : magics_of(all)) magics.push_back(p.bit);
  ASSERT_GT(magics.size(), 8u);
  // Candidates planted everywhere, a bit after each true block's start, and near its end.
  std::vector<std::uint64_t> everywhere;
  for (std::uint64_t bit = 64; bit < 8 * all.size(); bit += 4099) everywhere.push_back(bit);
  std::vector<std::uint64_t> near;
  for (std::uint64_t bit : magics) near.insert(near.end(), {bit + 1, bit - 49, bit + 48});
  const std::size_t wide = bzip2_window_size;
  // A pipe that pauses, brings single bytes and odd pieces; and text taken a byte at a time.
  const feeding whole{{all.size()}};
  const feeding pipe{{0, 1, 0, 4096, 0, 0, 777}, 4096};
  const feeding bytes{{1}};
  const feeding narrow{{65536}, 1};
  const struct {
    std::string input;
    std::vector<std::uint64_t> planted;
    feeding feed;
    std::size_t window;  // bytes held ahead: narrow ones hold less than a block of level 9
  } rows[] = {
      {all, {}, whole, wide},
      {all, everywhere, pipe, wide},
      {all.substr(0, (magics[4] - 48) / 8), near, bytes, wide},  // cut at a block's edge
      {all, near, pipe, 20000},
      {all, everywhere, whole, 16},
      {all.substr(0, (magics[1] - 48) / 8 + 1), near, narrow, 5000},  // just past one
      {all.substr(0, magics[3] / 8 + 300), everywhere, pipe, wide},   // inside a block
      {all + std::string(9, '\0'), near, pipe, 3000},                 // padding after the last stream
      {all.substr(0, all.size() - 1), {}, pipe, wide},                // the stream's CRC cut
      {flipped(all, magics[2] + 5), near, pipe, wide},                // a block's CRC damaged
      {flipped(all, magics[2] + 5000), {}, pipe, 3000},               // a block's data damaged
      {flipped(all, 8 * all.size() - 9), near, whole, 20000},         // the last stream's CRC damaged
  };
  for (const auto& row : rows)
    expect_as_in_sequence(row.input, row.planted, row.feed, row.window,
                          std::to_string(row.input.size()) + " bytes, " + std::to_string(row.planted.size()) +
                              " planted, window " + std::to_string(row.window));
}

}  // namespace
