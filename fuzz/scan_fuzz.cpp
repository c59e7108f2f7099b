// Fuzzes the block scanner on an arbitrary log: the pieces it yields that hold the done marker must
// be those of a plain reading that cuts each line as a loop reading into a 255-byte buffer does.
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "parse.h"
#include "scanner.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  // The first byte chooses the block size, from one byte up; the rest is the log.
  std::size_t block = data[0] == 255 ? std::size_t{1} << 20 : std::size_t{data[0]} + 1;
  std::string_view log(reinterpret_cast<const char*>(data + 1), size - 1);
  std::vector<std::string_view> expected;
  while (!log.empty()) {
    std::size_t feed = log.substr(0, piece_limit).find('\n');
    std::string_view piece = log.substr(0, feed == std::string_view::npos ? piece_limit : feed + 1);
    if (piece.find(done_marker) != std::string_view::npos) expected.push_back(piece);
    log.remove_prefix(piece.size());
  }
  int fd = memfd_create("log", 0);
  if (fd < 0 || ::write(fd, data + 1, size - 1) != static_cast<ssize_t>(size - 1)) std::abort();
  ::lseek(fd, 0, SEEK_SET);
  block_scanner scanner(fd, block);
  std::vector<std::string> found;
  while (std::optional<std::string_view> piece = scanner.next())
    if (piece->find(done_marker) != std::string_view::npos) found.emplace_back(*piece);
  ::close(fd);
  if (!std::equal(found.begin(), found.end(), expected.begin(), expected.end()) || scanner.failed()) std::abort();
  return 0;
}
