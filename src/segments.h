// Scanning a regular file in segments on several threads: each segment's sessions are tallied
// apart, and the tallies come back in file order.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>

#include "address_book.h"
#include "tally.h"

// How many CPUs the process may run on.
unsigned usable_cpus();

// How a log is cut and its tallies held.
struct segment_plan {
  std::uint64_t segment_size = 0;  // bytes of log in a segment
  unsigned workers = 1;            // threads that tally segments
  std::size_t chunk_bytes = 0;     // a segment's tally goes to the merge in parts of about this size
  std::size_t budget = 0;          // the bytes of parts that may wait for the merge
};

// Tallies the first `size` bytes of the regular file on fd, cut into segments, on plan.workers
// threads, and calls merge with the parts of each segment's tally in file order, one call at a
// time, on the worker that hands on the part the merge waits for, while the calling thread waits.
// A segment's tally covers the lines that begin inside it, however far they run past its end, up
// to `size`. The segment being merged is always read on; the others wait while their parts hold
// the budget. Stops after the first part whose reading failed, also when the file turns out
// shorter than `size`. What a worker or the merge throws (out of memory) is thrown here, in its
// turn. Returns false, having merged nothing, when no thread could be started.
bool scan_segments(int fd, std::uint64_t size, const segment_plan& plan, const scan_options& options,
                   address_book& book, const std::function<void(tally&)>& merge);
