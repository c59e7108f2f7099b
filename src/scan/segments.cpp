// Scanning the logs of a run in segments on several threads, their tallies merged in log order.
#include "scan/segments.h"

#include <sched.h>
#include <unistd.h>

#include <algorithm>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <exception>
#include <mutex>
#include <stop_token>
#include <system_error>
#include <thread>

#include "read/file_bytes.h"

namespace {

// Several segments are read at once, each in blocks smaller than those of a single scan.
constexpr std::size_t block_size = std::size_t{256} * 1024;

// The segment being merged may run ahead of the merge by this many parts.
constexpr std::size_t parts_ahead = 2;

// The bytes of a stretch of a regular file, as segment_bytes tells them.
class segment_reader {
 public:
  segment_reader(int fd, std::uint64_t begin, std::uint64_t end, std::uint64_t size, std::stop_token stop,
                 std::atomic<std::uint64_t>* counted)
      : fd_(fd), at_(begin), end_(end), size_(size), stop_(std::move(stop)), counted_(counted) {}

  ssize_t operator()(char* buffer, std::size_t size) {
    if (!started_) {
      started_ = true;
      if (at_ > 0) {
        ssize_t found = find_start(buffer, size);
        if (found <= 0) done_ = true;
        if (found < 0) return -1;
      }
    }
    // Once the run has stopped, what is left is of no use.
    if (done_ || at_ == size_ || stop_.stop_requested()) return 0;
    ssize_t n = read_log(fd_, buffer, size, size_ - at_, at_);
    if (n <= 0) return n;
    auto got = static_cast<std::uint64_t>(n);
    // The line that holds the segment's last byte ends with the first line feed from there on.
    if (at_ + got >= end_) {
      std::uint64_t from = std::max(at_, end_ - 1);
      if (const void* feed = std::memchr(buffer + (from - at_), '\n', at_ + got - from)) {
        got = static_cast<std::uint64_t>(static_cast<const char*>(feed) - buffer) + 1;
        done_ = true;
      }
    }
    at_ += got;
    if (counted_ != nullptr) *counted_ += got;
    return static_cast<ssize_t>(got);
  }

 private:
  // Moves to the first line start in [begin, end): 1 when there is one, 0 when none, -1 when
  // reading failed.
  ssize_t find_start(char* buffer, std::size_t size) {
    for (std::uint64_t at = at_ - 1; at < end_ - 1;) {
      ssize_t n = read_log(fd_, buffer, size, end_ - 1 - at, at);
      if (n < 0) return n;
      if (const void* feed = std::memchr(buffer, '\n', static_cast<std::size_t>(n))) {
        at_ = at + static_cast<std::uint64_t>(static_cast<const char*>(feed) - buffer) + 1;
        return 1;
      }
      at += static_cast<std::uint64_t>(n);
    }
    return 0;
  }

  int fd_;
  std::uint64_t at_;
  std::uint64_t end_;
  std::uint64_t size_;
  std::stop_token stop_;
  std::atomic<std::uint64_t>* counted_;
  bool started_ = false;
  bool done_ = false;
};

// A segment's parts that wait to be merged, and how its reading ended.
struct segment_parts {
  std::deque<tally> parts;
  bool finished = false;
  std::exception_ptr error;  // what its worker threw
};

}  // namespace

byte_source segment_bytes(int fd, std::uint64_t begin, std::uint64_t end, std::uint64_t size, std::stop_token stop,
                          std::atomic<std::uint64_t>* counted) {
  return segment_reader(fd, begin, end, size, std::move(stop), counted);
}

unsigned usable_cpus() {
  cpu_set_t set;
  if (::sched_getaffinity(0, sizeof set, &set) != 0) return 1;
  return static_cast<unsigned>(CPU_COUNT(&set));
}

bool scan_segments(const segment_list& list, const segment_plan& plan, const scan_options& options, address_book& book,
                   const std::function<bool(std::uint64_t segment, tally&)>& merge) {
  const std::uint64_t count = list.count();
  // Workers take segments at most this far ahead of the merge.
  const std::uint64_t window = plan.workers + std::uint64_t{2};
  std::vector<segment_parts> segments(window);
  std::mutex lock;
  std::condition_variable_any changed;
  std::condition_variable ended;
  std::uint64_t next = 0;
  std::uint64_t merging = 0;
  std::size_t held = 0;    // bytes of the parts waiting, of every segment
  bool merger = false;     // a thread is merging
  bool over = count == 0;  // every segment is merged, or the run stopped
  std::exception_ptr error;

  // The thread that makes a part ready for the merge merges it, and every part ready after it,
  // unless another thread is merging already and will come to them: no thread has to be woken for
  // each part. Called and left with `hold` locked.
  auto merge_ready = [&](std::unique_lock<std::mutex>& hold) {
    if (merger) return;
    merger = true;
    while (!over) {
      segment_parts& theirs = segments[merging % window];
      if (theirs.parts.empty()) {
        if (!theirs.finished) break;
        error = theirs.error;
        // Emptied in place: a new one would allocate, and nothing outside the merge may throw here.
        theirs.finished = false;
        theirs.error = nullptr;
        over = ++merging == count || error;
        changed.notify_all();
        continue;
      }
      tally part = std::move(theirs.parts.front());
      theirs.parts.pop_front();
      held -= part.bytes();
      const std::uint64_t k = merging;
      changed.notify_all();
      hold.unlock();
      try {
        const bool go_on = merge(k, part);
        hold.lock();
        over = !go_on;
      } catch (...) {
        hold.lock();
        error = std::current_exception();
        over = true;
      }
    }
    merger = false;
    if (over) ended.notify_all();
  };

  auto work = [&](const std::stop_token& stop) {
    // One scanner a worker, its buffer kept from one segment to the next.
    std::optional<block_scanner> scanner;
    std::unique_lock hold(lock);
    while (changed.wait(hold, stop, [&] { return over || next < std::min(count, merging + window); }) && !over) {
      const std::uint64_t k = next++;
      segment_parts& mine = segments[k % window];
      if (list.in_turn(k)) changed.wait(hold, stop, [&] { return over || merging == k; });
      if (over) break;
      hold.unlock();
      std::exception_ptr thrown;
      try {
        list.read(k, stop, [&](const byte_source& source) {
          if (scanner)
            scanner->restart(source);
          else
            scanner.emplace(source, block_size);
          tally_all(*scanner, options, book, plan.chunk_bytes, [&](tally& t) {
            const std::size_t bytes = t.bytes();
            std::unique_lock wait(lock);
            const bool room = changed.wait(wait, stop, [&] {
              return over ||
                     (k == merging ? mine.parts.size() < parts_ahead : held == 0 || held + bytes <= plan.budget);
            });
            if (!room || over) return;
            mine.parts.push_back(std::move(t));
            held += bytes;
            if (k == merging) merge_ready(wait);
          });
        });
      } catch (...) {
        thrown = std::current_exception();
      }
      hold.lock();
      mine.finished = true;
      mine.error = thrown;
      if (k == merging) merge_ready(hold);
    }
  };
  // Declared last, so that on every way out the workers are stopped and joined first.
  std::vector<std::jthread> threads;
  threads.reserve(plan.workers);
  for (unsigned i = 0; i < plan.workers; ++i) {
    try {
      threads.emplace_back(work);
    } catch (const std::system_error&) {
      break;
    }
  }
  if (threads.empty()) return false;

  std::unique_lock hold(lock);
  ended.wait(hold, [&] { return over; });
  if (error) std::rethrow_exception(error);
  return true;
}
