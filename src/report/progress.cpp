// The progress line of a long run, and when a run shows one.
#include "report/progress.h"

#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <mutex>

#include "report/sink.h"

namespace {

using namespace std::chrono_literals;

// The line waits this long, then is rewritten at this interval.
constexpr auto first_shown = 1s;
constexpr auto interval = 250ms;

// The controlling terminal, /dev/tty, which is whichever terminal the session has.
const dev_t controlling_terminal = makedev(5, 0);

// Bytes in the largest binary unit that, once rounded as shown, leaves at least one whole.
std::string amount(double bytes) {
  static const char* const units[] = {"B", "KiB", "MiB", "GiB", "TiB", "PiB"};
  std::size_t unit = 0;
  for (; unit + 1 < std::size(units); ++unit) {
    const double shown = unit == 0 ? std::round(bytes) : std::round(bytes * 10) / 10;
    if (shown < 1024) break;
    bytes /= 1024;
  }
  char text[32];
  (void)std::snprintf(text, sizeof text, unit == 0 ? "%.0f %s" : "%.1f %s", bytes, units[unit]);
  return text;
}

}  // namespace

bool progress_wanted(int err_fd, std::initializer_list<int> table_fds) {
  struct stat err;
  if (::isatty(err_fd) != 1 || ::fstat(err_fd, &err) != 0) return false;
  for (int fd : table_fds) {
    if (fd < 0) continue;
    struct stat table;
    if (::fstat(fd, &table) != 0) return false;
    if (::isatty(fd) != 1) continue;
    if (table.st_rdev == err.st_rdev || table.st_rdev == controlling_terminal || err.st_rdev == controlling_terminal)
      return false;
  }
  return true;
}

std::string progress_line(std::uint64_t read, std::optional<std::uint64_t> size, double seconds) {
  std::string line = "Read " + amount(static_cast<double>(read));
  if (size) {
    const std::uint64_t done = *size == 0 ? 100 : std::min<std::uint64_t>(read, *size) * 100 / *size;
    line += " of " + amount(static_cast<double>(*size)) + " (" + std::to_string(done) + "%)";
  }
  if (seconds > 0) line += ", " + amount(static_cast<double>(read) / seconds) + "/s";
  return line;
}

progress::progress(std::optional<std::uint64_t> size)
    : size_(size), thread_([this](const std::stop_token& stop) { show(stop); }) {}

progress::~progress() {
  thread_.request_stop();
  thread_.join();
  // Carriage return and erase to the end of the line: the closing message takes its place.
  if (shown_) tell("\r\033[K");
}

void progress::say(std::string_view message) {
  const std::lock_guard writing(lock_);
  if (shown_) tell("\r\033[K");
  tell(message);
}

void progress::show(const std::stop_token& stop) {
  std::mutex lock;
  std::condition_variable_any never;
  std::unique_lock held(lock);
  const auto start = std::chrono::steady_clock::now();
  never.wait_for(held, stop, first_shown, [] { return false; });
  while (!stop.stop_requested()) {
    const std::chrono::duration<double> seconds = std::chrono::steady_clock::now() - start;
    // Written whole with one call; the line is rewritten from its start.
    std::string line = "\r";
    line += progress_line(read_, size_, seconds.count());
    line += "\033[K";
    {
      const std::lock_guard writing(lock_);
      tell(line);
      shown_ = true;
    }
    never.wait_for(held, stop, interval, [] { return false; });
  }
}
