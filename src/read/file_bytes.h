// The bytes of the log file itself, read as they were when the run began.
#pragma once

#include <sys/types.h>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

// Why reading a log failed where the system has no number for it: set in errno, past the system's
// own numbers, by the reading of a log, as read(2) sets errno.
namespace log_error {
constexpr int cut_short = 0x10000;      // a regular file ended short of its size: truncated during the run
constexpr int damaged = 0x10001;        // compressed data damaged, cut short, or too large a window
constexpr int unread_format = 0x10002;  // a format that is recognised only to be refused
constexpr int no_decoder = 0x10003;     // a format that this build cannot read
constexpr int archive = 0x10004;        // an archive, not a log
constexpr int replaced = 0x10005;       // another file stands under the log's name since the run began
}  // namespace log_error

// Why reading or opening a log failed with the errno `error`, in a few words: "no such file",
// "permission denied", "an archive, not a log".
std::string failure_reason(int error);

// Reads as read(2) does, or as pread(2) does from `at` when given, again when interrupted. `left` is
// what a regular file held past there when the run began, none for a pipe, FIFO or device: no more
// is read, and a file that ends short of it is -1 with log_error::cut_short, truncated during the
// run.
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

  // Fills buffer as read(2) does: 0 at the end, -1 with log_error::cut_short when a regular file
  // ends short of its size (truncated during the run).
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
