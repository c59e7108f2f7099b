// Fuzzes the reading of bzip2 streams on several threads against libbz2 in sequence: streams that
// libbz2 packs from the input, cut short, with a byte changed and with false block starts planted,
// fed in pieces as a pipe brings them, and held ahead in a window of any size down to a few bytes,
// must give the same text and end the same way.
#include <bzlib.h>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "inflating.h"
#include "read/bzip2/streams.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 9) return 0;
  // Two streams of the text, at levels the first bytes choose; then where to cut, which byte to
  // change, where to plant candidates, the size of the pieces fed, and the window.
  const std::string text(reinterpret_cast<const char*>(data + 9), size - 9);
  std::string input;
  for (int level : {data[0] % 9 + 1, data[1] % 9 + 1}) {
    std::string packed(text.size() + text.size() / 100 + 700, '\0');
    auto length = static_cast<unsigned>(packed.size());
    if (BZ2_bzBuffToBuffCompress(packed.data(), &length, const_cast<char*>(text.data()),
                                 static_cast<unsigned>(text.size()), level, 0, 0) != BZ_OK)
      std::abort();
    input += packed.substr(0, length);
  }
  const std::size_t cut = data[2] == 0 ? input.size() : input.size() * data[2] / 256;
  input.resize(cut);
  if (data[3] != 0 && !input.empty()) {
    char& changed = input[input.size() * data[3] / 256];
    changed = static_cast<char>(changed ^ data[4]);
  }
  std::vector<std::uint64_t> planted;
  for (std::uint64_t bit = data[5] + 1u; bit < 8 * input.size(); bit += 8u * data[5] + 13) planted.push_back(bit);
  // Pieces of the size the input chooses, with calls that bring nothing new among them, and as
  // little room for text as it chooses.
  const feeding feed{{data[6] * std::size_t{37} + 1, 0, data[7] * std::size_t{4099}}, data[7] % 4 == 0 ? 1u : 65536u};
  const auto in_sequence = inflate_all(*inflater_for(compression::bzip2, 1), input, feed);
  const std::size_t window = data[8] == 0 ? bzip2_window_size : data[8] * std::size_t{61};
  const auto on_threads = inflate_all(*bzip2_blocks(2, planted, window), input, feed);
  if (on_threads != in_sequence) std::abort();
  return 0;
}
