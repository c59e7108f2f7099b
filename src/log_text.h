// The text of a log: its bytes as they lie, or, when its first bytes say it is compressed, its
// bytes inflated on a thread of their own and handed over as they come.
#pragma once

#include <sys/types.h>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "compression.h"

class inflating;

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
  // Waits until a read would return at once, or until `wake` becomes readable: false then.
  bool wait(int wake) const;

 private:
  int fd_;
  std::optional<std::uint64_t> left_;
  std::atomic<std::uint64_t>* counted_;
};

// A log read as text.
class log_text {
 public:
  // Reads the first bytes of the log, as many as it takes to tell the format, and starts
  // inflating a compressed log.
  explicit log_text(file_bytes bytes);
  ~log_text();
  log_text(const log_text&) = delete;
  log_text& operator=(const log_text&) = delete;

  // How the log is stored.
  compression format() const { return format_; }
  // Fills buffer as read(2) does with the text that follows what was read before: -1 with EIO
  // once the log turns out truncated, or a compressed log damaged or of a format this build cannot
  // read, after all that came before cleanly. What the inflating thread threw is thrown here.
  ssize_t read(char* buffer, std::size_t size);

 private:
  file_bytes bytes_;
  std::string head_;  // the first bytes of a text log, not yet handed on
  int head_error_ = 0;
  compression format_ = compression::none;
  std::unique_ptr<inflating> inflating_;
};
