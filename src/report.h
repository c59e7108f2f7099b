// The report run: from the open log to the finished tables on every destination.
#pragma once

#include <stdexcept>
#include <string>
#include <vector>

#include "ornsum.h"
#include "sink.h"

// A failure that ends the run at once; what() is the message for standard error.
class failure : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Reads run.log_name once and writes the tables to out (unless run.q) and to the named reports.
// Returns the messages that take the place of "Done!" (a read or write failure), none after a
// complete run. Throws failure when a file cannot be opened or a report would overwrite the log,
// standard output or the other report.
std::vector<std::string> scan_log(const settings& run, sink& out);
