// Memory for the bytes of a log read, on a cache line.
#include "read/read_buffer.h"

read_buffer::read_buffer(std::size_t size) : storage_(new char[size + line]) {
  void* first = storage_.get();
  std::size_t room = size + line;
  data_ = static_cast<char*>(std::align(line, size, first, room));
}
