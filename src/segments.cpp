#include "segments.h"

#include <sched.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <exception>
#include <limits>
#include <mutex>
#include <optional>
#include <stop_token>
#include <system_error>
#include <thread>

namespace {

// Several segments are read at once, each in blocks smaller than those of a single scan.
constexpr std::size_t block_size = std::size_t{256} * 1024;

// The bytes that a segment's work covers, read with pread: from the first line start at or after
// its first byte to the end of the last line that begins inside it.
class segment_reader {
 public:
  // The segment [begin, end); an end of max() reads on to the end of the file.
  segment_reader(int fd, std::uint64_t begin, std::uint64_t end, std::stop_token stop)
      : fd_(fd), at_(begin), end_(end), stop_(std::move(stop)) {}

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
    if (done_ || stop_.stop_requested()) return 0;
    ssize_t n = ::pread(fd_, buffer, size, static_cast<off_t>(at_));
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
    return static_cast<ssize_t>(got);
  }

 private:
  // Moves to the first line start in [begin, end): 1 when there is one, 0 when none, -1 when
  // reading failed.
  ssize_t find_start(char* buffer, std::size_t size) {
    for (std::uint64_t at = at_ - 1; at < end_ - 1;) {
      ssize_t n = ::pread(fd_, buffer, std::min<std::uint64_t>(size, end_ - 1 - at), static_cast<off_t>(at));
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) return n;
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
  std::stop_token stop_;
  bool started_ = false;
  bool done_ = false;
};

// A segment's outcome, waiting to be merged: its tally, or what its worker threw.
struct outcome {
  bool ready = false;
  std::optional<tally> done;
  std::exception_ptr error;
};

}  // namespace

void tally::add(const session& s, const scan_options& options) {
  addresses.text += s.address;
  addresses.ends.push_back(addresses.text.size());
  counts.push_back(s.sent);
  counts.push_back(s.rcvd);
  sent += s.sent;
  rcvd += s.rcvd;
  for (frames f : {frames::koi8, frames::utf8}) {
    auto style = static_cast<std::size_t>(f);
    if (!options.rows_in[style]) continue;
    append_session_cells(rows[style].text, s, f);
    rows[style].ends.push_back(rows[style].text.size());
  }
}

void tally_all(block_scanner& scanner, const scan_options& options, tally& t) {
  while (std::optional<std::string_view> piece = scanner.next()) {
    if (std::optional<session> s = parse_line(*piece, options.any_day, options.today)) t.add(*s, options);
  }
  t.failed = scanner.failed();
}

unsigned usable_cpus() {
  cpu_set_t set;
  if (::sched_getaffinity(0, sizeof set, &set) != 0) return 1;
  return static_cast<unsigned>(CPU_COUNT(&set));
}

bool scan_segments(int fd, std::uint64_t size, std::uint64_t segment_size, unsigned workers,
                   const scan_options& options, const std::function<void(tally&)>& merge) {
  const std::uint64_t count = (size + segment_size - 1) / segment_size;
  // Workers run ahead of the merge by at most this many segments, which bounds the memory.
  const std::uint64_t window = workers + 2;
  std::vector<outcome> outcomes(window);
  std::mutex lock;
  std::condition_variable_any changed;
  std::uint64_t next = 0;
  std::uint64_t merged = 0;

  auto work = [&](const std::stop_token& stop) {
    // One scanner a worker, its buffer kept from one segment to the next.
    std::optional<block_scanner> scanner;
    std::unique_lock held(lock);
    while (changed.wait(held, stop, [&] { return next < std::min(count, merged + window); })) {
      const std::uint64_t k = next++;
      held.unlock();
      outcome o{true, std::nullopt, nullptr};
      try {
        const std::uint64_t end = k + 1 == count ? std::numeric_limits<std::uint64_t>::max() : (k + 1) * segment_size;
        segment_reader reader(fd, k * segment_size, end, stop);
        if (scanner)
          scanner->restart(reader);
        else
          scanner.emplace(reader, block_size);
        tally_all(*scanner, options, o.done.emplace());
      } catch (...) {
        o.error = std::current_exception();
      }
      held.lock();
      outcomes[k % window] = std::move(o);
      changed.notify_all();
    }
  };
  // Declared last, so that on every way out the workers are stopped and joined first.
  std::vector<std::jthread> threads;
  threads.reserve(workers);
  for (unsigned i = 0; i < workers; ++i) {
    try {
      threads.emplace_back(work);
    } catch (const std::system_error&) {
      break;
    }
  }
  if (threads.empty()) return false;

  for (std::uint64_t k = 0; k < count; ++k) {
    outcome o;
    {
      std::unique_lock held(lock);
      changed.wait(held, [&] { return outcomes[k % window].ready; });
      o = std::move(outcomes[k % window]);
      outcomes[k % window] = outcome{};
      merged = k + 1;
    }
    changed.notify_all();
    if (o.error) std::rethrow_exception(o.error);
    merge(*o.done);
    if (o.done->failed) break;
  }
  return true;
}
