// A compressed log inflated on a thread of its own, ahead of the scan by a few blocks.
#pragma once

#include <sys/types.h>

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <exception>
#include <memory>
#include <mutex>
#include <stop_token>
#include <string>
#include <thread>
#include <vector>

#include "read/file_bytes.h"
#include "read/inflaters.h"

// An eventfd that the stop of a run makes readable. When none can be made, the waits for the log
// look at the stop every tenth of a second instead.
class stop_signal {
 public:
  stop_signal();
  ~stop_signal();
  stop_signal(const stop_signal&) = delete;
  stop_signal& operator=(const stop_signal&) = delete;

  // Wakes the waits.
  void raise() const;
  // Waits until the log can be read: false when the run stopped first.
  bool wait(const file_bytes& bytes, const std::stop_token& stop) const;

 private:
  int fd_;
};

// A compressed log inflated on a thread of its own, ahead of the scan by a few blocks.
class decoder_thread {
 public:
  // Inflates the bytes that follow the head already read from them.
  decoder_thread(file_bytes bytes, std::string head, std::unique_ptr<inflater> inflater);

  // Whether read() would return at once.
  bool ready();
  // Fills buffer with inflated text as log_text::read does.
  ssize_t read(char* buffer, std::size_t size, const std::stop_token& stop);

 private:
  // Inflates the log's bytes, after the head already read, until the end or the first damage.
  void run(const std::stop_token& stop, file_bytes& bytes, const std::string& head, inflater& inflater);
  // Why the input did not inflate cleanly to its end, as an errno (see log_error); 0 when it did,
  // or the run stopped. The blocks go to the scan as they fill, and sooner when the input would
  // keep the scan waiting.
  int decode(const std::stop_token& stop, file_bytes& bytes, const std::string& head, inflater& inflater);
  // Hands the used part of a block to the scan once it has room; false when the run stopped.
  bool hand_over(const std::stop_token& stop, std::string& block, std::size_t& used);

  std::mutex lock_;
  std::condition_variable_any changed_;
  std::deque<std::string> blocks_;
  std::vector<std::string> spare_;  // blocks the scan has read, to be filled again
  std::size_t taken_ = 0;           // bytes of the front block already read
  bool ended_ = false;
  int failure_ = 0;  // why the inflating ended short of a clean end, as an errno
  std::exception_ptr error_;
  stop_signal stopped_;
  std::jthread thread_;  // last, so that it is stopped and joined before the rest goes
};
