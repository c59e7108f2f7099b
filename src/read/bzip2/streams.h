// bzip2 streams whose blocks are decoded on several threads at once.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "read/inflaters.h"

// A thread decoding blocks of the largest level takes about 7 MiB, and the texts it decodes ahead
// one more each: on more threads than this, a bzip2 log's reading would take more than 48 MiB.
constexpr unsigned bzip2_threads = 3;
// More than the reach of any block that bzip2 writes, so that such blocks are decoded from the
// window alone, several at once; a block that reaches further is read by libbz2.
constexpr std::size_t bzip2_window_size = std::size_t{4} << 20;

// The inflater of bzip2 streams one after another, zero padding after the last, as bzip2 -d reads
// them. The blocks, found by their magic, are decoded ahead on `threads` threads, bzip2_threads
// at the most; a block's text is taken only where it began exactly where the block before it
// ended, and a block that did not decode so is read where it stands by libbz2. The places in
// `planted` (bits of the input, each just after where a block's magic would stand) are taken for
// blocks too, as a magic that compressed data holds by chance would be. Up to `window` bytes of
// the input are held ahead of the reading. None without libbz2, or when no thread can be started.
std::unique_ptr<inflater> bzip2_blocks(unsigned threads, std::vector<std::uint64_t> planted = {},
                                       std::size_t window = bzip2_window_size);
