// The formats that liblzma reads: xz and lzip streams, and legacy .lzma streams.
#pragma once

#include <cstdint>
#include <memory>

#include "read/inflaters.h"

// The memory a stream may take to decode (xz -9 and lzma -9 need 65 MiB); more is refused.
constexpr std::uint64_t lzma_memory_limit = std::uint64_t{80} << 20;

// The memory that the blocks of an xz stream decoded on several threads may take together; where
// they would take more, fewer threads decode them, down to one within lzma_memory_limit.
constexpr std::uint64_t xz_threads_memory = std::uint64_t{64} << 20;

// The inflater of xz streams one after another, as xzcat reads them; the blocks of a stream that
// records their sizes, as xz -T makes them, are decoded on up to `threads` threads. None without
// liblzma.
std::unique_ptr<inflater> xz_streams(unsigned threads);
// The inflater of one lzip member; none without liblzma 5.4.
std::unique_ptr<inflater> lzip_member();
// The inflater of one legacy .lzma stream, its header checked first; none without liblzma.
std::unique_ptr<inflater> legacy_lzma_stream();
