// A log read as text: its own bytes, or those that a decoding thread inflates from them.
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
#include "scanner.h"

namespace {

// Compressed bytes are read, and inflated bytes handed over, in blocks of these sizes at the most.
constexpr std::size_t input_size = std::size_t{256} * 1024;
constexpr std::size_t block_size = std::size_t{1} << 20;
// Blocks inflated ahead of the scan, at the most.
constexpr std::size_t blocks_ahead = 2;

// The head is read in steps: the first tells every format but a legacy .lzma one, the second the
// rest of its header, and the others look past skippable frames.
constexpr std::size_t first_step = 10;
constexpr std::size_t head_step = 4096;

// The bytes to read after the `had` bytes of the head read so far.
std::size_t head_wanted(std::size_t had) {
  if (had < first_step) return first_step - had;
  if (had < signature_size) return signature_size - had;
  return head_step;
}

// An eventfd that the stop of a run makes readable. When none can be made, the waits for the log
// look at the stop every tenth of a second instead.
class stop_signal {
 public:
  stop_signal() : fd_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}
  ~stop_signal() {
    if (fd_ >= 0) ::close(fd_);
  }
  stop_signal(const stop_signal&) = delete;
  stop_signal& operator=(const stop_signal&) = delete;

  // Wakes the waits.
  void raise() const {
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t n = ::write(fd_, &one, sizeof one);
  }
  // Waits until the log can be read: false when the run stopped first.
  bool wait(const file_bytes& bytes, const std::stop_token& stop) const {
    while (!bytes.wait(fd_, fd_ < 0 ? 100 : -1))
      if (stop.stop_requested()) return false;
    return true;
  }

 private:
  int fd_;
};

}  // namespace

// A compressed log inflated on a thread of its own, ahead of the scan by a few blocks.
class decoder_thread {
 public:
  decoder_thread(file_bytes bytes, std::string head, std::unique_ptr<inflater> inflater)
      : thread_([this, bytes, head = std::move(head), inflater = std::move(inflater)](
                    const std::stop_token& stop) mutable { run(stop, bytes, head, *inflater); }) {}

  // Whether read() would return at once.
  bool ready() {
    std::lock_guard held(lock_);
    return !blocks_.empty() || ended_;
  }

  // Fills buffer with inflated text as log_text::read does.
  ssize_t read(char* buffer, std::size_t size, const std::stop_token& stop) {
    std::unique_lock held(lock_);
    if (!changed_.wait(held, stop, [this] { return !blocks_.empty() || ended_; })) return 0;
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
      damaged = !decode(stop, bytes, head, inflater);
    } catch (...) {
      std::lock_guard held(lock_);
      error_ = std::current_exception();
    }
    std::lock_guard held(lock_);
    damaged_ = damaged;
    ended_ = true;
    changed_.notify_all();
  }

  // Whether the input inflated cleanly to its end. The blocks go to the scan as they fill, and
  // sooner when the input would keep the scan waiting.
  bool decode(const std::stop_token& stop, file_bytes& bytes, const std::string& head, inflater& inflater) {
    // The input, [taken, filled); it holds less than input_size when more is read.
    const read_buffer buffer(2 * input_size);
    char* const input = buffer.data();
    std::size_t taken = 0;
    std::size_t filled = head.copy(input, head.size());
    bool last = false;
    std::string block(block_size, '\0');
    std::size_t used = 0;
    bool damaged = false;
    enum class step { read, inflate, hand_over, end };
    step next = filled == 0 ? step::read : step::inflate;
    for (;;) {
      switch (next) {
        case step::read: {
          // Rows reach a terminal as soon as their bytes have come: what is inflated goes to the
          // scan before a wait for more.
          if (!bytes.ready() && !hand_over(stop, block, used)) return true;
          if (!stopped_.wait(bytes, stop)) return true;
          std::memmove(input, input + taken, filled - taken);
          filled -= taken;
          taken = 0;
          const ssize_t n = bytes.read(input + filled, input_size);
          filled += static_cast<std::size_t>(std::max<ssize_t>(n, 0));
          last = n == 0;
          damaged = n < 0;
          next = damaged ? step::end : step::inflate;
          break;
        }
        case step::inflate: {
          std::string_view in(input + taken, filled - taken);
          std::span<char> room(block.data() + used, block.size() - used);
          const bool inflated = inflater.inflate(in, room, last);
          const bool progress = in.size() != filled - taken || room.size() != block.size() - used;
          taken = filled - in.size();
          used = block.size() - room.size();
          // Without progress, more input may help only while there is room for it.
          const bool more = !last && (in.empty() || (!progress && in.size() < input_size));
          damaged = !inflated;
          if (damaged || (!progress && !more))
            next = step::end;
          else if (used == block.size())
            next = step::hand_over;
          else if (more)
            next = step::read;
          break;
        }
        case step::hand_over:
          if (!hand_over(stop, block, used)) return true;
          next = step::inflate;
          break;
        case step::end:
          // Damage, a failed read, or no progress with all the input there is: a clean end only
          // where a member ends, all its input used.
          return hand_over(stop, block, used) && !damaged && taken == filled && inflater.whole();
      }
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

log_text::log_text(file_bytes bytes, unsigned threads) : bytes_(bytes) {
  std::optional<compression> told;
  while (!(told = compression_of(head_, true))) {
    char first[head_step];
    const ssize_t n = bytes_.read(first, head_wanted(head_.size()));
    if (n <= 0) {
      head_error_ = n < 0 ? errno : 0;
      told = compression_of(head_, false);
      break;
    }
    head_.append(first, static_cast<std::size_t>(n));
  }
  format_ = *told;
  if (format_ == compression::none) return;
  std::unique_ptr<inflater> inflater = inflater_for(format_, threads);
  if (!inflater) {
    head_.clear();
    head_error_ = EIO;
    return;
  }
  try {
    decoder_ = std::make_unique<decoder_thread>(bytes_, std::move(head_), std::move(inflater));
  } catch (const std::system_error&) {
    throw std::bad_alloc();
  }
  head_.clear();
}

log_text::~log_text() = default;

ssize_t log_text::text(char* buffer, std::size_t size, const std::stop_token& stop) {
  if (decoder_) return decoder_->read(buffer, size, stop);
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

bool log_text::ready() const {
  return decoder_ ? decoder_->ready() : !head_.empty() || head_error_ != 0 || bytes_.ready();
}

ssize_t log_text::read(char* buffer, std::size_t size, const std::stop_token& stop) {
  if (opened_) return text(buffer, size, stop);
  // The opening is gathered while the log has it at hand, so that nothing of a tar goes on; what a
  // log that pauses within it has given goes on at once, as its rows should.
  std::size_t n = 0;
  ssize_t got = 0;
  bool ended = false;  // the text ended or failed within the opening
  while (n < size && opening_.size() < tar_opening && (n == 0 || ready())) {
    got = text(buffer + n, std::min(size - n, tar_opening - opening_.size()), stop);
    ended = got <= 0;
    // A failure after some of the opening is told by the next read, whatever the log does then.
    if (got < 0) head_error_ = errno;
    if (ended) break;
    opening_.append(buffer + n, static_cast<std::size_t>(got));
    n += static_cast<std::size_t>(got);
  }
  opened_ = ended || opening_.size() == tar_opening;
  if (opened_ && tar_header(opening_)) {
    decoder_.reset();
    head_.clear();
    head_error_ = EIO;
    errno = EIO;
    return -1;
  }
  return n > 0 ? static_cast<ssize_t>(n) : got;
}
