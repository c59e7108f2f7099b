// The bytes of the log file itself, read as they were when the run began.
#pragma once

#include <sys/types.h>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <optional>

// Reads as read(2) does, or as pread(2) does from `at` when given, again when interrupted. `left` is
// what a regular file held past there when the run began, none for a pipe, FIFO or device: no more
// is read, and a file that ends short of it is -1 with EIO, truncated during the run.
ssize_t read_log(int fd, char* buffer, std::size_t size, std::optional<std::uint64_t> left,
                 std::optional<std::uint64_t> at = std::nullopt);

// The bytes of the log file itself. A regular file is read as it was when the run began: its first
// `size` bytes, those appended since left for the next run.
class file_bytes {
 public:
  // Reads fd; a size is given for a regular file, none for a pipe, FIFO or device. The bytes
  // read are added to `counted`, when given.
  file_bytes(int fd, std::optional<std::uint64_t> size, std::atomic<std::uint64_t>* counted = nullptr)
      : fd_(fd), left_(size), counted_(counted) {}

  // Fills buffer as read(2) does: 0 at the end, -1 with EIO when a regular file ends short of its
  // size (truncated during the run).
  ssize_t read(char* buffer, std::size_t size);
  // Whether a read would return at once.
  bool ready() const;
  // Waits until a read would return at once: false when `wake` became readable first, or
  // timeout_ms passed (-1 for no timeout).
  bool wait(int wake, int timeout_ms) const;

 private:
  int fd_;
  std::optional<std::uint64_t> left_;
  std::atomic<std::uint64_t>* counted_;
};
