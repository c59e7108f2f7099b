#include "pieces.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace {

constexpr std::size_t buffer_size = std::size_t{64} * 1024;

}  // namespace

piece_reader::piece_reader(int fd) : fd_(fd), buffer_(new char[buffer_size]) {}

std::optional<std::string_view> piece_reader::next() {
  for (;;) {
    std::size_t available = std::min(end_ - begin_, piece_limit);
    const char* start = buffer_.get() + begin_;
    const void* feed = std::memchr(start, '\n', available);
    // A piece is ready when its line feed is buffered or it is full; otherwise wait for more,
    // so that a log fed slowly through a pipe still yields each line as soon as it is complete.
    if (feed != nullptr || available == piece_limit || (finished_ && available > 0)) {
      std::size_t length =
          feed != nullptr ? static_cast<std::size_t>(static_cast<const char*>(feed) - start) + 1 : available;
      begin_ += length;
      return std::string_view(start, length);
    }
    if (!refill()) return std::nullopt;
  }
}

bool piece_reader::refill() {
  if (finished_) return false;
  std::memmove(buffer_.get(), buffer_.get() + begin_, end_ - begin_);
  end_ -= begin_;
  begin_ = 0;
  for (;;) {
    ssize_t n = ::read(fd_, buffer_.get() + end_, buffer_size - end_);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      failed_ = n < 0;
      finished_ = true;
    } else {
      end_ += static_cast<std::size_t>(n);
    }
    return true;
  }
}
