// A log read as text: its own bytes, or those that a decoding thread inflates from them.
#include "read/log_text.h"

#include <algorithm>
#include <cerrno>
#include <memory>
#include <new>
#include <system_error>
#include <utility>

#include "read/decoder_thread.h"
#include "read/inflaters.h"

namespace {

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

}  // namespace

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
    head_error_ = format_ == compression::refused   ? log_error::unread_format
                  : format_ == compression::archive ? log_error::archive
                                                    : log_error::no_decoder;
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
    head_error_ = log_error::archive;
    errno = log_error::archive;
    return -1;
  }
  return n > 0 ? static_cast<ssize_t>(n) : got;
}
