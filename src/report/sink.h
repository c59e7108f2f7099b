// Output destinations that buffer their bytes and remember whether a write ever failed.
#pragma once

#include <cstddef>
#include <memory>
#include <string_view>

// Writes text to standard error at once; a failure there has nowhere to be told.
void tell(std::string_view text);

// A file descriptor written through a large buffer; after the first failed write it takes no more.
// The sink owns the descriptor: it is closed, after what was written is delivered, at close() or
// when the sink goes out of scope.
class sink {
 public:
  // Writes to fd; an eager sink delivers at every push(), for a reader watching a terminal.
  sink(int fd, bool eager);
  ~sink();
  sink(const sink&) = delete;
  sink& operator=(const sink&) = delete;

  // The bytes the buffer holds.
  static constexpr std::size_t buffer_size = std::size_t{256} * 1024;

  // Appends text to the buffer, delivering the buffer when it is full; a text of buffer_size bytes
  // or more is delivered as it is, after the buffer, without being copied.
  void write(std::string_view text);
  // Delivers the buffer now if the sink is eager.
  void push();
  // Delivers the buffer.
  void flush();
  // Delivers the buffer and closes the descriptor.
  void close();
  // Whether the sink delivers at every push().
  bool eager() const { return eager_; }
  // Whether any write, flush or close has failed.
  bool failed() const { return failed_; }
  // The descriptor written to.
  int fd() const { return fd_; }

 private:
  void deliver(std::string_view bytes);

  int fd_;
  bool eager_;
  bool failed_ = false;
  bool closed_ = false;
  std::unique_ptr<char[]> buffer_;
  std::size_t used_ = 0;
};
