// Reading the log file's own bytes, from a regular file as it was when the run began.
#include "read/file_bytes.h"

#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>

namespace {

// Polls fd, and wake unless it is -1; the revents of fd, or POLLERR when poll fails, so that the
// read that follows tells what is wrong. Sets woken when wake became readable.
short poll_log(int fd, int wake, int timeout, bool& woken) {
  pollfd fds[] = {{fd, POLLIN, 0}, {wake, POLLIN, 0}};
  for (;;) {
    const int n = ::poll(fds, 2, timeout);
    if (n < 0 && errno == EINTR) continue;
    woken = (fds[1].revents & POLLIN) != 0;
    return n < 0 ? static_cast<short>(POLLERR) : fds[0].revents;
  }
}

}  // namespace

std::string failure_reason(int error) {
  switch (error) {
    case ENOENT:
      return "no such file";
    case EACCES:
    case EPERM:
      return "permission denied";
    case EMFILE:
    case ENFILE:
      return "too many open files";
    case EISDIR:
      return "a directory";
    case log_error::cut_short:
      return "cut short while it was read";
    case log_error::damaged:
      return "damaged, cut short, or too large to decode in the memory allowed";
    case log_error::unread_format:
      return "compressed in a format that is not read (compress, pack, lzop or lz4's legacy one)";
    case log_error::no_decoder:
      return "compressed in a format that this build does not read";
    case log_error::archive:
      return "an archive, not a log";
    case log_error::replaced:
      return "replaced by another file since the run began";
    default:
      std::string text = std::strerror(error);
      if (!text.empty()) text[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(text[0])));
      return text;
  }
}

ssize_t read_log(int fd, char* buffer, std::size_t size, std::optional<std::uint64_t> left,
                 std::optional<std::uint64_t> at) {
  if (left) size = static_cast<std::size_t>(std::min<std::uint64_t>(size, *left));
  if (size == 0) return 0;
  for (;;) {
    const ssize_t n = at ? ::pread(fd, buffer, size, static_cast<off_t>(*at)) : ::read(fd, buffer, size);
    if (n < 0 && errno == EINTR) continue;
    if (n == 0 && left) {
      errno = log_error::cut_short;
      return -1;
    }
    return n;
  }
}

ssize_t file_bytes::read(char* buffer, std::size_t size) {
  const ssize_t n = read_log(fd_, buffer, size, left_);
  if (n > 0 && left_) *left_ -= static_cast<std::uint64_t>(n);
  if (n > 0 && counted_ != nullptr) *counted_ += static_cast<std::uint64_t>(n);
  return n;
}

bool file_bytes::ready() const {
  if (left_) return true;
  bool woken = false;
  return poll_log(fd_, -1, 0, woken) != 0;
}

bool file_bytes::wait(int wake, int timeout_ms) const {
  if (left_) return true;
  bool woken = false;
  return poll_log(fd_, wake, timeout_ms, woken) != 0 && !woken;
}
