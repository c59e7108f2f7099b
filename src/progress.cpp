#include "progress.h"

#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <mutex>

#include "sink.h"

namespace {

using namespace std::chrono_literals;

// The line waits this long, then is rewritten at this interval.
constexpr auto first_shown = 1s;
constexpr auto interval = 250ms;

// Bytes in the largest binary unit that leaves at least one whole.
std::string amount(double bytes) {
  static const char* const units[] = {"B", "KiB", "MiB", "GiB", "TiB", "PiB"};
  std::size_t unit = 0;
  for (; bytes >= 1024 && unit + 1 < std::size(units); ++unit) bytes /= 1024;
  char text[32];
  (void)std::snprintf(text, sizeof text, unit == 0 ? "%.0f %s" : "%.1f %s", bytes, units[unit]);
  return text;
}

}  // namespace

bool progress_wanted(bool q, int out_fd, int err_fd) {
  if (::isatty(err_fd) != 1) return false;
  if (q || ::isatty(out_fd) != 1) return true;
  struct stat out;
  struct stat err;
  return ::fstat(out_fd, &out) != 0 || ::fstat(err_fd, &err) != 0 || out.st_rdev != err.st_rdev;
}

std::string progress_line(std::uint64_t read, std::optional<std::uint64_t> size, double seconds) {
  std::string line = "Read " + amount(static_cast<double>(read));
  if (!size) return line;
  const std::uint64_t done = *size == 0 ? 100 : std::min<std::uint64_t>(read, *size) * 100 / *size;
  line += " of " + amount(static_cast<double>(*size)) + " (" + std::to_string(done) + "%)";
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
    tell(line);
    shown_ = true;
    never.wait_for(held, stop, interval, [] { return false; });
  }
}
