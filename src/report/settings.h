// The run settings: what one run is asked to do, as the command line fills them.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "scan/days.h"
#include "scan/records.h"

// What one run is asked to do.
struct settings {
  std::vector<std::string> log_names;     // the logs to read in turn: every one named under -a, else the last
  std::optional<std::string> out_ses;     // the sessions report, when one is asked for
  std::optional<std::string> out_nodes;   // the nodes report, when one is asked for
  bool any_day = false;                   // only the sessions of the current day count
  bool q = false;                         // no table goes to standard output
  bool every_log = false;                 // -a: a log that cannot be read whole does not end the run
  std::optional<day_request> days;        // only the sessions of these days count
  std::optional<std::string> out_export;  // the export, when one is asked for
  record_format export_format = record_format::none;
  bool export_to_stdout = false;  // the export goes to standard output, not to out_export
};
