// The formats that liblzma reads: xz streams.
#pragma once

#include <cstdint>
#include <memory>

#include "inflaters.h"

// What a stream may take to decode, at the most: xz -9 needs 65 MiB. A stream that needs more is
// refused.
constexpr std::uint64_t lzma_memory_limit = std::uint64_t{80} << 20;

// The inflater of xz streams one after another, as xzcat reads them; none without liblzma.
std::unique_ptr<inflater> xz_streams();