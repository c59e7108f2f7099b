// Fuzzes the reading of a log that may be compressed, on arbitrary bytes: a text log must come out
// as it went in, or as nothing and an error when it is a tar, and compressed data, damaged or not,
// must end in text or an error, never a crash.
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "read/log_text.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  int fd = memfd_create("log", 0);
  if (fd < 0 || ::write(fd, data, size) != static_cast<ssize_t>(size)) std::abort();
  ::lseek(fd, 0, SEEK_SET);
  std::string text;
  ssize_t n = 0;
  {
    log_text log(file_bytes(fd, size));
    char buffer[4096];
    while ((n = log.read(buffer, sizeof buffer)) > 0) text.append(buffer, static_cast<std::size_t>(n));
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const bool tar = tar_header(bytes);
    if (log.format() == compression::none && (tar ? n != -1 || !text.empty() : n != 0 || text != bytes)) std::abort();
  }
  ::close(fd);
  return 0;
}
