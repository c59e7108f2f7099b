// Run control: the command line that fills the run settings, and the texts of a run.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "report/settings.h"

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
