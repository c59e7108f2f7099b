// Scanning the logs of a run in segments on several threads: each segment's sessions are tallied
// apart, and the tallies come back in log order.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <stop_token>

#include "scan/address_book.h"
#include "scan/tally.h"

// How many CPUs the process may run on.
unsigned usable_cpus();

// How a log is cut and its tallies held.
struct segment_plan {
  std::uint64_t segment_size = 0;  // bytes of a large log in a segment
  unsigned workers = 1;            // threads that tally segments
  std::size_t chunk_bytes = 0;     // a segment's tally goes to the merge in parts of about this size
  std::size_t budget = 0;          // the bytes of parts that may wait for the merge
};

// The segments of a run in log order: stretches of a large log, or whole logs, each read by one
// worker.
class segment_list {
 public:
  virtual ~segment_list() = default;
  // How many segments there are.
  virtual std::uint64_t count() const = 0;
  // Whether segment k is read only once every segment before it is merged: its bytes may never
  // come, and nothing could stop the wait.
  virtual bool in_turn(std::uint64_t k) const = 0;
  // Calls scan once, on the worker's thread, with the bytes of segment k, which end early once
  // stop is requested.
  virtual void read(std::uint64_t k, const std::stop_token& stop,
                    const std::function<void(const byte_source&)>& scan) const = 0;
};

// The bytes of the stretch [begin, end) of a regular file of `size` bytes, read with pread: from
// the first line start at or after begin to the end of the last line that begins before end,
// however far past it that is. The bytes read are added to `counted`, when given.
byte_source segment_bytes(int fd, std::uint64_t begin, std::uint64_t end, std::uint64_t size, std::stop_token stop,
                          std::atomic<std::uint64_t>* counted);

// Tallies the segments on plan.workers threads and calls merge with the parts of each segment's
// tally in log order, one call at a time, on the worker that hands on the part the merge waits
// for, while the calling thread waits. The segment being merged is always read on; the others
// wait while their parts hold the budget. Stops once merge returns false. What a worker or the
// merge throws (out of memory) is thrown here, in its turn. Returns false, having merged nothing,
// when no thread could be started.
bool scan_segments(const segment_list& list, const segment_plan& plan, const scan_options& options, address_book& book,
                   const std::function<bool(std::uint64_t segment, tally&)>& merge);
