// The command line, the banner and the usage text.
#include "cli/ornsum.h"

namespace {

// Warns of a switch of one letter given more after it, which only -s and -n and -t take.
void warn_of_rest(command& c, std::string_view arg) {
  if (arg.size() > 2)
    c.warnings.push_back("ornsum: warning: only the first letter of \"" + std::string(arg) + "\" counts: \"" +
                         std::string(arg.substr(2)) + "\" is ignored\n");
}

// The format an export's name asks for by its ending; none for another ending.
record_format format_of(std::string_view name) {
  if (name == "-" || name.ends_with(".jsonl") || name.ends_with(".json")) return record_format::jsonl;
  if (name.ends_with(".csv")) return record_format::csv;
  return record_format::none;
}

constexpr std::string_view export_expected =
    "-o takes a name ending in .jsonl or .json (JSON Lines) or .csv (CSV), or - (or -.csv) for standard output";
constexpr std::string_view export_beside_tables =
    "-o- writes to standard output, which takes the tables unless -q is given";

}  // namespace

command read_command_line(int argc, const char* const* argv) {
  command c;
  if (argc <= 1) {
    c.show_usage = true;
    return c;
  }
  for (int i = 1; i < argc; ++i) {
    std::string_view arg = argv[i];
    if (arg.empty() || arg[0] != '-') {
      c.run.log_names.emplace_back(arg);
      continue;
    }
    // Like an invalid switch, these end the walk where they stand.
    c.show_help = arg == "--help";
    c.show_version = arg == "--version";
    if (c.show_help || c.show_version) return c;
    // A lone "-" names its terminating zero byte as the switch.
    char letter = arg.size() > 1 ? arg[1] : '\0';
    switch (letter) {
      case 'a':
        c.run.every_log = true;
        warn_of_rest(c, arg);
        break;
      case 'd':
        c.run.any_day = true;
        warn_of_rest(c, arg);
        break;
      case 'q':
        c.run.q = true;
        warn_of_rest(c, arg);
        break;
      case 's':
        c.run.out_ses = arg.substr(2);
        break;
      case 'n':
        c.run.out_nodes = arg.substr(2);
        break;
      case 't':
        c.run.days = read_days(arg.substr(2));
        if (c.run.days) break;
        c.expected = days_expected;
        c.invalid_switch = letter;
        return c;
      case 'o':
        c.run.out_export = arg.substr(2);
        c.run.export_format = format_of(*c.run.out_export);
        c.run.export_to_stdout = *c.run.out_export == "-" || c.run.out_export->starts_with("-.");
        if (c.run.export_format != record_format::none) break;
        c.expected = export_expected;
        c.invalid_switch = letter;
        return c;
      default:
        c.invalid_switch = letter;
        return c;
    }
  }
  if (c.run.export_to_stdout && !c.run.q) {
    c.expected = export_beside_tables;
    c.invalid_switch = 'o';
    return c;
  }
  // Without -a the last name wins, as it always has.
  std::vector<std::string>& names = c.run.log_names;
  if (!c.run.every_log && names.size() > 1) {
    c.warnings.push_back("ornsum: warning: " + std::to_string(names.size()) +
                         " logs named without -a: only the last, \"" + names.back() +
                         "\", is read; -a reads them all\n");
    names.erase(names.begin(), names.end() - 1);
  }
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
         "       -t<days>  only the sessions of today, yesterday, a day, days or a month\n"
         "       -q        do not display the statistics\n"
         "       -s<file>  write sessions statistics in <file>\n"
         "       -n<file>  write nodes statistics in <file>\n"
         "       -o<file>  export sessions, nodes and totals as JSON Lines (.jsonl) or CSV (.csv)\n"
         "       --help    show this text on standard output\n"
         "       --version show the version on standard output\n\n";
}

std::string_view version() { return "ornsum " ORNSUM_VERSION "\n"; }
