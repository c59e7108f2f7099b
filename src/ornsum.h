// Run control: the run settings, the command line that fills them, and the texts of a run.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

// What one run is asked to do.
struct settings {
  std::vector<std::string> log_names;    // the logs to read in turn: every one named under -a, else the last
  std::optional<std::string> out_ses;    // the sessions report, when one is asked for
  std::optional<std::string> out_nodes;  // the nodes report, when one is asked for
  bool any_day = false;                  // only the sessions of the current day count
  bool q = false;                        // no table goes to standard output
};

// What the command line asks for: a run, the usage text, or a complaint about a switch.
struct command {
  settings run;
  bool show_usage = false;
  std::optional<char> invalid_switch;  // the byte after '-' of the first invalid switch
};

// Reads the arguments after the program name.
command read_command_line(int argc, const char* const* argv);

// The banner written first on every run.
std::string_view banner();
// The usage text, written when no argument is given.
std::string_view usage();
