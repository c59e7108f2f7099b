// bzip2 streams whose blocks are decoded on several threads: whatever candidates are planted
// among the true blocks, however the input is fed and the room for text given, wherever it is cut
// or damaged, and whatever it holds ahead, the text and the end are those of libbz2 reading in
// sequence.
#include "bzip2_streams.h"

#include <gtest/gtest.h>

#include "bzip2_magic.h"
#include "inflating.h"
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

// The stream, of one block, with `bytes` bytes of changes that cancel out (up then down, or down
// then up, four bits each) padding the code lengths of its first table, as the format allows: the
// same text from a block of any size. Whole bytes inserted leave every later bit where it stood in
// its byte.
std::string padded(const std::string& stream, std::size_t bytes) {
  const auto bit = [&](std::size_t i) {
    return static_cast<unsigned>(static_cast<unsigned char>(stream[i / 8]) >> (7 - i % 8) & 1);
  };
  std::size_t at = 32 + 48 + 32 + 1 + 24;  // the header, magic, CRC, randomised bit and origin
  const auto read = [&](unsigned n) {
    unsigned value = 0;
    while (n-- > 0) value = value << 1 | bit(at++);
    return value;
  };
  const unsigned ranges = read(16);
  for (unsigned range = 0; range < 16; ++range)
    if ((ranges >> range & 1) != 0) read(16);
  read(3);
  for (unsigned selectors = read(15); selectors > 0; --selectors)
    while (read(1) != 0) {
    }
  const unsigned pattern = read(5) < 20 ? 0xbb : 0xee;
  const std::size_t byte = at / 8;
  const unsigned shift = at % 8;
  const auto old = static_cast<unsigned char>(stream[byte]);
  const unsigned high = 0xff00u >> shift & 0xff;
  std::string out = stream.substr(0, byte);
  out += static_cast<char>((old & high) | pattern >> shift);
  out.append(bytes - 1, static_cast<char>((pattern << (8 - shift) | pattern >> shift) & 0xff));
  out += static_cast<char>((pattern << (8 - shift) & 0xff) | (old & ~high & 0xff));
  return out + stream.substr(byte + 1);
}

// A valid block is read however long it is: within the window by our decoder, past it by libbz2.
TEST(bzip2_blocks, a_valid_block_of_any_size_is_read) {
  scratch dir;
  const std::string stream = dir.run("seq 3000 | bzip2 -9 -c").out;
  for (std::size_t bytes : {1u, 200000u, 4400000u}) {
    const std::string input = padded(stream, bytes);
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
      {all, near, bytes, wide},
      {all, near, pipe, 20000},
      {all, everywhere, whole, 16},
      {all.substr(0, (magics[3] - 48) / 8), near, pipe, wide},        // cut at a block's edge
      {all.substr(0, (magics[1] - 48) / 8 + 1), near, narrow, 5000},  // just past one
      {all.substr(0, magics[3] / 8 + 300), everywhere, pipe, wide},   // inside a block
      {all + std::string(9, '\0'), near, pipe, 3000},                 // padding after the last stream
      {all.substr(0, all.size() - 1), {}, bytes, wide},               // the stream's CRC cut
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
