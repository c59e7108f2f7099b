// The whole program, run through the shell as a user runs it: switches, refusals, failed reads
// and writes, with the output, messages, status and files of each.
#include "run_case.h"

namespace {

// 20,000 sessions of one node, whose rows come to over 100 KiB.
const std::string few = "seq 20000 | sed 's|.*|+ 05 Dec 12:34:56 [&] done (from 1:1/1, OK (1/1 bytes))|' >few; ";
const std::string few_nodes = koi8(nodes("│     1 │ 1:1/1            │    20000 │    20000 │\n") + "\n");

// clang-format off
const run_case cases[] = {
    {"plain_run", "ornsum log", 0, example_out, done},
    {"both_reports_any_name", "ornsum -sS -nN%d log", 0, example_out, done, {{"log", example_log}, {"S", S}, {"N%d", N}}},
    {"last_log_and_report_names_win", "ornsum -sA nothing -sS log -q -nN", 0, "\n",
     "ornsum: warning: 2 logs named without -a: only the last, \"log\", is read; -a reads them all\n" + done, {{"A", "<absent>"}, {"S", S}, {"N", N}}},
    {"quiet_nodes_report", "ornsum -q -nN log", 0, "\n", done, {{"N", N}}},
    {"utf8_frames_everywhere", "ORNSUM_FRAMES=utf8 ornsum -sS -nN log", 0, example_text, done,
     {{"S", example_sessions + "\n"}, {"N", example_nodes + "\n"}}},
    {"utf8_frames_named_in_any_case", "ORNSUM_FRAMES=Utf-8 ornsum -q -nN log", 0, "\n", done, {{"N", example_nodes + "\n"}}},
    {"frames_value_refused", "ORNSUM_FRAMES=UTF-16 ornsum -sS log", 2, "", "Invalid value of ORNSUM_FRAMES: \"UTF-16\"\n\n", {{"S", "<absent>"}}},
    {"odd_counts_and_addresses", "ornsum -q -sS -nN odd", 0, "\n", "Processing file: \"odd\"...\nDone!\n\n",
     {{"S", odd_sessions}, {"N", odd_nodes}}},
    // The received count ends at the last space of its parentheses: a digit after it is dropped.
    {"received_count_ends_at_last_space", "echo '+ 05 Dec 12:34:56 [1] done (from a, OK (1/ 2)' >log; ornsum -q -sS log", 0, "\n", done,
     {{"S", koi8(sessions("│     1 │ 05 Dec 12:34:56 │ a              │ i │        1 │        0 │\n",
                          "Total bytes sent:            1\nTotal bytes rcvd:            0\n\n"))}}},
    {"today_keeps_its_sessions", on_the_5th + "ornsum -d log", 0, example_out, done},
    {"today_drops_other_days", on_the_6th + "ornsum -d -sS -nN log", 0, empty_out, done, {{"S", koi8(no_session + "\n")}, {"N", koi8(nodes("") + "\n")}}},
    {"switch_is_its_first_two_bytes", on_the_6th + "ornsum -qd -sS log", 0, "\n",
     "ornsum: warning: only the first letter of \"-qd\" counts: \"d\" is ignored\n" + done, {{"S", S}}},
    {"today_skips_other_months", "sed s/Dec/Nov/ log >nov; cat nov log >log2; " + on_the_5th + "ornsum -d -q -sS log2", 0, "\n",
     "Processing file: \"log2\"...\nDone!\n\n", {{"S", S}}},
    {"today_on_31_january", "LD_PRELOAD=$SHIM NOW=1738300000 TZ=UTC ornsum -d -q -nN odd", 0, "\n", "Processing file: \"odd\"...\nDone!\n\n",
     {{"N", koi8(nodes("│     1 │ a-very-long-node-address.example│        5 │        5 │\n") + "\n")}}},
    {"clock_unreadable", "LD_PRELOAD=$SHIM NOW=9223372036854775807 ornsum -d log", 2, "", "Cannot read the current date\n\n"},
    // Every address of a log is found again after the node table has grown many times.
    {"node_table_grows", "seq 6000 | sed 's|.*|+ d [1] done (from 2:&, OK (0/0 b))|' >once; cat once once >twice; "
     "ornsum -q -nA once >/dev/null 2>&1; ornsum -q -nB twice; cmp A B && grep -c '' B", 0, "\n6008\n",
     "Processing file: \"twice\"...\nDone!\n\n"},
    {"empty_switch_refused", "ornsum -", 2, "", std::string("Invalid switch: \"\0\"\n", 20)},
    {"unknown_switch_refused", "ornsum log -z -sS", 2, "", "Invalid switch: \"z\"\n", {{"S", "<absent>"}}},
    {"help_and_version", "ornsum --help -x | head -n 1; ornsum --version log -x; echo $?", 0,
     "USAGE: ornsum [-d] [-q] [-s<file>] [-n<file>] <log_file>\nornsum 1.50\n0\n", banner},
    // -t keeps the sessions of a day, of days or of a month, by their stamps' day and month, across
    // New Year and whether the day is written with one digit or two; -d looks for "05 Dec" alone.
    {"days_chosen", R"(printf '+ 31 Dec 23:59:59 [1] done (from 1, OK (1/0 bytes))\n+ 01 Jan 00:00:01 [2] done (from 2, )"
     R"(OK (2/0 bytes))\n+  5 Dec 10:00:00 [3] done (from 3, OK (4/0 bytes))\n+ 04 Dec 10:00:00 [4] done (from 4, )"
     R"(OK (8/0 bytes))\n' >days; for t in -t2025-12-31..2026-01-01 -tyesterday -ttoday -t2024-12 -d; do )" +
         on_the_5th + "ornsum -q -sS $t days 2>/dev/null; grep sent S; done",
     0, "\nTotal bytes sent:            3\n\nTotal bytes sent:            8\n\nTotal bytes sent:            4\n"
     "\nTotal bytes sent:           13\n\nTotal bytes sent:            0\n", ""},
    {"days_refused", "ornsum -t2026-02-29 -sS log", 2, "",
     "Invalid switch: \"t\"\nornsum: -t takes today, yesterday, a day (2026-12-05), a range of days "
     "(2026-11-28..2026-12-04) or a month (2026-11)\n", {{"S", "<absent>"}}},
    // Why a log cannot be opened or read is told after its message.
    {"reasons_told", R"(mkdir d; { printf 'PK\3\4'; cat log; } >z; tar --format=ustar -cf t log; gzip -c log | head -c -4 >c.gz; )"
     R"({ printf '\037\235'; cat log; } >x; for f in missing d z t c.gz x; do ornsum -q $f 2>&1 | grep '^ornsum'; done)", 0,
     "ornsum: \"missing\": no such file\nornsum: \"d\": a directory\nornsum: \"z\": an archive, not a log\n"
     "ornsum: \"t\": an archive, not a log\nornsum: \"c.gz\": damaged, cut short, or too large to decode in the memory allowed\n"
     "ornsum: \"x\": compressed in a format that is not read (compress, pack, lzop or lz4's legacy one)\n", ""},
    // A closing line longer than a piece is skipped, as each piece counts alone; how many were, and
    // the line of the first, are told where the log can be read again.
    {"long_closing_lines_counted", R"({ cat log; printf '+ 05 Dec 12:34:56 [1] done (from 9:99/9@testnet %0300d, OK (1/2 bytes))\n' 0 0; } >long; )"
     "gzip -c long >long.gz; for f in long long.gz; do ornsum -q $f 2>&1 | grep warning; done; "
     "cat long | ornsum -q /dev/stdin 2>&1 | grep warning", 0,
     "ornsum: warning: closing lines longer than a piece (254 bytes) skipped: 2, the first on line 5 of \"long\"\n"
     "ornsum: warning: closing lines longer than a piece (254 bytes) skipped: 2, the first on line 5 of \"long.gz\"\n"
     "ornsum: warning: closing lines longer than a piece (254 bytes) skipped: 2, the first in \"/dev/stdin\"\n", ""},
    {"report_name_empty", "ornsum -s log", 2, "", "Cannot open file: \"\"\n\nornsum: \"\": no such file\n"},
    {"log_missing", "ornsum -sS -nN missing", 2, "", "Cannot open file: \"missing\"\n\nornsum: \"missing\": no such file\n", {{"S", "<absent>"}, {"N", "<absent>"}}},
    {"log_is_a_directory", "mkdir dir; ornsum -sS dir", 2, "", "Cannot open file: \"dir\"\n\nornsum: \"dir\": a directory\n", {{"S", "<absent>"}}},
    {"report_is_a_directory", "mkdir dir; ornsum -sdir -nN log", 2, "", "Cannot open file: \"dir\"\n\nornsum: \"dir\": a directory\n", {{"N", "<absent>"}}},
    {"report_is_the_log", "ornsum -slog log", 2, "", "Report file is the log: \"log\"\n\n", {{"log", example_log}}},
    {"report_is_the_log_by_path", "ornsum -n./log log", 2, "", "Report file is the log: \"./log\"\n\n", {{"log", example_log}}},
    {"report_is_the_log_by_hard_link", "ln log hard; ornsum -shard log", 2, "", "Report file is the log: \"hard\"\n\n", {{"log", example_log}}},
    {"report_is_the_log_by_symlink", "ln -s log soft; ornsum -nsoft log", 2, "", "Report file is the log: \"soft\"\n\n", {{"log", example_log}}},
    {"reports_share_a_name", "ornsum -sR -nR log", 2, "", "Both reports name one file: \"R\"\n\n", {{"R", ""}}},
    {"reports_share_a_hard_link", "echo kept >R; ln R R2; ornsum -sR -nR2 log", 2, "", "Both reports name one file: \"R2\"\n\n", {{"R", "kept\n"}}},
    {"reports_share_a_path", "ornsum -sR -n./R log", 2, "", "Both reports name one file: \"./R\"\n\n", {{"R", ""}}},
    {"stdout_appends_to_log", "ornsum log >>log", 2, "", "Standard output is the log: \"log\"\n\n", {{"log", example_log}}},
    {"quiet_stdout_appends_to_log", "ornsum -q log >>log", 2, "", "Standard output is the log: \"log\"\n\n", {{"log", example_log}}},
    {"quiet_stdout_opens_log", "ornsum -q log 1<>log", 2, "", "Standard output is the log: \"log\"\n\n", {{"log", example_log}}},
    {"stdout_appends_to_report", "echo kept >R; ornsum -sR log >>R", 2, "", "Standard output is the report: \"R\"\n\n", {{"R", "kept\n"}}},
    {"stderr_is_report", "ornsum -q -sS log 2>S", 2, "", "", {{"S", banner + "Standard error is the report: \"S\"\n\n"}}},
    {"stderr_appends_to_report", "echo old >N; ornsum -q -nN log 2>>N", 2, "", "", {{"N", "old\n" + banner + "Standard error is the report: \"N\"\n\n"}}},
    {"stderr_is_the_log", "ornsum log 2>>log", 2, "", "", {{"log", example_log}}},
    {"later_report_cannot_open", "echo old >S; ornsum -q -sS -nmissing/N log", 2, "", "Cannot open file: \"missing/N\"\n\nornsum: \"missing/N\": no such file\n", {{"S", "old\n"}}},
    {"report_to_stdout_pipe", "ornsum -q -s/dev/stdout log | cat", 0, S + "\n", done},
    {"reports_to_dev_null", "ornsum -s/dev/null -n/dev/null log", 0, example_out, done},
    {"sessions_report_full", "ornsum -s/dev/full log", 2, example_out, processing + "Cannot write file: \"/dev/full\"\n\n"},
    {"nodes_report_full", "ornsum -q -n/dev/full log", 2, "\n", processing + "Cannot write file: \"/dev/full\"\n\n"},
    {"stdout_full", "ornsum -sS log >/dev/full", 2, "", stdout_failed, {{"S", S}}},
    {"stdout_closed", "ornsum -sS log >&-", 2, "", stdout_failed, {{"S", S}}},
    {"stdout_reader_gone", "ornsum -sS log >&3", 2, "", stdout_failed, {{"S", S}}},
    // A write past the limit of file sizes fails as any other: the other outputs are completed.
    {"file_size_limit_on_stdout", few + "echo old >N; (ulimit -f 200; ornsum -nN few >o)", 2, "",
     "Processing file: \"few\"...\nCannot write standard output\n\n", {{"N", few_nodes}}},
    {"file_size_limit_on_report", few + "(ulimit -f 200; ornsum -q -sS -nN few)", 2, "\n",
     "Processing file: \"few\"...\nCannot write file: \"S\"\n\n", {{"N", few_nodes}}},
    // Reading fails while the first bytes still look like a signature.
    {"read_fails_in_signature", "{ printf BZh; cat log; } >t; LD_PRELOAD=$SHIM READ_FAULT_AT=2 ornsum -q t", 2, "\n",
     "Processing file: \"t\"...\nCannot read file: \"t\"\n\nornsum: \"t\": input/output error\n"},
    {"read_fails_midway", "LD_PRELOAD=$SHIM READ_FAULT_AT=70 ornsum -q -nN log", 2, "\n", processing + "Cannot read file: \"log\"\n\nornsum: \"log\": input/output error\n",
     {{"N", koi8(nodes("│     1 │ 9:99/9           │      120 │      345 │\n") + "\n")}}},
};
// clang-format on

class run : public testing::TestWithParam<run_case> {};

TEST_P(run, writes_exactly_what_it_should) { check(GetParam()); }

INSTANTIATE_TEST_SUITE_P(cases, run, testing::ValuesIn(cases), case_name);

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

}  // namespace
