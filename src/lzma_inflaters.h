// The formats that liblzma reads: xz and lzip streams, and legacy .lzma streams.
#pragma once

#include <cstdint>
#include <memory>

#include "inflaters.h"

// The memory a stream may take to decode (xz -9 and lzma -9 need 65 MiB); more is refused.
constexpr std::uint64_t lzma_memory_limit = std::uint64_t{80} << 20;

// The inflater of xz streams one after another, as xzcat reads them; none without liblzma.
std::unique_ptr<inflater> xz_streams();
// The inflater of lzip members one after another, as lzip -d reads them; none without liblzma 5.4.
std::unique_ptr<inflater> lzip_members();
// The inflater of one legacy .lzma stream, its header checked first; none without liblzma.
std::unique_ptr<inflater> legacy_lzma_stream();
