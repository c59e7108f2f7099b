// The report run: from the open log to the finished tables on every destination.
#pragma once

#include <string>
#include <vector>

#include "files.h"
#include "frames.h"
#include "ornsum.h"
#include "sink.h"
#include "tables.h"

// Reads the log once and writes the tables to out (unless run.q) and to the named reports, which
// it empties first, each with the frames the plan gives it; with show_progress, the progress of
// the reading shows on standard error meanwhile. Returns the messages that take the place of
// "Done!" (a read or write failure), none after a complete run. Throws failure when -d is given
// and the clock cannot be read, or when a report cannot be emptied.
std::vector<std::string> scan_log(const settings& run, run_files& files, sink& out, frame_plan plan,
                                  bool show_progress);
