#include "sink.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <string>

namespace {

// Writes pieces through a sink into a fresh file and reads the file back.
std::string through_sink(const std::vector<std::string>& pieces) {
  char name[] = "/tmp/ornsum-sink-XXXXXX";
  int fd = ::mkstemp(name);
  {
    sink s(::dup(fd), false);
    for (const std::string& piece : pieces) s.write(piece);
    s.close();
    EXPECT_FALSE(s.failed());
  }
  std::string bytes(static_cast<std::size_t>(::lseek(fd, 0, SEEK_END)), '\0');
  EXPECT_EQ(::pread(fd, bytes.data(), bytes.size(), 0), static_cast<ssize_t>(bytes.size()));
  ::close(fd);
  ::unlink(name);
  return bytes;
}

TEST(sink, delivers_every_byte_in_order) {
  const std::vector<std::vector<std::string>> cases = {
      {},
      {"a", "bc", ""},
      {std::string(200000, 'x'), std::string(100000, 'y'), "z"},
      {"head", std::string(1 << 20, 'w'), "tail"},
  };
  for (const auto& pieces : cases) {
    std::string all;
    for (const std::string& piece : pieces) all += piece;
    EXPECT_EQ(through_sink(pieces), all);
  }
}

}  // namespace
