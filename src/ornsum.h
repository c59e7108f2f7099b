// Run control: the run settings, the command line that fills them, and the texts of a run.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "days.h"

// What one run is asked to do.
struct settings {
  std::vector<std::string> log_names;    // the logs to read in turn: every one named under -a, else the last
  std::optional<std::string> out_ses;    // the sessions report, when one is asked for
  std::optional<std::string> out_nodes;  // the nodes report, when one is asked for
  bool any_day = false;                  // only the sessions of the current day count
  bool q = false;                        // no table goes to standard output
  bool every_log = false;                // -a: a log that cannot be read whole does not end the run
  std::optional<day_request> days;       // only the sessions of these days count
};

// What the command line asks for: a run, the usage text, help or the version, or a complaint
// about a switch; and the warnings about a call that is probably not what was meant.
struct command {
  settings run;
  bool show_usage = false;
  bool show_help = false;
  bool show_version = false;
  std::optional<char> invalid_switch;  // the byte after '-' of the first invalid switch
  std::string_view expected;           // what the invalid switch's value should have been, if a value was wrong
  std::vector<std::string> warnings;   // each a line for standard error
};

// Reads the arguments after the program name.
command read_command_line(int argc, const char* const* argv);

// The banner written first on every run.
std::string_view banner();
// The usage text, written when no argument is given, and for --help.
std::string_view usage();
// What --version writes.
std::string_view version();
