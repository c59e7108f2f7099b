// The report run: from the open log to the finished tables on every destination.
#pragma once

#include <string>
#include <vector>

#include "report/files.h"
#include "report/frames.h"
#include "report/settings.h"
#include "report/sink.h"
#include "report/tables.h"

// What a run leaves to be told at its end.
struct run_end {
  std::vector<std::string> warnings;    // told before the end; they change no status
  std::vector<std::string> complaints;  // a read or write failure, each in place of "Done!"
};

// Reads the log once and writes the tables to out (unless run.q) and to the named reports, which
// it empties first, each with the frames the plan gives it; with show_progress, the progress of
// the reading shows on standard error meanwhile. No complaint after a complete run. Throws failure
// when -d or -t is given and the clock cannot be read, or when a report cannot be emptied.
run_end scan_log(const settings& run, run_files& files, sink& out, frame_plan plan, bool show_progress);
