// What a terminal shows: rows as they come, frames for its locale, and the progress of a long run.
#include <fcntl.h>

#include <cstdlib>
#include <regex>
#include <utility>

#include "run_case.h"

namespace {

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
      {"LC_ALL=xx_XX LC_CTYPE=xx_XX.UTF-8", example_out, S},
      {"ORNSUM_FRAMES= LC_ALL=C.UTF-8", example_text, S},
      {"ORNSUM_FRAMES=KOI8-R LC_ALL=C.UTF-8", example_out, S},
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
// in place and erased before the closing message: the log's writer, or the reading paused at a
// byte, waits to see it. In segments, the reading counts each byte once, at the place it is paused.
TEST(run_terminal, shows_progress_on_a_long_run) {
  const std::string size = std::to_string(example_log.size());
  const std::string share = "Read 10 B of " + size + " B (" + std::to_string(1000 / example_log.size()) + "%), ";
  const std::string rate = "[0-9.]+ (B|KiB|MiB)/s\033\\[K";
  const std::string segments = "{ cat log; yes 'a line of filler' | head -n 700000; } >big; LD_PRELOAD=$SHIM CPUS=2 ";
  const struct {
    std::string command, shown, rest;
  } rows[] = {
      {"{ cat log; WAIT; } | ornsum -q /dev/stdin 2>&3", "\"/dev/stdin\"...\n\rRead ",
       "[0-9]+ B, " + rate + "(\rRead [0-9]+ B, " + rate + ")*"},
      {"LD_PRELOAD=$SHIM PAUSE_AT=100 ornsum -q log 2>&3 & WAIT; touch go; wait $!", "\"log\"...\n\r" + share,
       rate + "(\rRead [0-9]+ B of " + size + " B \\([0-9]+%\\), " + rate + ")*"},
      {segments + "PAUSE_AT=100 ornsum -q big 2>&3 & WAIT; touch go; wait $!",
       "\"big\"...\n\rRead 0 B of 11.3 MiB (0%), ", "[^\r]*(\rRead [^\r]*)*"},
      {segments + "PAUSE_AT=1048676 ornsum -q big 2>&3 & WAIT; touch go; wait $!",
       "\"big\"...\n\rRead 1.0 MiB of 11.3 MiB (8%), ", "[^\r]*(\rRead [^\r]*)*"},
      // Over several logs, the bytes of all of them; each log after the first is told in the
      // line's place, and the line shows again below.
      {"cp log l2; LD_PRELOAD=$SHIM CPUS=1 PAUSE_AT=100 ornsum -a -q log l2 2>&3 & WAIT; touch go; wait $!",
       "\"log\"...\n\rRead 10 B of " + std::to_string(2 * example_log.size()) + " B (" +
           std::to_string(1000 / (2 * example_log.size())) + "%), ",
       rate + "(\rRead [^\r]*)*\r\033\\[KProcessing file: \"l2\"\\.\\.\\.\n(\rRead [^\r]*)*"},
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
}

// No progress shows where a table goes to the terminal of standard error, by any road: standard
// output, a report named by its device, or the controlling terminal that stands for every terminal
// (given to the run here by setsid); nor where standard error is no terminal.
TEST(run_terminal, shows_no_progress_among_tables) {
  const std::string slow = "{ cat log; sleep 1.5; } | LC_ALL=C ornsum ";
  const std::string controlled = "setsid -w -c sh -c '" + slow;
  const std::string processing = banner + "Processing file: \"/dev/stdin\"...\n";
  const struct {
    std::string command, shown;
  } rows[] = {
      {slow + "/dev/stdin >&3 2>&3", processing + example_out + "Done!\n\n"},
      {slow + "-q -s/dev/stderr /dev/stdin 2>&3", processing + S + "Done!\n\n"},
      {controlled + "-s/dev/tty /dev/stdin >/dev/null 2>&3' <&3", processing + S + "Done!\n\n"},
      {controlled + "/dev/stdin >&3 2>/dev/tty' <&3", processing + example_out + "Done!\n\n"},
  };
  for (const auto& row : rows) {
    pty p;
    scratch s;
    s.put("log", example_log);
    s.run("stty raw <&3; " + row.command, p.screen);
    EXPECT_EQ(p.rest(), row.shown) << row.command;
  }
  scratch s;
  s.put("log", example_log);
  const outcome o = s.run("{ cat log; sleep 1.5; } | ornsum -q /dev/stdin");
  EXPECT_EQ(o.err, banner + "Processing file: \"/dev/stdin\"...\nDone!\n\n");
}

}  // namespace
