// Buffered output to a descriptor, and messages to standard error.
#include "report/sink.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace {

// Writes all of bytes to fd; false on the first error.
bool write_all(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    ssize_t n = ::write(fd, bytes.data(), bytes.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    bytes.remove_prefix(static_cast<std::size_t>(n));
  }
  return true;
}

}  // namespace

void tell(std::string_view text) { write_all(STDERR_FILENO, text); }

sink::sink(int fd, bool eager) : fd_(fd), eager_(eager), buffer_(new char[buffer_size]) {}

sink::~sink() {
  // On the way out of a failed run, what was written so far is still delivered.
  if (!closed_) close();
}

void sink::write(std::string_view text) {
  if (failed_) return;
  if (used_ + text.size() > buffer_size) {
    flush();
    if (text.size() >= buffer_size) {
      deliver(text);
      return;
    }
  }
  std::memcpy(buffer_.get() + used_, text.data(), text.size());
  used_ += text.size();
}

void sink::push() {
  if (eager_) flush();
}

void sink::flush() {
  deliver({buffer_.get(), used_});
  used_ = 0;
}

void sink::close() {
  flush();
  closed_ = true;
  if (::close(fd_) != 0) failed_ = true;
}

void sink::deliver(std::string_view bytes) {
  if (!failed_ && !write_all(fd_, bytes)) failed_ = true;
}
