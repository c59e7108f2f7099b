// The whole program, run through the shell as a user runs it: output, messages, status and files.
#include <gtest/gtest.h>

#include <regex>

#include "scratch.h"

namespace {

const std::string banner =
    "Ornid statistics generator, version 1.50 for Linux \n"
    "Sums up the finished sessions of an Ornid daemon log\n\n";
const std::string processing = "Processing file: \"log\"...\n";
const std::string done = processing + "Done!\n\n";

const std::string example_log =
    "+ 05 Dec 12:34:56 [77] done (from 9:99/9@testnet, OK (120/345 bytes))\n"
    "- 05 Dec 12:35:02 [77] some other line\n"
    "+ 05 Dec 13:00:01 [79] done (to 9:99/8@testnet, OK (0/99 bytes))\n"
    "+ 05 Dec 14:10:30 [80] done (from 9:99/9@testnet, OK (30/5 bytes))\n";
// Counts beyond the 64-bit range, clamped, and totals beyond it, exact; a closing line that does not
// count, empty addresses, and one too long for its cells.
const std::string odd_log =
    "+ 05 Dec 12:34:56 [1] done (from a, OK (99999999999999999999/-9223372036854775807 bytes))\n"
    "+ 05 Dec 12:34:57 [2] done (from a, OK (1/-5 bytes))\n"
    "+ 05 Dec 12:34:58 [9] done (nothing to count)\n"
    "+ 05 Dec 12:35:00 [3] done (8:1/1, OK (3/3 bytes))\n"
    "+ 05 Dec 12:35:01 [4] done (xx, OK (4/4 bytes))\n"
    "+ 31 Jan 12:35:02 [5] done (from a-very-long-node-address.example, OK (5/5 bytes))\n";

const std::string sessions_head =
    ("\n                           Sessions History\n\n"
     "┌───────┬─────────────────┬────────────────┬───┬──────────┬──────────┐\n"
     "│  No.  │     Session     │    Address     │ D │   Sent   │   Rcvd   │\n"
     "├───────┼─────────────────┼────────────────┼───┼──────────┼──────────┤\n");

// The Sessions History table around rows, then the totals lines, drawn with UTF-8 boxes.
std::string sessions(const std::string& rows, const std::string& totals) {
  return sessions_head + rows + "└───────┴─────────────────┴────────────────┴───┴──────────┴──────────┘\n\n" + totals;
}

// The Nodes Statistics table around rows, drawn with UTF-8 boxes.
std::string nodes(const std::string& rows) {
  return (
      "\n                 Nodes Statistics\n\n"
      "┌───────┬──────────────────┬──────────┬──────────┐\n"
      "│  No.  │     Address      │   Sent   │   Rcvd   │\n"
      "├───────┼──────────────────┼──────────┼──────────┤\n" +
      rows + "└───────┴──────────────────┴──────────┴──────────┘\n");
}

const std::string example_sessions = sessions(
    "│     1 │ 05 Dec 12:34:56 │ 9:99/9         │ i │      120 │      345 │\n"
    "│     2 │ 05 Dec 13:00:01 │ 9:99/8         │ o │        0 │       99 │\n"
    "│     3 │ 05 Dec 14:10:30 │ 9:99/9         │ i │       30 │        5 │\n",
    "Total bytes sent:          150\nTotal bytes rcvd:          449\n");
const std::string example_nodes = nodes(
    "│     1 │ 9:99/9           │      150 │      350 │\n"
    "│     2 │ 9:99/8           │        0 │       99 │\n");
const std::string example_text = example_sessions + example_nodes + "\n";
const std::string example_out = koi8(example_text);
const std::string S = koi8(example_sessions + "\n");  // the sessions report
const std::string N = koi8(example_nodes + "\n");     // the nodes report
const std::string no_session = sessions("", "Total bytes sent:            0\nTotal bytes rcvd:            0\n");
const std::string odd_sessions =
    koi8(sessions("│     1 │ 05 Dec 12:34:56 │ a              │ i │9223372036854775807 │-9223372036854775807 │\n"
                  "│     2 │ 05 Dec 12:34:57 │ a              │ i │        1 │       -5 │\n"
                  "│     3 │ 05 Dec 12:35:00 │                │ u │        3 │        3 │\n"
                  "│     4 │ 05 Dec 12:35:01 │                │ u │        4 │        4 │\n"
                  "│     5 │ 31 Jan 12:35:02 │ a-very-long-node-address.example│ i │        5 │        5 │\n",
                  "Total bytes sent: 9223372036854775820\nTotal bytes rcvd: -9223372036854775800\n\n"));
const std::string odd_nodes = koi8(nodes("│     1 │ a                │9223372036854775808 │-9223372036854775812 │\n"
                                         "│     2 │                  │        7 │        7 │\n"
                                         "│     3 │ a-very-long-node-address.example│        5 │        5 │\n") +
                                   "\n");
const std::string stdout_failed = processing + "Cannot write standard output\n\n";

const std::string empty_out = koi8(no_session + nodes("") + "\n");
// Sessions closed on 5 December, at noon UTC of that day, where the date is still or already
// 5 December, and in a zone fourteen hours east, where it is the 6th.
const std::string on_the_5th = "LD_PRELOAD=$SHIM NOW=1733400000 TZ=UTC ";
const std::string on_the_6th = "LD_PRELOAD=$SHIM NOW=1733400000 TZ=XYZ-14 ";

// A log of 21 MB, read in segments on a machine of several CPUs: closing lines, the odd log, and a
// line of 9 MB that spans segments. twice runs a command on a fresh copy of it, b, in segments
// and on one CPU, and says whether the two runs wrote the same.
const std::string big =
    "seq 100000 | sed 's|.*|+ 05 Dec 12:34:56 [&] done (from 2:&, OK (&/7 bytes))|' >part; "
    "{ cat part odd; head -c 9000000 /dev/zero | tr '\\0' x; cat log part log; } >big; "
    "twice() { cp big b; LD_PRELOAD=$SHIM \"$@\" -sA -nB b >o1 2>e1; echo $?; "
    "cp big b; LD_PRELOAD=$SHIM taskset -c 0 \"$@\" -sC -nD b >o2 2>e2; echo $?; "
    "cmp A C && cmp B D && cmp o1 o2 && cmp e1 e2 && echo same; }; ";

struct run_case {
  std::string command;  // run by sh in a directory holding `log` and `odd`; fd 3 is a pipe nobody reads
  int status;
  std::string out;  // standard output
  std::string err;  // standard error after the banner; when empty, nothing at all
  std::vector<std::pair<std::string, std::string>> files = {};
};

// clang-format off
const run_case cases[] = {
    {"ornsum log", 0, example_out, done},
    {"ornsum -sS -nN%d log", 0, example_out, done, {{"log", example_log}, {"S", S}, {"N%d", N}}},
    {"ornsum -sA nothing -sS log -q -nN", 0, "\n", done, {{"A", "<absent>"}, {"S", S}, {"N", N}}},
    {"ornsum -q -nN log", 0, "\n", done, {{"N", N}}},
    {"ORNSUM_FRAMES=utf8 ornsum -sS -nN log", 0, example_text, done,
     {{"S", example_sessions + "\n"}, {"N", example_nodes + "\n"}}},
    {"ORNSUM_FRAMES=utf8 ornsum -q -nN log", 0, "\n", done, {{"N", example_nodes + "\n"}}},
    {"ORNSUM_FRAMES=UTF-8 ornsum -sS log", 2, "", "Invalid value of ORNSUM_FRAMES: \"UTF-8\"\n\n", {{"S", "<absent>"}}},
    {"ornsum -q -sS -nN odd", 0, "\n", "Processing file: \"odd\"...\nDone!\n\n",
     {{"S", odd_sessions}, {"N", odd_nodes}}},
    // The received count ends at the last space of its parentheses: a digit after it is dropped.
    {"echo '+ 05 Dec 12:34:56 [1] done (from a, OK (1/ 2)' >log; ornsum -q -sS log", 0, "\n", done,
     {{"S", koi8(sessions("│     1 │ 05 Dec 12:34:56 │ a              │ i │        1 │        0 │\n",
                          "Total bytes sent:            1\nTotal bytes rcvd:            0\n\n"))}}},
    {on_the_5th + "ornsum -d log", 0, example_out, done},
    {on_the_6th + "ornsum -d -sS -nN log", 0, empty_out, done, {{"S", koi8(no_session + "\n")}, {"N", koi8(nodes("") + "\n")}}},
    {on_the_6th + "ornsum -qd -sS log", 0, "\n", done, {{"S", S}}},
    {"sed s/Dec/Nov/ log >nov; cat nov log >log2; " + on_the_5th + "ornsum -d -q -sS log2", 0, "\n",
     "Processing file: \"log2\"...\nDone!\n\n", {{"S", S}}},
    {"LD_PRELOAD=$SHIM NOW=1738300000 TZ=UTC ornsum -d -q -nN odd", 0, "\n", "Processing file: \"odd\"...\nDone!\n\n",
     {{"N", koi8(nodes("│     1 │ a-very-long-node-address.example│        5 │        5 │\n") + "\n")}}},
    {"LD_PRELOAD=$SHIM NOW=9223372036854775807 ornsum -d log", 2, "", "Cannot read the current date\n\n"},
    // Every address of a log is found again after the node table has grown many times.
    {"seq 6000 | sed 's|.*|+ d [1] done (from 2:&, OK (0/0 b))|' >once; cat once once >twice; "
     "ornsum -q -nA once >/dev/null 2>&1; ornsum -q -nB twice; cmp A B && grep -c '' B", 0, "\n6008\n",
     "Processing file: \"twice\"...\nDone!\n\n"},
    {"ornsum -", 2, "", std::string("Invalid switch: \"\0\"\n", 20)},
    {"ornsum log -z -sS", 2, "", "Invalid switch: \"z\"\n", {{"S", "<absent>"}}},
    {"ornsum -s log", 2, "", "Cannot open file: \"\"\n\n"},
    {"ornsum -sS -nN missing", 2, "", "Cannot open file: \"missing\"\n\n", {{"S", "<absent>"}, {"N", "<absent>"}}},
    {"mkdir dir; ornsum -sS dir", 2, "", "Cannot open file: \"dir\"\n\n", {{"S", "<absent>"}}},
    {"mkdir dir; ornsum -sdir -nN log", 2, "", "Cannot open file: \"dir\"\n\n", {{"N", "<absent>"}}},
    {"ornsum -slog log", 2, "", "Report file is the log: \"log\"\n\n", {{"log", example_log}}},
    {"ornsum -n./log log", 2, "", "Report file is the log: \"./log\"\n\n", {{"log", example_log}}},
    {"ln log hard; ornsum -shard log", 2, "", "Report file is the log: \"hard\"\n\n", {{"log", example_log}}},
    {"ln -s log soft; ornsum -nsoft log", 2, "", "Report file is the log: \"soft\"\n\n", {{"log", example_log}}},
    {"ornsum -sR -nR log", 2, "", "Both reports name one file: \"R\"\n\n", {{"R", ""}}},
    {"echo kept >R; ln R R2; ornsum -sR -nR2 log", 2, "", "Both reports name one file: \"R2\"\n\n", {{"R", "kept\n"}}},
    {"ornsum -sR -n./R log", 2, "", "Both reports name one file: \"./R\"\n\n", {{"R", ""}}},
    {"ornsum log >>log", 2, "", "Standard output is the log: \"log\"\n\n", {{"log", example_log}}},
    {"ornsum -q log >>log", 2, "", "Standard output is the log: \"log\"\n\n", {{"log", example_log}}},
    {"ornsum -q log 1<>log", 2, "", "Standard output is the log: \"log\"\n\n", {{"log", example_log}}},
    {"echo kept >R; ornsum -sR log >>R", 2, "", "Standard output is the report: \"R\"\n\n", {{"R", "kept\n"}}},
    {"ornsum -q -sS log 2>S", 2, "", "", {{"S", banner + "Standard error is the report: \"S\"\n\n"}}},
    {"echo old >N; ornsum -q -nN log 2>>N", 2, "", "", {{"N", "old\n" + banner + "Standard error is the report: \"N\"\n\n"}}},
    {"ornsum log 2>>log", 2, "", "", {{"log", example_log}}},
    {"echo old >S; ornsum -q -sS -nmissing/N log", 2, "", "Cannot open file: \"missing/N\"\n\n", {{"S", "old\n"}}},
    {"ornsum -q -s/dev/stdout log | cat", 0, S + "\n", done},
    {"ornsum -s/dev/null -n/dev/null log", 0, example_out, done},
    {"ornsum -s/dev/full log", 2, example_out, processing + "Cannot write file: \"/dev/full\"\n\n"},
    {"ornsum -q -n/dev/full log", 2, "\n", processing + "Cannot write file: \"/dev/full\"\n\n"},
    {"ornsum -sS log >/dev/full", 2, "", stdout_failed, {{"S", S}}},
    {"ornsum -sS log >&-", 2, "", stdout_failed, {{"S", S}}},
    {"ornsum -sS log >&3", 2, "", stdout_failed, {{"S", S}}},
    // Reading fails while the first bytes still look like a signature.
    {"{ printf BZh; cat log; } >t; LD_PRELOAD=$SHIM READ_FAULT_AT=2 ornsum -q t", 2, "\n",
     "Processing file: \"t\"...\nCannot read file: \"t\"\n\n"},
    {"LD_PRELOAD=$SHIM READ_FAULT_AT=70 ornsum -q -nN log", 2, "\n", processing + "Cannot read file: \"log\"\n\n",
     {{"N", koi8(nodes("│     1 │ 9:99/9           │      120 │      345 │\n") + "\n")}}},
    // The log is read as it was when the run began: a line appended during the run is left for the
    // next, and a truncation ends the run in failure.
    {big + "twice ornsum; mv A A0; ornsum -q -nN b 2>/dev/null; cmp B N && echo nodes; "
     "twice env NOW=1733400000 ornsum -d; twice env READ_FAULT_AT=5000000 ornsum; "
     "twice env READ_FAULT_AT=9500000 ornsum; twice env ORNSUM_FRAMES=utf8 ornsum -q; "
     "twice env GROW_AT=1 ornsum; cmp A A0 && echo unchanged; twice env SHRINK_AT=12000000 ornsum", 0,
     "0\n0\nsame\n\nnodes\n0\n0\nsame\n2\n2\nsame\n2\n2\nsame\n0\n0\nsame\n0\n0\nsame\nunchanged\n2\n2\nsame\n",
     ""},
    {big + "LD_PRELOAD=$SHIM WORKER_MALLOC_FAILS=1 ornsum -sS big", 2, koi8(sessions_head),
     "Processing file: \"big\"...\n\n\nOut of memory\n\n", {{"S", koi8(sessions_head)}}},
    // A compressed log of two members or frames, the first of more text than a block, reads as its
    // decompressed text through a pipe.
    {"{ cat log; seq 250000; cat log; } >l2; for z in gzip zstd xz bzip2; do $z -c l2 >c; $z -c log >>c; "
     "ornsum -sA -nB c >o1 2>/dev/null; echo $?; "
     "$z -dc c | ornsum -sC -nD /dev/stdin >o2 2>/dev/null; cmp A C && cmp B D && cmp o1 o2 && echo same; done",
     0, "0\nsame\n0\nsame\n0\nsame\n0\nsame\n", ""},
    // Cut short at three places, or with a byte changed, each format fails to read.
    {"for z in gzip zstd xz bzip2; do $z -c log >c; n=$(wc -c <c); for cut in 10 $((n / 2)) $((n - 1)); do "
     "head -c $cut c >t; ornsum -q t 2>e; echo \"$? $(grep -c 'Cannot read file: \"t\"' e)\"; done; cp c t; "
     "printf X | dd of=t bs=1 seek=$((n / 2)) conv=notrunc 2>/dev/null; ornsum -q t 2>e; "
     "echo \"$? $(grep -c 'Cannot read file: \"t\"' e)\"; done", 0,
     "\n2 1\n\n2 1\n\n2 1\n\n2 1\n\n2 1\n\n2 1\n\n2 1\n\n2 1\n\n2 1\n\n2 1\n\n2 1\n\n2 1\n\n2 1\n\n2 1\n\n2 1\n\n2 1\n", ""},
    // Read failing in the second member, each format gives the text of the first.
    {"ornsum -q -sS log 2>/dev/null; for z in gzip zstd xz bzip2; do { $z -c log; seq 99999 | $z -c; } >c; "
     "LD_PRELOAD=$SHIM READ_FAULT_AT=$(($($z -c log | wc -c) + 99)) ornsum -q -sT c 2>e; "
     "echo \"$? $(grep -c 'Cannot read file: \"c\"' e)\"; cmp S T && echo same; done",
     0, "\n\n2 1\nsame\n\n2 1\nsame\n\n2 1\nsame\n\n2 1\nsame\n", ""},
    // Zero bytes after the last gzip member or bzip2 or xz stream are padding; anything after them,
    // and zstd's zeros, are damage.
    {"for z in gzip bzip2 xz zstd; do $z -c log >c; head -c 512 /dev/zero >>c; ornsum -q c 2>e; echo $?; "
     "printf X >>c; ornsum -q c 2>e; echo \"$? $(grep -c 'Cannot read file: \"c\"' e)\"; done", 0,
     "\n0\n\n2 1\n\n0\n\n2 1\n\n0\n\n2 1\n\n2\n\n2 1\n", ""},
    // A gzip member with a name, a comment and a header CRC, its header split by the pipe at every byte.
    {"ornsum -q -sS log 2>/dev/null; { printf '\\037\\213\\010\\032\\0\\0\\0\\0\\0\\003log\\0c\\0\\200\\130'; "
     "gzip -c -n log | tail -c +11; } >m; for k in $(seq 26); do cat m | LD_PRELOAD=$SHIM READ_SPLIT=$k "
     "ornsum -q -sT /dev/stdin >/dev/null 2>&1; cmp S T || echo $k; done", 0, "\n", ""},
    // The decoder waiting for input that never comes does not hold the end of a failed run.
    {"gzip -c log >c; mkfifo f; { head -c 10 c; cat f; } | { LD_PRELOAD=$SHIM MAIN_MALLOC_LIMIT=600000 "
     "timeout 10 ornsum -q /dev/stdin; echo $?; echo >f; }", 0, "2\n",
     "Processing file: \"/dev/stdin\"...\n\n\nOut of memory\n\n"},
    // Memory stays bounded however long a line is and however many CPUs there are, and however far
    // ahead of the scan the decoder could run.
    {"yes \"$(printf %-254s '+ 05 Dec 12:34:56 [1] done (from 2:5020/1042@net, OK (120/345 bytes))')\" | "
     "head -n 132000 | tr -d '\\n' >long; gzip -1 -c long >long.gz; for f in long long.gz; do "
     "LD_PRELOAD=$SHIM CPUS=64 PEAK=1 ornsum -q -s/dev/null $f 2>/dev/null; test \"$(cat peak)\" -le 16384 && echo bounded; "
     "done",
     0, "\nbounded\n\nbounded\n", ""},
    // zstd frames with the windows of --long=27, the zstd tool's own limit, are read; wider ones are not.
    {"zstd -q --long=27 <log >c; ornsum -sS c; zstd -q --long=28 <log >c; ornsum -q c", 2, example_out + "\n",
     "Processing file: \"c\"...\nDone!\n\n" + banner + "Processing file: \"c\"...\nCannot read file: \"c\"\n\n",
     {{"S", S}}},
    // Text whose first bytes are all but a signature is text.
    {"ornsum -q -sS log 2>/dev/null; for p in '\\037' 'BZh91AY&S' '\\050\\265\\057' '\\3757zXZ' 'P*M'; do "
     "{ printf \"$p\"; cat log; } >t; ornsum -q -sT t 2>/dev/null; cmp S T && echo same; done", 0,
     "\n\nsame\n\nsame\n\nsame\n\nsame\n\nsame\n", "",
     {{"S", S}}},
    // A line of 32 MiB, marker after marker, read in a 16 MiB address space.
    {"yes 'x] done (from 1:2/3, OK (4/5 bytes)) ' | head -c 33554432 | tr -d '\\n' >long; ulimit -v 16384; "
     "ornsum -q long", 0, "\n", "Processing file: \"long\"...\nDone!\n\n"},
};
// clang-format on

// Sanitizers keep memory of their own and reserve address space beyond any small limit.
constexpr bool sanitized = ORNSUM_SANITIZED;

class run : public testing::TestWithParam<run_case> {};

TEST_P(run, writes_exactly_what_it_should) {
  const run_case& c = GetParam();
  // Sanitizers reserve address space beyond any small limit, and allocate on their own.
  if (sanitized && (c.command.find("ulimit") != std::string::npos || c.command.find("MALLOC") != std::string::npos ||
                    c.command.find("PEAK") != std::string::npos))
    GTEST_SKIP();
  scratch s;
  s.put("log", example_log);
  s.put("odd", odd_log);
  int pipe_ends[2];
  ASSERT_EQ(::pipe(pipe_ends), 0);
  ::close(pipe_ends[0]);
  outcome o = s.run(c.command, pipe_ends[1]);
  ::close(pipe_ends[1]);
  EXPECT_EQ(o.status, c.status);
  EXPECT_EQ(o.out, c.out);
  EXPECT_EQ(o.err, c.err.empty() ? "" : banner + c.err);
  for (const auto& [name, bytes] : c.files) EXPECT_EQ(s.get(name), bytes) << name;
}

INSTANTIATE_TEST_SUITE_P(cases, run, testing::ValuesIn(cases));

void PrintTo(const run_case& c, std::ostream* os) { *os << c.command; }

// Memory that runs out in mid-run ends it with status 2, every row written so far delivered whole.
TEST(run_out_of_memory, delivers_the_rows_written) {
  if (sanitized) GTEST_SKIP();
  scratch s;
  outcome o = s.run(
      "seq 200000 | sed 's|.*|+ 05 Dec 12:34:56 [1] done (from 2:&, OK (1/1 bytes))|' >many; ulimit -v 16384; "
      "taskset -c 0 ornsum -sS many");
  const std::string first = koi8("│     1 │ 05 Dec 12:34:56 │ 2:1            │ i │        1 │        1 │\n");
  EXPECT_EQ(o.status, 2);
  EXPECT_EQ(o.err, banner + "Processing file: \"many\"...\n\n\nOut of memory\n\n");
  const std::string head = koi8(sessions_head);
  EXPECT_EQ(o.out.substr(0, head.size() + first.size()), head + first);
  EXPECT_EQ((o.out.size() - head.size()) % first.size(), 0u);
  EXPECT_EQ(s.get("S"), o.out);
}

// A pseudo-terminal: the screen a program writes to and the terminal that shows what it wrote.
struct pty {
  int terminal = ::posix_openpt(O_RDWR | O_NOCTTY);
  int screen = terminal >= 0 && ::grantpt(terminal) == 0 && ::unlockpt(terminal) == 0
                   ? ::open(::ptsname(terminal), O_RDWR | O_NOCTTY)
                   : -1;
  ~pty() {
    ::close(screen);
    ::close(terminal);
  }
  // What the terminal shows from here on, once the program's end has closed the screen too.
  std::string rest() {
    ::close(std::exchange(screen, -1));
    // With every writer gone, the terminal gives what is left to read, then an error.
    std::string shown;
    char bytes[4096];
    for (ssize_t n; (n = ::read(terminal, bytes, sizeof bytes)) > 0;) shown.append(bytes, static_cast<std::size_t>(n));
    return shown;
  }
};

// On a terminal each row shows as soon as its line is read: the log's writer, or the reading of a
// later segment, waits to see the first row on the terminal before the log goes on.
TEST(run_terminal, shows_each_row_at_once) {
  const std::string first_row = "timeout 10 grep -q -m1 12:34:56 <&4 || echo late >&2";
  for (const std::string writer : {"head -n1 log", "gzip -c log", "zstd -c log", "xz -c log", "bzip2 -c log"}) {
    pty p;
    scratch s;
    s.put("log", example_log);
    outcome o = s.run("{ " + writer + "; " + first_row + "; } | ornsum /dev/stdin >&3", p.screen, p.terminal);
    EXPECT_EQ(o.status, 0) << writer;
    EXPECT_EQ(o.err, banner + "Processing file: \"/dev/stdin\"...\nDone!\n\n") << writer;
  }
  pty p;
  scratch s;
  s.put("log", example_log);
  outcome o = s.run(
      "{ cat log; yes 'a line of filler' | head -n 700000; } >big; "
      "LD_PRELOAD=$SHIM PAUSE_AT=6000000 ornsum big >&3 & " +
          first_row + "; touch go; wait $!",
      p.screen, p.terminal);
  EXPECT_EQ(o.status, 0);
  EXPECT_EQ(o.err, banner + "Processing file: \"big\"...\nDone!\n\n");
}

// A terminal shows UTF-8 boxes when its locale is UTF-8, told by the name of a locale that is not
// installed, or when ORNSUM_FRAMES asks for them everywhere; the reports keep the KOI8-R bytes
// unless it does.
TEST(run_terminal, draws_frames_for_its_locale) {
  const std::string S8 = example_sessions + "\n";
  const struct {
    std::string environment, shown, report;
  } rows[] = {
      {"LC_ALL=C.UTF-8", example_text, S},
      {"LC_ALL=C", example_out, S},
      {"unset LC_ALL LC_CTYPE; LANG=en_US.UTF-8", example_text, S},
      {"LC_ALL= LC_CTYPE=xx_XX.utf8@euro LANG=C", example_text, S},
      {"LC_ALL=xx_XX.ISO-8859-1 LC_CTYPE=xx_XX.UTF-8", example_out, S},
      {"ORNSUM_FRAMES= LC_ALL=C.UTF-8", example_text, S},
      {"ORNSUM_FRAMES=koi8 LC_ALL=C.UTF-8", example_out, S},
      {"ORNSUM_FRAMES=utf8 LC_ALL=C", example_text, S8},
  };
  for (const auto& row : rows) {
    pty p;
    scratch s;
    s.put("log", example_log);
    EXPECT_EQ(s.run("stty raw <&3; " + row.environment + " ornsum -sS log >&3", p.screen).status, 0);
    EXPECT_EQ(p.rest(), row.shown) << row.environment;
    EXPECT_EQ(s.get("S"), row.report) << row.environment;
  }
}

// A run that lasts shows how far it has come on the terminal of standard error, a line rewritten
// in place and erased before the closing message: the log's writer, or the reading paused at
// byte 100, waits to see it. Where the tables go to that terminal, or standard error is a file,
// nothing more shows.
TEST(run_terminal, shows_progress_on_a_long_run) {
  const std::string size = std::to_string(example_log.size());
  const std::string share = "Read 10 B of " + size + " B (" + std::to_string(1000 / example_log.size()) + "%), ";
  const std::string rate = "[0-9.]+ (B|KiB|MiB)/s\033\\[K";
  const struct {
    std::string command, shown, rest;
  } rows[] = {
      {"{ cat log; WAIT; } | ornsum -q /dev/stdin 2>&3", "\"/dev/stdin\"...\n\rRead ",
       "[0-9]+ B\033\\[K(\rRead [0-9]+ B\033\\[K)*"},
      {"LD_PRELOAD=$SHIM PAUSE_AT=100 ornsum -q log 2>&3 & WAIT; touch go; wait $!", "\"log\"...\n\r" + share,
       rate + "(\rRead [0-9]+ B of " + size + " B \\([0-9]+%\\), " + rate + ")*"},
  };
  for (const auto& row : rows) {
    const std::string shown = banner + "Processing file: " + row.shown;
    const std::string wait =
        "timeout 10 dd bs=1 count=" + std::to_string(shown.size()) + " <&4 >seen 2>/dev/null || echo late >&2";
    std::string command = "stty raw <&3; " + row.command;
    command.replace(command.find("WAIT"), 4, wait);
    pty p;
    scratch s;
    s.put("log", example_log);
    outcome o = s.run(command, p.screen, p.terminal);
    EXPECT_EQ(o.out, "\n") << row.command;
    EXPECT_EQ(o.err, "") << row.command;
    EXPECT_EQ(s.get("seen"), shown) << row.command;
    const std::string rest = p.rest();
    EXPECT_TRUE(std::regex_match(rest, std::regex(row.rest + "\r\033\\[KDone!\n\n"))) << rest;
  }
  pty q;
  scratch s;
  s.put("log", example_log);
  outcome o = s.run("stty raw <&3; { cat log; sleep 1.5; } | LC_ALL=C ornsum /dev/stdin >&3 2>&3", q.screen);
  EXPECT_EQ(q.rest(), banner + "Processing file: \"/dev/stdin\"...\n" + example_out + "Done!\n\n");
  o = s.run("{ cat log; sleep 1.5; } | ornsum -q /dev/stdin");
  EXPECT_EQ(o.err, banner + "Processing file: \"/dev/stdin\"...\nDone!\n\n");
}

}  // namespace
