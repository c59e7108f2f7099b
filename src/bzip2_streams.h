// bzip2 streams whose blocks are decoded on several threads at once.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "inflaters.h"

// A thread decoding blocks of the largest level takes about 9 MiB with the texts it holds ahead: on
// more threads than this, all of a bzip2 log's reading would take more than 48 MiB.
constexpr unsigned bzip2_threads = 3;

// The inflater of bzip2 streams one after another, zero padding after the last, as bzip2 -d reads
// them. The blocks, found by their magic, are decoded ahead on `threads` threads, bzip2_threads
// at the most; a block's text is taken only where it began exactly where the block before it
// ended, and a block that does not decode so is decoded where it stands, by libbz2 where our
// decoder refuses it. The places in `planted` (bits of the input, each just after where a block's
// magic would stand) are taken for blocks too, as a magic that compressed data holds by chance
// would be. None without libbz2.
std::unique_ptr<inflater> bzip2_blocks(unsigned threads, std::vector<std::uint64_t> planted = {});
