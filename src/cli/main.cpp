// ornsum: sums up the finished sessions of an Ornid daemon log in two framed tables.
#include <fcntl.h>
#include <langinfo.h>
#include <unistd.h>

#include <clocale>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <new>
#include <optional>

#include "cli/ornsum.h"
#include "report/frames.h"
#include "report/progress.h"
#include "report/report.h"
#include "report/sink.h"
#include "report/tables.h"

namespace {

// A closed standard descriptor would be handed out to the log or a report, and our messages or
// tables would then land in it; a read-only /dev/null in its place makes writes to it fail instead.
void hold_standard_descriptors() {
  for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; ++fd) {
    if (::fcntl(fd, F_GETFD) == -1) ::open("/dev/null", O_RDONLY);
  }
}

// Whether standard output is a terminal that shows UTF-8: by the codeset of its locale or, when
// that locale is not installed here, by the locale's name.
bool utf8_terminal(bool terminal) {
  if (!terminal) return false;
  if (std::setlocale(LC_CTYPE, "") == nullptr)
    return utf8_by_name(std::getenv("LC_ALL"), std::getenv("LC_CTYPE"), std::getenv("LANG"));
  const bool utf8 = std::strcmp(::nl_langinfo(CODESET), "UTF-8") == 0;
  (void)std::setlocale(LC_CTYPE, "C");
  return utf8;
}

}  // namespace

int main(int argc, char** argv) {
  hold_standard_descriptors();
  // A reader that goes away, or a file grown to the limit of file sizes, must not kill the run: the
  // write fails as any other, and the other outputs are still completed.
  (void)std::signal(SIGPIPE, SIG_IGN);
  (void)std::signal(SIGXFSZ, SIG_IGN);
  // Every failed allocation, ours or the library's, unwinds to the handler below, so that what
  // was written is delivered before the run ends.
  std::set_new_handler([] { throw std::bad_alloc(); });

  std::optional<sink> out;
  // Opening the files writes nothing, so the banner and the warnings can wait until it is known
  // that standard error does not lead to a log.
  std::vector<std::string> warnings;
  bool bannered = false;
  const auto announce = [&] {
    if (bannered) return;
    bannered = true;
    tell(banner());
    for (const std::string& warning : warnings) tell(warning);
  };
  try {
    const bool terminal = ::isatty(STDOUT_FILENO) == 1;
    out.emplace(STDOUT_FILENO, terminal);
    command c = read_command_line(argc, argv);
    warnings = c.warnings;
    const char* asked_frames = std::getenv("ORNSUM_FRAMES");
    const std::optional<frame_plan> plan = plan_frames(asked_frames, utf8_terminal(terminal));
    std::optional<run_files> files;
    const bool runs = !c.show_usage && !c.show_help && !c.show_version && !c.invalid_switch;
    if (runs && plan) {
      files.emplace(c.run, STDOUT_FILENO, STDERR_FILENO);
      warnings.insert(warnings.end(), files->warnings().begin(), files->warnings().end());
    }
    announce();
    if (c.show_usage) {
      tell(usage());
      return 2;
    }
    if (c.show_help || c.show_version) {
      out->write(c.show_help ? usage() : version());
      out->close();
      if (!out->failed()) return 0;
      tell("Cannot write standard output\n\n");
      return 2;
    }
    if (c.invalid_switch) {
      tell(std::string("Invalid switch: \"") + *c.invalid_switch + "\"\n");
      if (!c.expected.empty()) tell("ornsum: " + std::string(c.expected) + "\n");
      return 2;
    }
    if (!plan) {
      tell(quoted("Invalid value of ORNSUM_FRAMES", asked_frames));
      return 2;
    }
    const auto fd = [](const sink* report) { return report != nullptr ? report->fd() : -1; };
    const bool show_progress =
        progress_wanted(STDERR_FILENO, {c.run.q ? -1 : STDOUT_FILENO, fd(files->ses()), fd(files->nodes())});
    run_end end = scan_log(c.run, *files, *out, *plan, show_progress);
    out->close();
    if (out->failed()) end.complaints.emplace_back("Cannot write standard output\n\n");
    for (const std::string& warning : end.warnings) tell(warning);
    for (const std::string& complaint : end.complaints) tell(complaint);
    if (!end.complaints.empty()) return 2;
    tell("Done!\n\n");
    return 0;
  } catch (const failure& f) {
    out.reset();
    // An empty message means standard error is a log: not even the banner may be written.
    if (*f.what() != '\0') announce();
    tell(f.what());
  } catch (const std::bad_alloc&) {
    out.reset();
    announce();
    tell("\n\nOut of memory\n\n");
  }
  return 2;
}
