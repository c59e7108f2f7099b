// Several logs in one run with -a: read one after another as if they were one log, each in its
// own format, on every CPU, and refused or failed as one log is.
#include "run_case.h"

namespace {

// The logs: the example in gzip and xz, a log of a large plain part, one without its last line
// feed, and an empty one. same runs ornsum -a over logs on 1, 2 and 8 CPUs, each with what feed
// writes on its standard input, and once over their text joined, and says whether all wrote the same.
const std::string logs =
    "gzip -c log >l.gz; xz -c odd >o.xz; : >empty; printf %s \"$(cat log)\" >nofeed; "
    "seq 150000 | sed 's|.*|+ 05 Dec 12:34:56 [&] done (from 2:&, OK (&/7 bytes))|' >big; cat log >>big; "
    "feed() { :; }; same() { all=$1; shift; for c in 1 2 8; do feed | LD_PRELOAD=$SHIM CPUS=$c ornsum -a -sA$c -nB$c "
    "\"$@\" >o$c 2>e$c; "
    "echo $?; done; "
    "cat $all >j; ornsum -sC -nD j >o 2>/dev/null; for c in 1 2 8; do cmp A$c C && cmp B$c D && cmp o$c o || return; "
    "done; echo "
    "same; }; ";

// What a run over log, cut.gz and l2 tells, cut.gz cut short.
const std::string passed =
    "Processing file: \"log\"...\nProcessing file: \"cut.gz\"...\nCannot read file: \"cut.gz\"\n\n"
    "ornsum: \"cut.gz\": damaged, cut short, or too large to decode in the memory allowed\nProcessing file: \"l2\"...\n"
    "ornsum: logs not read whole: 1 of 3\n";
// What a run over log, big and b2 tells, both failing at 5,000,000 bytes.
const std::string segments_failed =
    "Processing file: \"log\"...\nProcessing file: \"big\"...\nCannot read file: \"big\"\n\n"
    "ornsum: \"big\": input/output error\nProcessing file: \"b2\"...\nCannot read file: \"b2\"\n\n"
    "ornsum: \"b2\": input/output error\nornsum: logs not read whole: 2 of 3\n";

// clang-format off
const run_case cases[] = {
    {"one_log_as_without", "ornsum -a -sS -nN log", 0, example_out, done, {{"S", S}, {"N", N}}},
    // Sessions are numbered on across the logs, the nodes are in order of first appearance over all
    // of them, and a log without its last line feed ends its line; the same log twice counts twice.
    {"logs_read_as_one", logs + "gunzip -c l.gz >lg; xz -dc o.xz >ox; "
     "same 'log empty lg ox log log' log empty l.gz o.xz nofeed log; cat e2 >&2",
     0, "0\n0\n0\nsame\n", "ornsum: warning: \"log\" is the file \"log\" named before: it is read twice\n"
     "Processing file: \"log\"...\nProcessing file: \"empty\"...\nProcessing file: \"l.gz\"...\n"
     "Processing file: \"o.xz\"...\nProcessing file: \"nofeed\"...\nProcessing file: \"log\"...\nDone!\n\n"},
    // A log large enough to be read in segments, among logs decoded whole.
    {"large_log_in_segments", logs + "gunzip -c l.gz >lg; same 'lg big log' l.gz big log",
     0, "0\n0\n0\nsame\n", ""},
    {"today_in_every_log", "sed 's/05 Dec/06 Dec/' log | gzip >six.gz; " + on_the_6th + "ornsum -a -d -q -sS log six.gz; "
     "gunzip -c six.gz >six; " + on_the_6th + "ornsum -d -q -sT six 2>/dev/null; cmp S T && echo same", 0, "\n\nsame\n",
     "Processing file: \"log\"...\nProcessing file: \"six.gz\"...\nDone!\n\n"},
    // Every log is opened before a report is emptied.
    {"log_missing_touches_nothing", "echo kept >S; ornsum -a -sS log missing", 2, "", "Cannot open file: \"missing\"\n\n"
     "ornsum: \"missing\": no such file\n", {{"S", "kept\n"}}},
    {"log_is_the_report", "echo kept >S; ornsum -a -sS log S", 2, "", "Report file is the log: \"S\"\n\n", {{"S", "kept\n"}}},
    {"stdout_appends_to_a_log", "cp log l2; ornsum -a log l2 >>l2", 2, "", "Standard output is the log: \"l2\"\n\n",
     {{"l2", example_log}}},
    {"stderr_is_a_log", "cp log l2; ornsum -a log l2 2>>l2", 2, "", "", {{"l2", example_log}}},
    // A log damaged mid-way is named with why, and the run goes on: the logs before and after it
    // and its clean text are counted, and the status and a closing line tell the month partial.
    {"damaged_log_is_passed", "cp log l2; gzip -c log | head -c -4 >cut.gz; for c in 1 2; do "
     "LD_PRELOAD=$SHIM CPUS=$c ornsum -a -q -sS$c log cut.gz l2; echo $?; done; cat log log log >three; "
     "ornsum -q -sT three 2>/dev/null; cmp S1 T && cmp S2 T && echo same", 0, "\n2\n\n2\n\nsame\n",
     passed + banner + passed},
    // A pipe is read in its turn, after the logs before it, whether they were read whole or not.
    {"pipe_among_logs", logs + "gunzip -c l.gz >lg; feed() { sleep 0.2; cat log; }; same 'lg big log big' l.gz big /dev/stdin big; "
     "gzip -c log | head -c -4 >cut.gz; cat log | LD_PRELOAD=$SHIM CPUS=2 ornsum -a -q -sS cut.gz /dev/stdin 2>/dev/null; "
     "echo $?; cat log log >two; ornsum -q -sT two 2>/dev/null; cmp S T && echo same", 0, "0\n0\n0\nsame\n\n2\n\nsame\n", ""},
    // A large log that fails in its segments is left there, and the next is read.
    {"large_log_fails_in_segments", logs + "cp big b2; for c in 1 2; do LD_PRELOAD=$SHIM CPUS=$c READ_FAULT_AT=5000000 "
     "ornsum -a -q -sS$c log big b2; echo $?; done; cmp S1 S2 && echo same", 0, "\n2\n\n2\nsame\n",
     segments_failed + banner + segments_failed},
    // Any number of logs is read, each opened only while it is read.
    {"any_number_of_logs", "seq 1100 | sed 's|.*|+ 05 Dec 12:34:56 [&] done (from 9:&, OK (&/7 bytes))|' | split -l 1 -a 4 - l; "
     "(ulimit -n 64; ornsum -a -q -sS l* 2>/dev/null; echo $?); cat l* >all; ornsum -q -sT all 2>/dev/null; "
     "cmp S T && echo same", 0, "\n0\n\nsame\n", ""},
    // -t keeps the same sessions from a log in segments as from logs read whole.
    {"days_in_segments", logs + "sed 's/05 Dec/06 Dec/' big >six; for c in 1 2; do LD_PRELOAD=$SHIM CPUS=$c ornsum -a -q "
     "-sS$c -t2026-12-06..2026-12-06 l.gz six 2>/dev/null; done; grep -c '06 Dec' S1; cmp S1 S2 && echo same", 0, "\n\n150003\nsame\n", ""},
    // Without -a the last log name wins, as it always has.
    {"last_log_wins_without_a", "ornsum -q -sS missing log", 0, "\n",
     "ornsum: warning: 2 logs named without -a: only the last, \"log\", is read; -a reads them all\n" + done, {{"S", S}}},
};
// clang-format on

class several_logs : public testing::TestWithParam<run_case> {};

TEST_P(several_logs, writes_exactly_what_it_should) { check(GetParam()); }

INSTANTIATE_TEST_SUITE_P(cases, several_logs, testing::ValuesIn(cases), case_name);

}  // namespace
