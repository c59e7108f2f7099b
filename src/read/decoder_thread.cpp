// A compressed log inflated on a thread of its own, its blocks handed to the scan in order.
#include "read/decoder_thread.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <utility>

#include "read/read_buffer.h"

namespace {

// Compressed bytes are read, and inflated bytes handed over, in blocks of these sizes at the most.
constexpr std::size_t input_size = std::size_t{256} * 1024;
constexpr std::size_t block_size = std::size_t{1} << 20;
// Blocks inflated ahead of the scan, at the most.
constexpr std::size_t blocks_ahead = 2;

}  // namespace

stop_signal::stop_signal() : fd_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

stop_signal::~stop_signal() {
  if (fd_ >= 0) ::close(fd_);
}

void stop_signal::raise() const {
  const std::uint64_t one = 1;
  [[maybe_unused]] const ssize_t n = ::write(fd_, &one, sizeof one);
}

bool stop_signal::wait(const file_bytes& bytes, const std::stop_token& stop) const {
  while (!bytes.wait(fd_, fd_ < 0 ? 100 : -1))
    if (stop.stop_requested()) return false;
  return true;
}

decoder_thread::decoder_thread(file_bytes bytes, std::string head, std::unique_ptr<inflater> inflater)
    : thread_([this, bytes, head = std::move(head), inflater = std::move(inflater)](
                  const std::stop_token& stop) mutable { run(stop, bytes, head, *inflater); }) {}

bool decoder_thread::ready() {
  std::lock_guard held(lock_);
  return !blocks_.empty() || ended_;
}

ssize_t decoder_thread::read(char* buffer, std::size_t size, const std::stop_token& stop) {
  std::unique_lock held(lock_);
  if (!changed_.wait(held, stop, [this] { return !blocks_.empty() || ended_; })) return 0;
  if (blocks_.empty()) {
    if (error_) std::rethrow_exception(error_);
    if (failure_ == 0) return 0;
    errno = failure_;
    return -1;
  }
  std::string& block = blocks_.front();
  const std::size_t n = std::min(size, block.size() - taken_);
  std::copy_n(block.data() + taken_, n, buffer);
  taken_ += n;
  if (taken_ == block.size()) {
    spare_.push_back(std::move(blocks_.front()));
    blocks_.pop_front();
    taken_ = 0;
    changed_.notify_all();
  }
  return static_cast<ssize_t>(n);
}

void decoder_thread::run(const std::stop_token& stop, file_bytes& bytes, const std::string& head, inflater& inflater) {
  int failure = log_error::damaged;
  try {
    // A stop wakes the thread even while it waits for input that may never come.
    std::stop_callback wake_up(stop, [this] { stopped_.raise(); });
    failure = decode(stop, bytes, head, inflater);
  } catch (...) {
    std::lock_guard held(lock_);
    error_ = std::current_exception();
  }
  std::lock_guard held(lock_);
  failure_ = failure;
  ended_ = true;
  changed_.notify_all();
}

int decoder_thread::decode(const std::stop_token& stop, file_bytes& bytes, const std::string& head,
                           inflater& inflater) {
  // The input, [taken, filled); it holds less than input_size when more is read.
  const read_buffer buffer(2 * input_size);
  char* const input = buffer.data();
  std::size_t taken = 0;
  std::size_t filled = head.copy(input, head.size());
  bool last = false;
  std::string block(block_size, '\0');
  std::size_t used = 0;
  bool damaged = false;
  int failed = 0;        // why reading the log failed, if it did
  bool drained = false;  // the inflater was called with no new input
  enum class step { read, inflate, hand_over, end };
  step next = filled == 0 ? step::read : step::inflate;
  for (;;) {
    switch (next) {
      case step::read: {
        // Rows reach a terminal as soon as their bytes have come: what is inflated goes to the
        // scan before a wait for more.
        if (!bytes.ready()) {
          // An inflater may hold input whose text it has not made yet: it makes it first.
          if (!drained) {
            drained = true;
            next = step::inflate;
            break;
          }
          if (!hand_over(stop, block, used)) return 0;
        }
        if (!stopped_.wait(bytes, stop)) return 0;
        std::memmove(input, input + taken, filled - taken);
        filled -= taken;
        taken = 0;
        const ssize_t n = bytes.read(input + filled, input_size);
        filled += static_cast<std::size_t>(std::max<ssize_t>(n, 0));
        // What came before a failed read is inflated to its end, as if nothing followed.
        last = n <= 0;
        failed = n < 0 ? errno : 0;
        drained = false;
        next = step::inflate;
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
        if (!hand_over(stop, block, used)) return 0;
        next = step::inflate;
        break;
      case step::end:
        // Damage, a failed read, or no progress with all the input there is: a clean end only
        // where a member ends, all its input used.
        if (!hand_over(stop, block, used) || failed != 0) return failed;
        return !damaged && taken == filled && inflater.whole() ? 0 : log_error::damaged;
    }
  }
}

bool decoder_thread::hand_over(const std::stop_token& stop, std::string& block, std::size_t& used) {
  if (used == 0) return true;
  std::unique_lock held(lock_);
  if (!changed_.wait(held, stop, [this] { return blocks_.size() < blocks_ahead; })) return false;
  block.resize(used);
  blocks_.push_back(std::move(block));
  // A block the scan has read is filled again: a new one would be new pages of memory each time.
  if (spare_.empty()) {
    block.assign(block_size, '\0');
  } else {
    block = std::move(spare_.back());
    spare_.pop_back();
    block.resize(block_size);
  }
  used = 0;
  changed_.notify_all();
  return true;
}
