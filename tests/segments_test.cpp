// A log read in segments on several CPUs: the same bytes as on one, in memory that stays bounded.
#include "run_case.h"

namespace {

// A log of 21 MB, read in segments on a machine of several CPUs: closing lines, the odd log, and a
// line of 9 MB that spans segments. twice runs a command on a fresh copy of it, b, in segments
// and on one CPU, and says whether the two runs wrote the same.
const std::string big =
    "seq 100000 | sed 's|.*|+ 05 Dec 12:34:56 [&] done (from 2:&, OK (&/7 bytes))|' >part; "
    "{ cat part odd; head -c 9000000 /dev/zero | tr '\\0' x; cat log part log; } >big; "
    "twice() { cp big b; LD_PRELOAD=$SHIM \"$@\" -sA -nB b >o1 2>e1; echo $?; "
    "cp big b; LD_PRELOAD=$SHIM taskset -c 0 \"$@\" -sC -nD b >o2 2>e2; echo $?; "
    "cmp A C && cmp B D && cmp o1 o2 && cmp e1 e2 && echo same; }; ";

// clang-format off
const run_case cases[] = {
    // The log is read as it was when the run began: a line appended during the run is left for the
    // next, and a truncation ends the run in failure. Each scenario runs in segments and on one CPU.
    {"segments_match_one_cpu", big + "twice ornsum", 0, "0\n0\nsame\n", ""},
    {"segments_quiet_nodes_report", big + "twice ornsum; ornsum -q -nN b 2>/dev/null; cmp B N && echo nodes", 0,
     "0\n0\nsame\n\nnodes\n", ""},
    {"segments_today", big + "twice env NOW=1733400000 ornsum -d", 0, "0\n0\nsame\n", ""},
    {"segments_read_fails_early", big + "twice env READ_FAULT_AT=5000000 ornsum", 0, "2\n2\nsame\n", ""},
    {"segments_read_fails_in_long_line", big + "twice env READ_FAULT_AT=9500000 ornsum", 0, "2\n2\nsame\n", ""},
    {"segments_utf8_quiet", big + "twice env ORNSUM_FRAMES=utf8 ornsum -q", 0, "0\n0\nsame\n", ""},
    {"segments_growth_left_for_next_run", big + "twice ornsum; mv A A0; twice env GROW_AT=1 ornsum; cmp A A0 && echo unchanged",
     0, "0\n0\nsame\n0\n0\nsame\nunchanged\n", ""},
    {"segments_truncation_fails", big + "twice env SHRINK_AT=12000000 ornsum", 0, "2\n2\nsame\n", ""},
    {"worker_out_of_memory", big + "LD_PRELOAD=$SHIM WORKER_MALLOC_LIMIT=0 ornsum -sS big", 2, koi8(sessions_head),
     "Processing file: \"big\"...\n\n\nOut of memory\n\n", {{"S", koi8(sessions_head)}}},
    // The merge runs on the workers: rows that outgrow what a worker may allocate, from a log of one
    // address whose scan needs little, end the run as out of memory, not as a success.
    {"merge_out_of_memory", "seq 200000 | sed 's|.*|+ 05 Dec 12:34:56 [&] done (from 9:9999/1, OK (&/7 bytes))|' >one; "
     "LD_PRELOAD=$SHIM CPUS=2 WORKER_MALLOC_LIMIT=300000 ornsum -sS one >o; echo $?",
     0, "2\n", "Processing file: \"one\"...\n\n\nOut of memory\n\n"},
    // Memory stays bounded however long a line is and however many CPUs there are, and however far
    // ahead of the scan the decoder could run.
    {"memory_bounded_on_long_line", "yes \"$(printf %-254s '+ 05 Dec 12:34:56 [1] done (from 9:9999/1042@net, OK (120/345 bytes))')\" | "
     "head -n 132000 | tr -d '\\n' >long; gzip -1 -c long >long.gz; for f in long long.gz; do "
     "LD_PRELOAD=$SHIM CPUS=64 PEAK=1 ornsum -q -s/dev/null $f 2>/dev/null; test \"$(cat peak)\" -le 16384 && echo bounded; "
     "done",
     0, "\nbounded\n\nbounded\n", ""},
    // Over many segments of short lines, the segments that wait for the merge hold no more than
    // their budget, at any number of CPUs.
    {"memory_bounded_over_many_segments",
     "yes '+ 05 Dec 12:34:56 [1] done (from 9:9999/1042@net, OK (120/345 bytes))' | head -c 67108864 >short; "
     "for c in 8 64; do LD_PRELOAD=$SHIM CPUS=$c PEAK=1 ornsum -q short 2>/dev/null; "
     "test \"$(cat peak)\" -le 16384 && echo quiet; "
     "LD_PRELOAD=$SHIM CPUS=$c PEAK=1 ornsum -s/dev/null -n/dev/null short >/dev/null 2>&1; "
     "test \"$(cat peak)\" -le 32768 && echo reports; done",
     0, "\nquiet\nreports\n\nquiet\nreports\n", ""},
    // A line of 32 MiB, marker after marker, read in a 16 MiB address space, on one CPU: whether a
    // worker's stack would fit there beside the program is no matter of the line.
    {"long_line_in_small_address_space", "yes 'x] done (from 1:2/3, OK (4/5 bytes)) ' | head -c 33554432 | tr -d '\\n' >long; ulimit -v 16384; "
     "taskset -c 0 ornsum -q long", 0, "\n", "Processing file: \"long\"...\n"
     "ornsum: warning: closing lines longer than a piece (254 bytes) skipped: 1, the first on line 1 of \"long\"\nDone!\n\n"},
};
// clang-format on

class segments : public testing::TestWithParam<run_case> {};

TEST_P(segments, writes_exactly_what_it_should) { check(GetParam()); }

INSTANTIATE_TEST_SUITE_P(cases, segments, testing::ValuesIn(cases), case_name);

}  // namespace
