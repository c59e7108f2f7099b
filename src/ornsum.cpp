// The command line, the banner and the usage text.
#include "ornsum.h"

command read_command_line(int argc, const char* const* argv) {
  command c;
  if (argc <= 1) {
    c.show_usage = true;
    return c;
  }
  bool every_log = false;
  for (int i = 1; i < argc; ++i) {
    std::string_view arg = argv[i];
    if (arg.empty() || arg[0] != '-') {
      c.run.log_names.emplace_back(arg);
      continue;
    }
    // A lone "-" names its terminating zero byte as the switch.
    char letter = arg.size() > 1 ? arg[1] : '\0';
    switch (letter) {
      case 'a':
        every_log = true;
        break;
      case 'd':
        c.run.any_day = true;
        break;
      case 'q':
        c.run.q = true;
        break;
      case 's':
        c.run.out_ses = arg.substr(2);
        break;
      case 'n':
        c.run.out_nodes = arg.substr(2);
        break;
      default:
        c.invalid_switch = letter;
        return c;
    }
  }
  // Without -a the last name wins, as it always has.
  if (!every_log && c.run.log_names.size() > 1)
    c.run.log_names.erase(c.run.log_names.begin(), c.run.log_names.end() - 1);
  return c;
}

std::string_view banner() {
  return "Ornid statistics generator, version " ORNSUM_VERSION
         " for Linux \n"
         "Sums up the finished sessions of an Ornid daemon log\n\n";
}

std::string_view usage() {
  return "USAGE: ornsum [-d] [-q] [-s<file>] [-n<file>] <log_file>\n\n"
         "       -a        read every <log_file> given, in turn\n"
         "       -d        generate statistics for current day\n"
         "       -q        do not display the statistics\n"
         "       -s<file>  write sessions statistics in <file>\n"
         "       -n<file>  write nodes statistics in <file>\n\n";
}
