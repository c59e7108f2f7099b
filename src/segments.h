// Scanning a regular file in segments on several threads: each segment's sessions are tallied
// apart, and the tallies come back in file order.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "nodes.h"
#include "parse.h"
#include "scanner.h"
#include "tables.h"

// What a scan looks for and keeps.
struct scan_options {
  bool any_day = false;              // only sessions whose stamp holds today count
  std::string_view today;            // the day, as parse_line compares it
  std::array<bool, 2> rows_in = {};  // whether rows are kept with KOI8-R frames, with UTF-8 ones
};

// Texts kept one after another in one string.
struct text_list {
  std::string text;
  std::vector<std::size_t> ends;  // where each text ends

  // The text at a place in the list.
  std::string_view operator[](std::size_t i) const {
    const std::size_t begin = i == 0 ? 0 : ends[i - 1];
    return std::string_view(text).substr(begin, ends[i] - begin);
  }
};

// What the sessions of one stretch of the log come to, kept in log order for the merge: each
// session's address and counts, which go to the node table there, and its row after the number
// cell, in the frames the options ask for.
struct tally {
  text_list addresses;
  std::vector<std::int64_t> counts;  // each session's bytes sent, then received
  total sent = 0;
  total rcvd = 0;
  std::array<text_list, 2> rows;  // with KOI8-R frames and with UTF-8 ones
  bool failed = false;            // reading stopped on an error

  // The number of sessions.
  std::size_t sessions() const { return addresses.ends.size(); }
  // Keeps a session.
  void add(const session& s, const scan_options& options);
};

// Tallies every session that the scanner's pieces close.
void tally_all(block_scanner& scanner, const scan_options& options, tally& t);

// How many CPUs the process may run on.
unsigned usable_cpus();

// Cuts the regular file on fd, of `size` bytes, into segments of segment_size bytes, tallies them
// on up to `workers` threads, and calls merge with each tally in file order on the calling thread.
// A segment's tally covers the lines that begin inside it, however far they run past its end; the
// last segment reads on to the end of the file. Stops after the first tally whose reading failed.
// What a worker throws (out of memory) is thrown here, in its turn. Returns false, having merged
// nothing, when no thread could be started.
bool scan_segments(int fd, std::uint64_t size, std::uint64_t segment_size, unsigned workers,
                   const scan_options& options, const std::function<void(tally&)>& merge);
