// The logs of a run as the segments that workers read: a large plain log in stretches, any other
// log whole.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "read/log_files.h"
#include "scan/segments.h"

// The logs of a run, one after another, as segments.
class log_segments final : public segment_list {
 public:
  // Cuts a plain regular file of at least two segments into stretches of segment_size bytes when
  // `cut`; every other log is one segment, decoded by its worker. The bytes read are added to
  // `counted`, when given.
  log_segments(const std::vector<log_file>& logs, std::uint64_t segment_size, bool cut,
               std::atomic<std::uint64_t>* counted);

  std::uint64_t count() const override { return firsts_.back(); }
  bool in_turn(std::uint64_t k) const override { return !logs_[log_of(k)].size; }
  void read(std::uint64_t k, const std::stop_token& stop,
            const std::function<void(const byte_source&)>& scan) const override;

  // The log that segment k belongs to.
  std::size_t log_of(std::uint64_t k) const;
  // Whether segment k is the first of its log.
  bool first_of_log(std::uint64_t k) const { return firsts_[log_of(k)] == k; }

 private:
  const std::vector<log_file>& logs_;
  std::uint64_t segment_size_;
  std::atomic<std::uint64_t>* counted_;
  std::vector<std::uint64_t> firsts_;  // each log's first segment, then the count of them all
};

// Whether the regular file on fd, of `size` bytes, holds text by its first bytes: no compressed
// format's signature, no tar header. A file that cannot be read is not told to be text.
bool plain_text(int fd, std::uint64_t size);
