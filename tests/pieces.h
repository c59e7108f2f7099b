// The log as a line-reading loop with a 255-byte buffer sees it, one piece per read: the plain
// reading that the block scanner must agree with.
#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <string_view>

#include "scanner.h"

// Reads a file descriptor piece by piece: up to and including the next line feed when the rest of
// the line fits in piece_limit bytes, else the next piece_limit bytes of the line.
class piece_reader {
 public:
  explicit piece_reader(int fd);

  // The next piece, valid until the next call; none at end of input or after a read error.
  std::optional<std::string_view> next();
  // Whether reading stopped on an error rather than at end of input.
  bool failed() const { return failed_; }

 private:
  // Reads once more after what is buffered; false when nothing more will come.
  bool refill();

  int fd_;
  std::unique_ptr<char[]> buffer_;
  std::size_t begin_ = 0;
  std::size_t end_ = 0;
  bool finished_ = false;
  bool failed_ = false;
};
