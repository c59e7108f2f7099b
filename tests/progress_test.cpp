// The progress line: bytes read, and for a log of known size the share done and the rate.
#include "report/progress.h"

#include <gtest/gtest.h>

namespace {

TEST(progress_line, tells_what_is_known) {
  constexpr std::uint64_t gib = std::uint64_t{1} << 30;
  const struct {
    std::uint64_t read;
    std::optional<std::uint64_t> size;
    double seconds;
    std::string line;
  } rows[] = {
      {0, std::nullopt, 1, "Read 0 B, 0 B/s"},
      {1536, std::nullopt, 2, "Read 1.5 KiB, 768 B/s"},
      {1048575, std::nullopt, 0, "Read 1.0 MiB"},
      {UINT64_MAX, std::nullopt, 0, "Read 16384.0 PiB"},
      {1023, 1048524, 1, "Read 1023 B of 1023.9 KiB (0%), 1023 B/s"},
      {512, 2048, 2, "Read 512 B of 2.0 KiB (25%), 256 B/s"},
      {3 * gib, 4 * gib, 1.5, "Read 3.0 GiB of 4.0 GiB (75%), 2.0 GiB/s"},
      {5000 * gib, 5000 * gib, 1000, "Read 4.9 TiB of 4.9 TiB (100%), 5.0 GiB/s"},
      {0, 0, 1, "Read 0 B of 0 B (100%), 0 B/s"},
  };
  for (const auto& row : rows) EXPECT_EQ(progress_line(row.read, row.size, row.seconds), row.line);
}

}  // namespace
