// The whole program, run as a user runs it: standard output, standard error, status and files.
#include "run.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <ctime>

namespace {

const std::string banner =
    "Ornid statistics generator, version 1.50 for Linux \n"
    "Sums up the finished sessions of an Ornid daemon log\n\n";
const std::string usage =
    "USAGE: ornsum [-d] [-q] [-s<file>] [-n<file>] <log_file>\n\n"
    "       -d        generate statistics for current day\n"
    "       -q        do not display the statistics\n"
    "       -s<file>  write sessions statistics in <file>\n"
    "       -n<file>  write nodes statistics in <file>\n\n";
const std::string processing = "Processing file: \"log\"...\n";
const std::string done = "Done!\n\n";
const std::string done_empty = "Processing file: \"empty\"...\nDone!\n\n";

const std::string example_log =
    "+ 05 Dec 12:34:56 [77] done (from 9:99/9@testnet, OK (120/345 bytes))\n"
    "- 05 Dec 12:35:02 [77] some other line\n"
    "+ 05 Dec 13:00:01 [79] done (to 9:99/8@testnet, OK (0/99 bytes))\n"
    "+ 05 Dec 14:10:30 [80] done (from 9:99/9@testnet, OK (30/5 bytes))\n";

const std::string sessions_head = koi8(
    "\n"
    "                           Sessions History\n"
    "\n"
    "┌───────┬─────────────────┬────────────────┬───┬──────────┬──────────┐\n"
    "│  No.  │     Session     │    Address     │ D │   Sent   │   Rcvd   │\n"
    "├───────┼─────────────────┼────────────────┼───┼──────────┼──────────┤\n");
const std::string sessions_foot = koi8("└───────┴─────────────────┴────────────────┴───┴──────────┴──────────┘\n\n");

const std::string example_sessions = sessions_head +
                                     koi8(
                                         "│     1 │ 05 Dec 12:34:56 │ 9:99/9         │ i │      120 │      345 │\n"
                                         "│     2 │ 05 Dec 13:00:01 │ 9:99/8         │ o │        0 │       99 │\n"
                                         "│     3 │ 05 Dec 14:10:30 │ 9:99/9         │ i │       30 │        5 │\n") +
                                     sessions_foot +
                                     "Total bytes sent:          150\n"
                                     "Total bytes rcvd:          449\n";
const std::string empty_sessions = sessions_head + sessions_foot +
                                   "Total bytes sent:            0\n"
                                   "Total bytes rcvd:            0\n";

const std::string nodes_head = koi8(
    "\n"
    "                 Nodes Statistics\n"
    "\n"
    "┌───────┬──────────────────┬──────────┬──────────┐\n"
    "│  No.  │     Address      │   Sent   │   Rcvd   │\n"
    "├───────┼──────────────────┼──────────┼──────────┤\n");
const std::string nodes_foot = koi8("└───────┴──────────────────┴──────────┴──────────┘\n");

const std::string example_nodes = nodes_head +
                                  koi8(
                                      "│     1 │ 9:99/9           │      150 │      350 │\n"
                                      "│     2 │ 9:99/8           │        0 │       99 │\n") +
                                  nodes_foot;

// Standard output and the two reports of a run over the example log.
const std::string example_out = example_sessions + example_nodes + "\n";
const std::string example_report = example_sessions + "\n";
const std::string example_nodes_report = example_nodes + "\n";

// "@/" in arguments and expectations stands for the run's directory.
std::string in(const scratch& s, std::string text) {
  for (std::size_t at; (at = text.find("@/")) != std::string::npos;) text.replace(at, 2, s.path(""));
  return text;
}

struct run_case {
  const char* name;
  std::vector<std::string> args;
  int status;
  std::string out;  // standard output
  std::string err;  // standard error after the banner
  std::vector<std::pair<std::string, std::string>> files = {{"log", example_log}};
  void (*setup)(const scratch&) = nullptr;
  output stdout_kind = output::file;
  std::string stdout_path{};
};

void hard_link_log(const scratch& s) { ASSERT_EQ(::link(s.path("log").c_str(), s.path("hard").c_str()), 0); }
void soft_link_log(const scratch& s) { ASSERT_EQ(::symlink("log", s.path("soft").c_str()), 0); }
void make_kept_report(const scratch& s) {
  s.put("R", "kept");
  ASSERT_EQ(::link(s.path("R").c_str(), s.path("R2").c_str()), 0);
}
void make_empty(const scratch& s) { s.put("empty", "- 05 Dec 12:35:02 [77] some other line\n"); }
void make_dir(const scratch& s) { ASSERT_EQ(::mkdir(s.path("dir").c_str(), 0755), 0); }

// clang-format off
const run_case cases[] = {
    {"example", {"log"}, 0, example_out, processing + done},
    {"example with both reports", {"-sS", "-nN", "log"}, 0, example_out, processing + done,
     {{"log", example_log}, {"S", example_report}, {"N", example_nodes_report}}},
    {"quiet keeps the reports", {"-q", "-sS", "-nN", "log"}, 0, "\n", processing + done,
     {{"S", example_report}, {"N", example_nodes_report}}},
    {"no session", {"-sS", "-nN", "empty"}, 0, empty_sessions + nodes_head + nodes_foot + "\n", done_empty,
     {{"S", empty_sessions + "\n"}, {"N", nodes_head + nodes_foot + "\n"}}, make_empty},
    {"switches after the log", {"log", "-q"}, 0, "\n", processing + done},
    {"only two bytes of a switch count", {"-qd", "-sS", "log"}, 0, "\n", processing + done, {{"S", example_report}}},
    {"last log name wins", {"nothing", "log"}, 0, example_out, processing + done},
    {"last report name wins", {"-sA", "-sB", "log"}, 0, example_out, processing + done,
     {{"A", "<absent>"}, {"B", example_report}}},
    {"percent in a name", {"-sr%d%s", "log"}, 0, example_out, processing + done, {{"r%d%s", example_report}}},
    {"no arguments", {}, 2, "", usage},
    {"invalid switch", {"-x", "log"}, 2, "", "Invalid switch: \"x\"\n"},
    {"upper-case switch", {"-D", "log"}, 2, "", "Invalid switch: \"D\"\n"},
    {"lone hyphen", {"-"}, 2, "", std::string("Invalid switch: \"\0\"\n", 20)},
    {"invalid switch stops the walk", {"log", "-z", "-sS"}, 2, "", "Invalid switch: \"z\"\n", {{"S", "<absent>"}}},
    {"bare -s names the empty file", {"-s", "log"}, 2, "", "Cannot open file: \"\"\n\n"},
    {"no log name", {"-q"}, 2, "", "Cannot open file: \"\"\n\n"},
    {"missing log touches no report", {"-sS", "-nN", "missing"}, 2, "", "Cannot open file: \"missing\"\n\n",
     {{"S", "<absent>"}, {"N", "<absent>"}}},
    {"directory as log", {"-sS", "dir"}, 2, "", "Cannot open file: \"dir\"\n\n", {{"S", "<absent>"}}, make_dir},
    {"sessions report that cannot be created", {"-sdir", "-nN", "log"}, 2, "", "Cannot open file: \"dir\"\n\n",
     {{"N", "<absent>"}}, make_dir},
    {"nodes report that cannot be created", {"-sS", "-ndir", "log"}, 2, "", "Cannot open file: \"dir\"\n\n",
     {{"S", ""}}, make_dir},
    {"report named like the log", {"-slog", "log"}, 2, "", "Report file is the log: \"log\"\n\n"},
    {"report through ./", {"-n./log", "log"}, 2, "", "Report file is the log: \"./log\"\n\n"},
    {"report by absolute path", {"-s@/log", "log"}, 2, "", "Report file is the log: \"@/log\"\n\n"},
    {"report through a hard link", {"-shard", "log"}, 2, "", "Report file is the log: \"hard\"\n\n", {{"log", example_log}},
     hard_link_log},
    {"report through a symbolic link", {"-nsoft", "log"}, 2, "", "Report file is the log: \"soft\"\n\n",
     {{"log", example_log}}, soft_link_log},
    {"both reports one name", {"-sR", "-nR", "log"}, 2, "", "Both reports name one file: \"R\"\n\n", {{"R", "<absent>"}}},
    {"both reports one existing file", {"-sR", "-nR2", "log"}, 2, "", "Both reports name one file: \"R2\"\n\n",
     {{"R", "kept"}}, make_kept_report},
    {"both reports one new file", {"-sR", "-n./R", "log"}, 2, "", "Both reports name one file: \"./R\"\n\n", {{"R", ""}}},
    {"standard output is the log", {"log"}, 2, "", "Standard output is the log: \"log\"\n\n", {{"log", example_log}},
     nullptr, output::appended, "log"},
    {"standard output is a report", {"-sR", "log"}, 2, "", "Standard output is the report: \"R\"\n\n",
     {{"R", "kept"}}, make_kept_report, output::appended, "R"},
    {"report on a full disk", {"-s/dev/full", "log"}, 2, example_out,
     processing + "Cannot write file: \"/dev/full\"\n\n"},
    {"standard output on a full disk", {"-sS", "log"}, 2, "", processing + "Cannot write standard output\n\n",
     {{"S", example_report}}, nullptr, output::appended, "/dev/full"},
    {"standard output closed", {"-sS", "log"}, 2, "", processing + "Cannot write standard output\n\n",
     {{"S", example_report}}, nullptr, output::closed},
    {"reader gone", {"-sS", "log"}, 2, "", processing + "Cannot write standard output\n\n", {{"S", example_report}},
     nullptr, output::broken_pipe},
};
// clang-format on

void PrintTo(const run_case& c, std::ostream* os) { *os << c.name; }

class run : public testing::TestWithParam<run_case> {};

TEST_P(run, writes_exactly_what_it_should) {
  const run_case& c = GetParam();
  scratch s;
  s.put("log", example_log);
  if (c.setup) c.setup(s);
  launch l{.stdout_kind = c.stdout_kind, .stdout_path = c.stdout_path};
  for (const std::string& arg : c.args) l.args.push_back(in(s, arg));
  outcome o = s.run(l);
  EXPECT_EQ(o.status, c.status);
  EXPECT_EQ(o.out, c.out);
  EXPECT_EQ(o.err, banner + in(s, c.err));
  for (const auto& [name, bytes] : c.files) EXPECT_EQ(s.get(name), bytes) << name;
}

INSTANTIATE_TEST_SUITE_P(cases, run, testing::ValuesIn(cases), [](const testing::TestParamInfo<run_case>& p) {
  std::string name = p.param.name;
  for (char& c : name)
    if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
  return name;
});

// -d keeps the sessions whose stamp holds the current day, written with two digits.
TEST(run_today, counts_only_the_current_day) {
  std::time_t now = std::time(nullptr);
  char today[16];
  ASSERT_GT(std::strftime(today, sizeof today, "%d %b", std::gmtime(&now)), 0u);
  scratch s;
  s.put("log", "+ " + std::string(today) + " 10:00:00 [1] done (from 1:1/1@n, OK (7/8 bytes))\n" +
                   "+ 32 Foo 10:00:00 [2] done (from 1:1/2@n, OK (100/100 bytes))\n" + "+ " + today +
                   " 11:00:00 [3] done (to 1:1/3, OK (1/2 bytes))\n");
  outcome o = s.run({.args = {"-d", "-q", "-sS", "log"}, .env = {"TZ=UTC"}});
  EXPECT_EQ(o.status, 0);
  EXPECT_EQ(s.get("S"),
            sessions_head +
                koi8("│     1 │ " + std::string(today) + " 10:00:00 │ 1:1/1          │ i │        7 │        8 │\n" +
                     "│     2 │ " + today + " 11:00:00 │ 1:1/3          │ o │        1 │        2 │\n") +
                sessions_foot + "Total bytes sent:            8\nTotal bytes rcvd:           10\n\n");
}

// A read error ends the reading but not the tables, and is told in place of "Done!".
TEST(run_read_error, finishes_the_tables_and_fails) {
  scratch s;
  s.put("log", example_log);
  std::size_t first_line = example_log.find('\n') + 1;
  outcome o = s.run(
      {.args = {"log"}, .env = {"LD_PRELOAD=" READ_FAULT_LIBRARY, "READ_FAULT_AFTER=" + std::to_string(first_line)}});
  EXPECT_EQ(o.status, 2);
  EXPECT_EQ(o.out, sessions_head + koi8("│     1 │ 05 Dec 12:34:56 │ 9:99/9         │ i │      120 │      345 │\n") +
                       sessions_foot + "Total bytes sent:          120\nTotal bytes rcvd:          345\n" + nodes_head +
                       koi8("│     1 │ 9:99/9           │      120 │      345 │\n") + nodes_foot + "\n");
  EXPECT_EQ(o.err, banner + processing + "Cannot read file: \"log\"\n\n");
}

// Counts beyond the 64-bit range are clamped, and totals stop at the bounds instead of wrapping.
TEST(run_bounds, totals_saturate) {
  scratch s;
  s.put("log",
        "+ 05 Dec 12:34:56 [1] done (from a, OK (99999999999999999999/-9223372036854775807 bytes))\n"
        "+ 05 Dec 12:34:57 [2] done (from a, OK (1/-5 bytes))\n");
  outcome o = s.run({.args = {"-q", "-sS", "log"}});
  EXPECT_EQ(o.status, 0);
  EXPECT_EQ(s.get("S"),
            sessions_head +
                koi8("│     1 │ 05 Dec 12:34:56 │ a              │ i │9223372036854775807 │-9223372036854775807 │\n"
                     "│     2 │ 05 Dec 12:34:57 │ a              │ i │        1 │       -5 │\n") +
                sessions_foot + "Total bytes sent: 9223372036854775807\nTotal bytes rcvd: -9223372036854775808\n\n");
}

// Sanitizers keep memory of their own and reserve address space beyond any small limit.
#ifdef ORNSUM_SANITIZED
constexpr bool sanitized = true;
#else
constexpr bool sanitized = false;
#endif

// A line of many megabytes, marker after marker, costs no more memory than a short one.
TEST(run_long_line, keeps_memory_flat) {
  if (sanitized) GTEST_SKIP();
  scratch s;
  {
    std::string line;
    while (line.size() < (32u << 20)) line += "x] done (from 1:2/3, OK (4/5 bytes)) ";
    s.put("log", line);
  }  // so that the forked child, before it runs ornsum, does not hold it either
  outcome o = s.run({.args = {"-q", "log"}});
  EXPECT_EQ(o.status, 0);
  EXPECT_LT(o.peak_kib, 16 * 1024);
}

// Memory that runs out in mid-run ends it with status 2, every row written so far delivered whole.
TEST(run_out_of_memory, delivers_the_rows_written) {
  if (sanitized) GTEST_SKIP();
  scratch s;
  {
    std::string log;
    for (int node = 0; node < 200000; ++node)
      log += "+ 05 Dec 12:34:56 [1] done (from 2:" + std::to_string(node) + ", OK (1/1 bytes))\n";
    s.put("log", log);
  }
  outcome o = s.run({.args = {"-sS", "log"}, .address_space_kib = 16L * 1024});
  EXPECT_EQ(o.status, 2);
  EXPECT_EQ(o.err, banner + processing + "\n\nOut of memory\n\n");
  const std::string bar = koi8("│");
  std::string rows;
  for (int n = 1; sessions_head.size() + rows.size() < o.out.size(); ++n) {
    std::string number = std::to_string(n);
    std::string address = "2:" + std::to_string(n - 1);
    rows += bar + std::string(6 - number.size(), ' ') + number + " " + bar + " 05 Dec 12:34:56 " + bar + " " + address +
            std::string(15 - address.size(), ' ') + bar + " i " + bar + "        1 " + bar + "        1 " + bar + "\n";
  }
  EXPECT_GT(rows.size(), 0u);
  EXPECT_EQ(o.out, sessions_head + rows);
  EXPECT_EQ(s.get("S"), o.out);
}

// On a terminal each row shows as soon as its line is in the log, while the log is still open.
TEST(run_terminal, shows_each_row_at_once) {
  int terminal = ::posix_openpt(O_RDWR | O_NOCTTY);
  ASSERT_GE(terminal, 0);
  ASSERT_EQ(::grantpt(terminal), 0);
  ASSERT_EQ(::unlockpt(terminal), 0);
  int screen = ::open(::ptsname(terminal), O_RDWR | O_NOCTTY);
  scratch s;
  ASSERT_EQ(::mkfifo(s.path("log").c_str(), 0644), 0);
  launch l{.args = {"log"}, .stdout_kind = output::descriptor, .stdout_fd = screen};
  int pid = s.start(l);
  int log = ::open(s.path("log").c_str(), O_WRONLY);
  std::string line = example_log.substr(0, example_log.find('\n') + 1);
  ASSERT_EQ(::write(log, line.data(), line.size()), static_cast<ssize_t>(line.size()));
  std::string shown;
  const std::string row = koi8("│     1 │ 05 Dec 12:34:56 │");
  for (pollfd p{terminal, POLLIN, 0}; shown.find(row) == std::string::npos && ::poll(&p, 1, 10000) == 1;) {
    char bytes[4096];
    ssize_t n = ::read(terminal, bytes, sizeof bytes);
    if (n <= 0) break;
    shown.append(bytes, static_cast<std::size_t>(n));
  }
  EXPECT_NE(shown.find(row), std::string::npos) << shown;
  ::close(log);
  EXPECT_EQ(s.wait(pid, l).status, 0);
  ::close(screen);
  ::close(terminal);
}

}  // namespace
