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

#include "frames.h"
#include "ornsum.h"
#include "progress.h"
#include "report.h"
#include "sink.h"
#include "tables.h"

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
  // Opening the files writes nothing, so the banner can wait until it is known that standard
  // error does not lead to the log.
  bool bannered = false;
  try {
    const bool terminal = ::isatty(STDOUT_FILENO) == 1;
    out.emplace(STDOUT_FILENO, terminal);
    command c = read_command_line(argc, argv);
    const char* asked_frames = std::getenv("ORNSUM_FRAMES");
    const std::optional<frame_plan> plan = plan_frames(asked_frames, utf8_terminal(terminal));
    std::optional<run_files> files;
    if (!c.show_usage && !c.invalid_switch && plan) files.emplace(c.run, STDOUT_FILENO, STDERR_FILENO);
    tell(banner());
    bannered = true;
    if (c.show_usage) {
      tell(usage());
      return 2;
    }
    if (c.invalid_switch) {
      tell(std::string("Invalid switch: \"") + *c.invalid_switch + "\"\n");
      return 2;
    }
    if (!plan) {
      tell(quoted("Invalid value of ORNSUM_FRAMES", asked_frames));
      return 2;
    }
    const auto fd = [](const sink* report) { return report != nullptr ? report->fd() : -1; };
    const bool show_progress =
        progress_wanted(STDERR_FILENO, {c.run.q ? -1 : STDOUT_FILENO, fd(files->ses()), fd(files->nodes())});
    std::vector<std::string> complaints = scan_log(c.run, *files, *out, *plan, show_progress);
    out->close();
    if (out->failed()) complaints.emplace_back("Cannot write standard output\n\n");
    for (const std::string& complaint : complaints) tell(complaint);
    if (!complaints.empty()) return 2;
    tell("Done!\n\n");
    return 0;
  } catch (const failure& f) {
    out.reset();
    // An empty message means standard error is the log: not even the banner may be written.
    if (!bannered && *f.what() != '\0') tell(banner());
    tell(f.what());
  } catch (const std::bad_alloc&) {
    out.reset();
    if (!bannered) tell(banner());
    tell("\n\nOut of memory\n\n");
  }
  return 2;
}
