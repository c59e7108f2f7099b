// The logs of a run as segments: stretches of a large plain log, or whole logs, each decoded and
// scanned by the worker that takes it.
#include "scan/logs.h"

#include <algorithm>
#include <cerrno>
#include <string>

#include "read/compression.h"
#include "read/file_bytes.h"
#include "read/log_text.h"

namespace {

// The bytes that tell every format, skippable frames and all.
constexpr std::size_t head_size = std::size_t{64} * 1024;

}  // namespace

bool plain_text(int fd, std::uint64_t size) {
  std::string head(static_cast<std::size_t>(std::min<std::uint64_t>(size, head_size)), '\0');
  std::size_t had = 0;
  while (had < head.size()) {
    const ssize_t n = read_log(fd, head.data() + had, head.size() - had, size - had, had);
    if (n <= 0) return false;
    had += static_cast<std::size_t>(n);
  }
  return compression_of(head, head.size() < size) == compression::none && !tar_header(head);
}

log_segments::log_segments(const std::vector<log_file>& logs, std::uint64_t segment_size, bool cut,
                           std::atomic<std::uint64_t>* counted)
    : logs_(logs), segment_size_(segment_size), counted_(counted) {
  firsts_.reserve(logs.size() + 1);
  firsts_.push_back(0);
  for (const log_file& log : logs) {
    bool large = cut && log.size && *log.size >= 2 * segment_size;
    if (large) {
      const opened_log opened(log);
      large = opened.fd() >= 0 && plain_text(opened.fd(), *log.size);
    }
    firsts_.push_back(firsts_.back() + (large ? (*log.size + segment_size - 1) / segment_size : 1));
  }
}

std::size_t log_segments::log_of(std::uint64_t k) const {
  return static_cast<std::size_t>(std::upper_bound(firsts_.begin(), firsts_.end(), k) - firsts_.begin()) - 1;
}

void log_segments::read(std::uint64_t k, const std::stop_token& stop,
                        const std::function<void(const byte_source&)>& scan) const {
  const std::size_t i = log_of(k);
  const log_file& log = logs_[i];
  const opened_log opened(log);
  if (opened.fd() < 0) {
    scan([error = opened.error()](char*, std::size_t) {
      errno = error;
      return ssize_t{-1};
    });
    return;
  }
  if (firsts_[i + 1] - firsts_[i] > 1) {
    const std::uint64_t begin = (k - firsts_[i]) * segment_size_;
    scan(segment_bytes(opened.fd(), begin, std::min(*log.size, begin + segment_size_), *log.size, stop, counted_));
    return;
  }
  // One decoder a worker: the workers already take every CPU.
  log_text text(file_bytes(opened.fd(), log.size, counted_), 1);
  scan([&](char* buffer, std::size_t size) { return stop.stop_requested() ? 0 : text.read(buffer, size, stop); });
}
