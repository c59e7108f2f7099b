// Fuzzes the block scanner on an arbitrary log: the pieces it yields that hold the done marker must
// be those of the plain reading of reference.h, and what the line parser makes of them what the
// plain parser makes of those.
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "reference.h"
#include "scan/scanner.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  // The first byte chooses the block size, from one byte up; the rest is the log.
  std::size_t block = data[0] == 255 ? std::size_t{1} << 20 : std::size_t{data[0]} + 1;
  std::string_view log(reinterpret_cast<const char*>(data + 1), size - 1);
  std::vector<std::string> expected;
  for (std::string_view piece : reference::pieces(log))
    if (piece.find(done_marker) != std::string_view::npos)
      expected.push_back(std::string(piece) + reference::fields(reference::parse_line(piece, false, "")));
  int fd = memfd_create("log", 0);
  if (fd < 0 || ::write(fd, data + 1, size - 1) != static_cast<ssize_t>(size - 1)) std::abort();
  ::lseek(fd, 0, SEEK_SET);
  block_scanner scanner(fd, block);
  std::vector<std::string> found;
  while (std::optional<std::string_view> piece = scanner.next())
    if (piece->find(done_marker) != std::string_view::npos)
      found.push_back(std::string(*piece) + reference::fields(parse_line(*piece, false, "")));
  ::close(fd);
  if (!std::equal(found.begin(), found.end(), expected.begin(), expected.end()) || scanner.failed()) std::abort();
  return 0;
}
