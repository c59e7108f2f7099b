// Finding the pieces of a log that can close a session, reading it in large blocks.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string_view>

#include "read/read_buffer.h"
#include "scan/parse.h"

// Where a scanner's bytes come from: a call that fills at most `size` bytes of `buffer` as read(2)
// does, and returns how many, 0 at the end, or -1 with errno set.
using byte_source = std::function<ssize_t(char* buffer, std::size_t size)>;

// Reads a file descriptor in large blocks and yields only the pieces that hold the done marker
// whole, each as the piece-by-piece reading of the log would cut it. One vector pass over each
// block finds the markers; the vectors that find one also hold the line feeds around it, and only
// a line that begins before them or ends after them is searched further. Only the piece a block
// ends in is moved, to go on with the next block, and memory stays the same however long a line
// is.
class block_scanner {
 public:
  // Reads fd in blocks of block_size bytes (at the most).
  explicit block_scanner(int fd, std::size_t block_size = 1 << 20);
  // Reads from a source in blocks of block_size bytes (at the most); with count_lines, it counts
  // the lines it passes, for line().
  explicit block_scanner(byte_source source, std::size_t block_size = 1 << 20, bool count_lines = false);

  // Starts over on another source, keeping the buffer.
  void restart(byte_source source);
  // The next piece that holds the done marker, valid until the next call; none at end of input
  // or after a read error.
  std::optional<std::string_view> next();
  // Whether the last piece is a whole line, not one of the pieces of a longer one.
  bool whole_line() const { return whole_line_; }
  // Whether the last piece is the first handed over of its line.
  bool first_of_line() const { return first_of_line_; }
  // The number of the line the last piece lies in, counted from 1, when lines are counted.
  std::uint64_t line() const { return lines_ + 1; }
  // Whether reading stopped on an error rather than at end of input.
  bool failed() const { return error_ != 0; }
  // The errno of the read that failed; 0 when none did.
  int error() const { return error_; }

 private:
  // Keeps the piece the search is in, moved to the front, and reads more after it; false when
  // nothing more will come.
  bool refill();
  // Counts the lines up to buffer position `to`.
  void count_lines(std::size_t to);

  byte_source source_;
  std::size_t block_size_;
  // Reads land a fixed room after its start, on a cache line too; what is kept of the last block
  // goes just before them.
  read_buffer buffer_;
  std::size_t end_ = 0;  // where the bytes in the buffer end
  // Where the marker search goes on, and a place at or before it, with no line feed between,
  // where a piece begins: pieces begin there and every piece_limit bytes on.
  std::size_t search_ = 0;
  std::size_t piece_ = 0;
  bool line_start_ = true;   // piece_ is where a line begins
  bool whole_line_ = false;  // of the last piece
  bool first_of_line_ = false;
  bool line_handed_ = false;  // a piece of the line of piece_ was handed over
  bool count_lines_;
  std::uint64_t lines_ = 0;  // the line feeds before counted_
  std::size_t counted_ = 0;  // where the lines are counted up to
  bool finished_ = false;
  int error_ = 0;
};
