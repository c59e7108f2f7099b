// bzip2 streams whose blocks are decoded on several threads: whatever candidates are planted
// among the true blocks and wherever the input is cut or fed in pieces, the text and the end are
// those of libbz2 reading in sequence.
#include "bzip2_streams.h"

#include <gtest/gtest.h>

#include "bzip2_magic.h"
#include "inflating.h"
#include "scratch.h"

namespace {

TEST(bzip2_blocks, planted_candidates_and_cuts_give_what_libbz2_gives) {
  scratch dir;
  const std::string make = "seq 40000 | sed 's|.*|+ 05 Dec 12:34:56 [&] done (from 2:&, OK (&/7 bytes))|' >t; ";
  const std::string all = dir.run(make + "bzip2 -1 -c t; : | bzip2 -c; head -c 500000 t | bzip2 -9 -c").out;
  std::vector<std::uint64_t> magics;
  for (const magic_place& p : find_bzip2_magics({reinterpret_cast<const std::uint8_t*>(all.data()), all.size()}))
    magics.push_back(p.bit);
  ASSERT_GT(magics.size(), 8u);
  // Candidates planted everywhere, a bit after each true block's start, and near its end.
  std::vector<std::uint64_t> everywhere;
  for (std::uint64_t bit = 64; bit < 8 * all.size(); bit += 4099) everywhere.push_back(bit);
  std::vector<std::uint64_t> near;
  for (std::uint64_t bit : magics) near.insert(near.end(), {bit + 1, bit - 49, bit + 48});
  const struct {
    std::string input;
    std::vector<std::uint64_t> planted;
    std::size_t piece;
  } rows[] = {
      {all, {}, all.size()},
      {all, everywhere, 4096},
      {all, near, 65536},
      {all.substr(0, (magics[3] - 48) / 8), near, 1000},      // cut at a block's edge
      {all.substr(0, (magics[3] - 48) / 8 + 1), near, 1000},  // just past it
      {all.substr(0, magics[3] / 8 + 300), everywhere, 777},  // inside a block
      {all + std::string(9, '\0'), near, 3},                  // padding after the last stream
      {all.substr(0, all.size() - 1), {}, 65536},             // the stream's CRC cut
  };
  for (const auto& row : rows) {
    const auto in_sequence = inflate_all(*inflater_for(compression::bzip2, 1), row.input, row.piece);
    const auto on_threads = inflate_all(*bzip2_blocks(2, row.planted), row.input, row.piece);
    EXPECT_TRUE(on_threads == in_sequence) << row.input.size() << " bytes, " << row.planted.size() << " planted";
  }
}

}  // namespace
