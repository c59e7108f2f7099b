// The logs of a run as files: what was found of each when the run began, and each opened while it
// is read.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <optional>
#include <string>

// A log of the run, checked before anything is written. A regular file is opened again only when
// it is read, so that any number of them can be named; a pipe, FIFO or device is held open from
// the start, since closing it could end what feeds it.
struct log_file {
  std::string name;
  std::optional<std::uint64_t> size;  // of a regular file, as it was when the run began; none for a pipe or device
  int fd = -1;                        // the descriptor held of a pipe, FIFO or device; -1 for a regular file
  dev_t dev = 0;                      // where its bytes are stored, with ino
  ino_t ino = 0;
};

// A log open for reading while it is read.
class opened_log {
 public:
  // Opens a regular file again, checking that it is still the file that was checked, or takes the
  // descriptor held.
  explicit opened_log(const log_file& log);
  ~opened_log();
  opened_log(const opened_log&) = delete;
  opened_log& operator=(const opened_log&) = delete;

  // The descriptor to read; -1 when the log cannot be opened.
  int fd() const { return fd_; }
  // Why it cannot be opened, as an errno (see log_error).
  int error() const { return error_; }

 private:
  int fd_ = -1;
  bool owned_ = false;  // the descriptor was opened here, and is closed here
  int error_ = 0;
};
