// Scanning a regular file in segments on several threads, their tallies merged in file order.
#include "segments.h"

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

#include "file_bytes.h"

namespace {

// Several segments are read at once, each in blocks smaller than those of a single scan.
constexpr std::size_t block_size = std::size_t{256} * 1024;

// The segment being merged may run ahead of the merge by this many parts.
constexpr std::size_t parts_ahead = 2;

// The bytes that a segment's work covers, read with pread: from the first line start at or after
// its first byte to the end of the last line that begins inside it, or to the file's size.
class segment_reader {
 public:
  // The segment [begin, end) of a file of `size` bytes.
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

std::size_t tally::bytes() const {
  std::size_t n = addresses.text.size() + sizeof(std::size_t) * addresses.ends.size() +
                  sizeof(std::uint32_t) * ids.size() + sizeof(std::int64_t) * counts.size();
  for (const text_list& r : rows) n += r.text.size() + sizeof(std::size_t) * r.ends.size();
  return n;
}

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

void tally::number(address_book& book) {
  book.number(addresses, ids);
  addresses.text.clear();
  addresses.ends.clear();
}

void tally_all(block_scanner& scanner, const scan_options& options, address_book& book, std::size_t chunk_bytes,
               const std::function<void(tally&)>& hand_on) {
  tally t;
  // A part's rows take their room at once rather than grow into it, copied at every doubling;
  // the room of its addresses, numbered before it is handed on, is kept for the next part.
  auto start = [&](text_list room_for_addresses) {
    t = tally{};
    t.addresses = std::move(room_for_addresses);
    for (frames f : {frames::koi8, frames::utf8})
      if (options.rows_in[static_cast<std::size_t>(f)]) t.rows[static_cast<std::size_t>(f)].text.reserve(chunk_bytes);
  };
  start({});
  while (std::optional<std::string_view> piece = scanner.next()) {
    std::optional<session> s = parse_line(*piece, options.any_day, options.today);
    if (!s) continue;
    t.add(*s, options);
    if (t.bytes() < chunk_bytes) continue;
    t.number(book);
    text_list room = std::move(t.addresses);
    hand_on(t);
    start(std::move(room));
  }
  t.failed = scanner.failed();
  t.number(book);
  t.addresses = text_list{};
  // The last part of a segment is mostly smaller than the room it took.
  for (text_list& r : t.rows) r.text.shrink_to_fit();
  hand_on(t);
}

unsigned usable_cpus() {
  cpu_set_t set;
  if (::sched_getaffinity(0, sizeof set, &set) != 0) return 1;
  return static_cast<unsigned>(CPU_COUNT(&set));
}

bool scan_segments(int fd, std::uint64_t size, const segment_plan& plan, const scan_options& options,
                   address_book& book, const std::function<void(tally&)>& merge) {
  const std::uint64_t count = (size + plan.segment_size - 1) / plan.segment_size;
  // Workers take segments at most this far ahead of the merge.
  const std::uint64_t window = plan.workers + std::uint64_t{2};
  std::vector<segment_parts> segments(window);
  std::mutex lock;
  std::condition_variable_any changed;
  std::uint64_t next = 0;
  std::uint64_t merging = 0;
  std::size_t held = 0;  // bytes of the parts waiting, of every segment

  auto work = [&](const std::stop_token& stop) {
    // One scanner a worker, its buffer kept from one segment to the next.
    std::optional<block_scanner> scanner;
    std::unique_lock hold(lock);
    while (changed.wait(hold, stop, [&] { return next < std::min(count, merging + window); })) {
      const std::uint64_t k = next++;
      segment_parts& mine = segments[k % window];
      hold.unlock();
      std::exception_ptr error;
      try {
        segment_reader reader(fd, k * plan.segment_size, std::min(size, (k + 1) * plan.segment_size), size, stop,
                              options.counted);
        if (scanner)
          scanner->restart(reader);
        else
          scanner.emplace(reader, block_size);
        tally_all(*scanner, options, book, plan.chunk_bytes, [&](tally& t) {
          const std::size_t bytes = t.bytes();
          std::unique_lock wait(lock);
          const bool room = changed.wait(wait, stop, [&] {
            return k == merging ? mine.parts.size() < parts_ahead : held == 0 || held + bytes <= plan.budget;
          });
          if (!room) return;
          mine.parts.push_back(std::move(t));
          held += bytes;
          changed.notify_all();
        });
      } catch (...) {
        error = std::current_exception();
      }
      hold.lock();
      mine.finished = true;
      mine.error = error;
      changed.notify_all();
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

  for (std::uint64_t k = 0; k < count;) {
    segment_parts& theirs = segments[k % window];
    std::unique_lock hold(lock);
    changed.wait(hold, [&] { return !theirs.parts.empty() || theirs.finished; });
    if (theirs.parts.empty()) {
      const std::exception_ptr error = theirs.error;
      theirs = segment_parts{};
      merging = ++k;
      changed.notify_all();
      if (error) std::rethrow_exception(error);
      continue;
    }
    tally part = std::move(theirs.parts.front());
    theirs.parts.pop_front();
    held -= part.bytes();
    changed.notify_all();
    hold.unlock();
    merge(part);
    if (part.failed) break;
  }
  return true;
}
