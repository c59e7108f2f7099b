// How far the reading of a long run has come, on a line of its own on the terminal of standard
// error, rewritten in place and erased at the end.
#pragma once

#include <atomic>
#include <cstdint>
#include <initializer_list>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>

// Whether a run shows its progress: standard error is a terminal that none of the descriptors the
// tables go to (-1 for none) leads to. The controlling terminal, /dev/tty, may be any terminal;
// a descriptor that cannot be looked at may be that terminal.
bool progress_wanted(int err_fd, std::initializer_list<int> table_fds);

// The progress line: the bytes read, where the size is known the share done, and the rate.
std::string progress_line(std::uint64_t read, std::optional<std::uint64_t> size, double seconds);

// Shows on standard error the bytes that the readers count, once the run has lasted a second, a
// few times a second.
class progress {
 public:
  // Shows the reading of a log of `size` bytes, when that is known.
  explicit progress(std::optional<std::uint64_t> size);
  // Stops showing, erasing the line if one was shown.
  ~progress();
  progress(const progress&) = delete;
  progress& operator=(const progress&) = delete;

  // What the readers add the bytes they read to.
  std::atomic<std::uint64_t>& counter() { return read_; }
  // Writes a message of whole lines to standard error in place of the line, which shows again
  // below it at its next turn.
  void say(std::string_view message);

 private:
  void show(const std::stop_token& stop);

  std::optional<std::uint64_t> size_;
  std::atomic<std::uint64_t> read_{0};
  std::mutex lock_;      // held while standard error is written
  bool shown_ = false;   // whether the line stands on the terminal
  std::jthread thread_;  // last, so that it starts once the rest is there
};
