// The text of a log: its bytes as they lie, or inflated from them on a thread of their own.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <memory>
#include <stop_token>
#include <string>

#include "read/compression.h"
#include "read/file_bytes.h"

class decoder_thread;

// A log read as text.
class log_text {
 public:
  // Reads the first bytes of the log, as many as it takes to tell the format, and starts
  // inflating a compressed log, on up to `threads` threads where its format allows.
  explicit log_text(file_bytes bytes, unsigned threads = 1);
  ~log_text();
  log_text(const log_text&) = delete;
  log_text& operator=(const log_text&) = delete;

  // How the log is stored.
  compression format() const { return format_; }
  // Fills buffer as read(2) does with the text that follows what was read before: -1 with errno
  // telling why (see log_error) once reading fails, the log turns out truncated, or a compressed
  // log damaged or of a format this build cannot read, after all that came before cleanly, or at
  // once when its text is a tar. What the decoding thread threw is thrown here. Once stop is
  // requested, a read that would wait for the decoding thread returns 0.
  ssize_t read(char* buffer, std::size_t size, const std::stop_token& stop = {});

 private:
  // Fills buffer as read() does, a tar not yet told.
  ssize_t text(char* buffer, std::size_t size, const std::stop_token& stop);
  // Whether text() would return at once.
  bool ready() const;

  file_bytes bytes_;
  std::string head_;  // the first bytes of a text log, not yet handed on
  int head_error_ = 0;
  std::string opening_;  // the first bytes of text, up to tar_opening, until they tell a tar or not
  bool opened_ = false;  // whether they have told
  compression format_ = compression::none;
  std::unique_ptr<decoder_thread> decoder_;
};
