#include "log_text.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <exception>
#include <memory>
#include <mutex>
#include <new>
#include <stop_token>
#include <system_error>
#include <thread>
#include <utility>

#include "inflaters.h"

namespace {

// Compressed bytes are read, and inflated bytes handed over, in blocks of these sizes at the most.
constexpr std::size_t input_size = std::size_t{256} * 1024;
constexpr std::size_t block_size = std::size_t{1} << 20;
// Blocks inflated ahead of the scan, at the most.
constexpr std::size_t blocks_ahead = 2;

// The longest signature: as many bytes as it takes to tell any format.
constexpr std::size_t signature_size = 10;

// An eventfd that the stop of a run makes readable; -1 when none could be made, and the waits
// then wait for the log alone.
class stop_signal {
 public:
  stop_signal() : fd_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}
  ~stop_signal() {
    if (fd_ >= 0) ::close(fd_);
  }
  stop_signal(const stop_signal&) = delete;
  stop_signal& operator=(const stop_signal&) = delete;

  int fd() const { return fd_; }
  void raise() const {
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t n = ::write(fd_, &one, sizeof one);
  }

 private:
  int fd_;
};

}  // namespace

// A compressed log inflated on a thread of its own, ahead of the scan by a few blocks.
class inflating {
 public:
  inflating(file_bytes bytes, std::string head, std::unique_ptr<inflater> inflater)
      : thread_([this, bytes, head = std::move(head), inflater = std::move(inflater)](
                    const std::stop_token& stop) mutable { run(stop, bytes, head, *inflater); }) {}

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
  // Inflates the log's bytes, after the head already read, until the end or the first damage.
  void run(const std::stop_token& stop, file_bytes& bytes, const std::string& head, inflater& inflater) {
    bool damaged = true;
    try {
      // A stop wakes the thread even while it waits for input that may never come.
      std::stop_callback wake_up(stop, [this] { stopped_.raise(); });
      damaged = !inflate_all(stop, bytes, head, inflater);
    } catch (...) {
      std::lock_guard held(lock_);
      error_ = std::current_exception();
    }
    std::lock_guard held(lock_);
    damaged_ = damaged;
    ended_ = true;
    changed_.notify_all();
  }

  // Whether the input inflated cleanly to its end; the blocks go to the scan as they fill, and
  // sooner when the input would keep the scan waiting.
  bool inflate_all(const std::stop_token& stop, file_bytes& bytes, const std::string& head, inflater& inflater) {
    // The input, [taken, filled); it holds less than input_size when more is read.
    const read_buffer buffer(2 * input_size);
    char* const input = buffer.data();
    std::size_t taken = 0;
    std::size_t filled = head.copy(input, head.size());
    bool last = false;
    bool starved = filled == 0;
    std::string block(block_size, '\0');
    std::size_t used = 0;
    for (;;) {
      if (starved) {
        // Rows reach a terminal as soon as their bytes have come: what is inflated goes to the
        // scan before a wait for more.
        if (!bytes.ready() && !hand_over(stop, block, used)) return true;
        if (!bytes.wait(stopped_.fd())) return true;
        std::memmove(input, input + taken, filled - taken);
        filled -= taken;
        taken = 0;
        const ssize_t n = bytes.read(input + filled, input_size);
        if (n < 0) {
          hand_over(stop, block, used);
          return false;
        }
        filled += static_cast<std::size_t>(n);
        last = n == 0;
      }
      std::string_view in(input + taken, filled - taken);
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
        starved = false;
        continue;
      }
      const bool progress = in.size() != had_in || room.size() != had_room;
      // More input, where the inflater used all it had or waits for the rest of what it began
      // (a member header), up to a bound.
      starved = !last && (in.empty() || (!progress && in.size() < input_size));
      if (progress || starved) continue;
      // No progress with all the input there is: the end, a clean one only where a member ends.
      return hand_over(stop, block, used) && in.empty() && inflater.whole();
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
  stop_signal stopped_;
  std::jthread thread_;  // last, so that it is stopped and joined before the rest goes
};

log_text::log_text(file_bytes bytes) : bytes_(bytes) {
  std::optional<compression> told;
  while (!(told = compression_of(head_, true))) {
    char first[signature_size];
    const ssize_t n = bytes_.read(first, signature_size - head_.size());
    if (n <= 0) {
      head_error_ = n < 0 ? errno : 0;
      told = compression_of(head_, false);
      break;
    }
    head_.append(first, static_cast<std::size_t>(n));
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
    inflating_ = std::make_unique<inflating>(bytes_, std::move(head_), std::move(inflater));
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
  return bytes_.read(buffer, size);
}
