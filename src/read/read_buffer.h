// Memory for the bytes of a log read, on a cache line.
#pragma once

#include <cstddef>
#include <memory>

// Memory whose reads begin on a cache line, where the kernel copies from the page cache fastest.
class read_buffer {
 public:
  static constexpr std::size_t line = 64;  // bytes in a cache line

  // Room for `size` bytes from data() on.
  explicit read_buffer(std::size_t size);
  // The first byte, on a cache line.
  char* data() const { return data_; }

 private:
  std::unique_ptr<char[]> storage_;
  char* data_;
};
