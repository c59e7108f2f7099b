#include "log_text.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <deque>
#include <exception>
#include <mutex>
#include <new>
#include <stop_token>
#include <system_error>
#include <thread>
#include <utility>

namespace {

// Compressed bytes are read, and inflated bytes handed over, in blocks of these sizes.
constexpr std::size_t input_size = std::size_t{256} * 1024;
// Less input than this, with more to come, is topped up before inflating: igzip misreads a gzip
// member header that reaches it split over two calls.
constexpr std::size_t input_minimum = std::size_t{64} * 1024;
constexpr std::size_t block_size = std::size_t{1} << 20;
// Blocks inflated ahead of the scan, at the most.
constexpr std::size_t blocks_ahead = 2;

// The longest signature: as many bytes as it takes to tell any format.
constexpr std::size_t signature_size = 10;

ssize_t read_some(int fd, char* buffer, std::size_t size) {
  for (;;) {
    ssize_t n = ::read(fd, buffer, size);
    if (n >= 0 || errno != EINTR) return n;
  }
}

}  // namespace

// A compressed log inflated on a thread of its own, ahead of the scan by a few blocks.
class inflating {
 public:
  inflating(int fd, std::string head, std::unique_ptr<inflater> inflater)
      : thread_([this, fd, head = std::move(head), inflater = std::move(inflater)](
                    const std::stop_token& stop) mutable { run(stop, fd, std::move(head), *inflater); }) {}

  ssize_t read(char* buffer, std::size_t size) {
    std::unique_lock held(lock_);
    changed_.wait(held, [this] { return !blocks_.empty() || ended_; });
    if (blocks_.empty()) {
      if (error_) std::rethrow_exception(error_);
      if (!damaged_) return 0;
      errno = EIO;
      return -1;
    }
    std::string& block = blocks_.front();
    const std::size_t n = std::min(size, block.size() - taken_);
    std::copy_n(block.data() + taken_, n, buffer);
    taken_ += n;
    if (taken_ == block.size()) {
      blocks_.pop_front();
      taken_ = 0;
      changed_.notify_all();
    }
    return static_cast<ssize_t>(n);
  }

 private:
  // Inflates fd's bytes, after the head already read, until the end or the first damage.
  void run(const std::stop_token& stop, int fd, std::string input, inflater& inflater) {
    bool damaged = true;
    try {
      damaged = !inflate_all(stop, fd, std::move(input), inflater);
    } catch (...) {
      std::lock_guard held(lock_);
      error_ = std::current_exception();
    }
    std::lock_guard held(lock_);
    damaged_ = damaged;
    ended_ = true;
    changed_.notify_all();
  }

  // Whether the input inflated cleanly to its end; the blocks go to the scan as they fill.
  bool inflate_all(const std::stop_token& stop, int fd, std::string input, inflater& inflater) {
    std::size_t taken = 0;
    bool last = false;
    std::string block(block_size, '\0');
    std::size_t used = 0;
    for (;;) {
      if (input.size() - taken < input_minimum && !last) {
        input.erase(0, taken);
        taken = 0;
        const std::size_t kept = input.size();
        input.resize(kept + input_size);
        ssize_t n = read_some(fd, input.data() + kept, input_size);
        if (n < 0) {
          hand_over(stop, block, used);
          return false;
        }
        input.resize(kept + static_cast<std::size_t>(n));
        last = n == 0;
      }
      std::string_view in(input.data() + taken, input.size() - taken);
      std::span<char> room(block.data() + used, block.size() - used);
      const std::size_t had_in = in.size();
      const std::size_t had_room = room.size();
      const bool clean = inflater.inflate(in, room, last);
      taken += had_in - in.size();
      used += had_room - room.size();
      if (!clean) {
        hand_over(stop, block, used);
        return false;
      }
      if (used == block.size()) {
        if (!hand_over(stop, block, used)) return true;
        continue;
      }
      if (in.size() != had_in || room.size() != had_room || (!last && in.size() < input_minimum)) continue;
      // No progress with all the input there is: the end, a clean one only where a member ends.
      return hand_over(stop, block, used) && last && in.empty() && inflater.whole();
    }
  }

  // Hands the used part of a block to the scan once it has room; false when the run stopped.
  bool hand_over(const std::stop_token& stop, std::string& block, std::size_t& used) {
    if (used == 0) return true;
    std::unique_lock held(lock_);
    if (!changed_.wait(held, stop, [this] { return blocks_.size() < blocks_ahead; })) return false;
    block.resize(used);
    blocks_.push_back(std::exchange(block, std::string(block_size, '\0')));
    used = 0;
    changed_.notify_all();
    return true;
  }

  std::mutex lock_;
  std::condition_variable_any changed_;
  std::deque<std::string> blocks_;
  std::size_t taken_ = 0;  // bytes of the front block already read
  bool ended_ = false;
  bool damaged_ = false;
  std::exception_ptr error_;
  std::jthread thread_;  // last, so that it is stopped and joined before the rest goes
};

log_text::log_text(int fd) : fd_(fd) {
  std::optional<compression> told;
  while (!(told = compression_of(head_, true))) {
    char bytes[signature_size];
    ssize_t n = read_some(fd, bytes, signature_size - head_.size());
    if (n <= 0) {
      head_error_ = n < 0 ? errno : 0;
      told = compression_of(head_, false);
      break;
    }
    head_.append(bytes, static_cast<std::size_t>(n));
  }
  format_ = *told;
  if (format_ == compression::none) return;
  std::unique_ptr<inflater> inflater = inflater_for(format_);
  if (!inflater) {
    head_.clear();
    head_error_ = EIO;
    return;
  }
  try {
    inflating_ = std::make_unique<inflating>(fd, std::move(head_), std::move(inflater));
  } catch (const std::system_error&) {
    throw std::bad_alloc();
  }
  head_.clear();
}

log_text::~log_text() = default;

ssize_t log_text::read(char* buffer, std::size_t size) {
  if (inflating_) return inflating_->read(buffer, size);
  if (!head_.empty()) {
    const std::size_t n = std::min(size, head_.size());
    std::copy_n(head_.data(), n, buffer);
    head_.erase(0, n);
    return static_cast<ssize_t>(n);
  }
  if (head_error_ != 0) {
    errno = head_error_;
    return -1;
  }
  return read_some(fd_, buffer, size);
}
