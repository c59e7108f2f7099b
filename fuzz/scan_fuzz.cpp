// Fuzzes the block scanner on an arbitrary log: the sessions it finds must be those of a plain
// reading that cuts each line into pieces as a loop reading lines into a 255-byte buffer does.
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "scanner.h"
#include "session_text.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  // The first byte chooses the block size, from one byte up; the rest is the log.
  std::size_t block = data[0] == 255 ? std::size_t{1} << 20 : std::size_t{data[0]} + 1;
  std::string_view log(reinterpret_cast<const char*>(data + 1), size - 1);
  std::vector<std::string> expected;
  while (!log.empty()) {
    std::size_t feed = log.substr(0, piece_limit).find('\n');
    std::size_t length = feed == std::string_view::npos ? std::min(log.size(), piece_limit) : feed + 1;
    if (std::optional<session> s = parse_line(log.substr(0, length), false, "")) expected.push_back(session_text(s));
    log.remove_prefix(length);
  }
  int fd = memfd_create("log", 0);
  if (fd < 0 || ::write(fd, data + 1, size - 1) != static_cast<ssize_t>(size - 1)) std::abort();
  ::lseek(fd, 0, SEEK_SET);
  block_scanner scanner(fd, block);
  std::vector<std::string> found;
  while (std::optional<std::string_view> piece = scanner.next())
    if (std::optional<session> s = parse_line(*piece, false, "")) found.push_back(session_text(s));
  ::close(fd);
  if (found != expected || scanner.failed()) std::abort();
  return 0;
}
