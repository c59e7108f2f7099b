// Checking the logs and opening the reports of a run, and refusing a run that would destroy stored
// bytes.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "ornsum.h"
#include "sink.h"

// A failure that ends the run at once; what() is the message for standard error, empty when
// nothing at all may be written.
class failure : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A message about a file: what, the name in double quotes, and an empty line.
std::string quoted(std::string_view what, std::string_view name);
// The line that tells why a file could not be opened or read, after its message: the errno
// `error` in words (see failure_reason).
std::string reason_line(std::string_view name, int error);

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

// The logs and the named reports of a run, checked against each other and against standard output
// and standard error before a byte is written or a report emptied.
class run_files {
 public:
  // Checks every log, then opens the named reports, creating a missing report but emptying none.
  // Throws failure when a log cannot be opened or is a directory, when standard error is a log
  // (with no message, since it would land in the log), or when a report, standard output or
  // standard error would write over a log or share a file with another destination.
  run_files(const settings& run, int out_fd, int err_fd);
  run_files(const run_files&) = delete;
  run_files& operator=(const run_files&) = delete;
  ~run_files();

  // The logs, in the order they are read.
  const std::vector<log_file>& logs() const { return logs_; }
  // The warnings about the logs: each that is a file named before, and so read twice.
  const std::vector<std::string>& warnings() const { return warnings_; }
  // The sessions report; null when none is named.
  sink* ses() { return ses_ ? &*ses_ : nullptr; }
  // The nodes report; null when none is named.
  sink* nodes() { return nodes_ ? &*nodes_ : nullptr; }
  // Empties the reports that are stored files, as creating them anew would have; throws failure.
  void truncate_reports(const settings& run);

 private:
  // Checks the logs and checks the destinations against them.
  void open(const settings& run, int out_fd, int err_fd);

  std::vector<log_file> logs_;
  std::vector<std::string> warnings_;
  std::optional<sink> ses_;
  std::optional<sink> nodes_;
};
