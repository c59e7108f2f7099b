// Checking the logs and opening the reports of a run, and refusing a run that would destroy stored
// bytes.
#pragma once

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "read/log_files.h"
#include "report/settings.h"
#include "report/sink.h"

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

// The logs and the named reports of a run, checked against each other and against standard output
// and standard error before a byte is written or a report emptied.
class run_files {
 public:
  // Checks every log, then opens the named reports and the export, creating a missing one but
  // emptying none.
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
  // The export's file; null when none is named, or it goes to standard output.
  sink* exported() { return export_ ? &*export_ : nullptr; }
  // Empties the reports and the export that are stored files, as creating them anew would have;
  // throws failure.
  void truncate_reports(const settings& run);

 private:
  // Checks the logs and checks the destinations against them.
  void open(const settings& run, int out_fd, int err_fd);

  std::vector<log_file> logs_;
  std::vector<std::string> warnings_;
  std::optional<sink> ses_;
  std::optional<sink> nodes_;
  std::optional<sink> export_;
};
