// Fuzzes the segmented scan of an arbitrary log: merged in file order, its tallies must come to the
// tally of one plain scan, row for row and node for node, however small the segments.
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <string>

#include "segments.h"

namespace {

// A tally's rows, node table and counts as one text.
std::string text_of(tally& t) {
  std::string text = t.rows[0].text + std::to_string(t.sessions) + (t.failed ? " failed\n" : "\n");
  for (const entry& e : t.nodes.entries()) {
    append_total(text, e.address, e.sent);
    append_total(text, e.address, e.rcvd);
  }
  append_total(text, "sent", t.sent);
  append_total(text, "rcvd", t.rcvd);
  return text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  // The first byte chooses the segment size, from one byte up, the second how many workers; the
  // rest is the log.
  const std::uint64_t segment = data[0] + std::uint64_t{1};
  const unsigned workers = data[1] % 3 + 1;
  int fd = memfd_create("log", 0);
  if (fd < 0 || ::write(fd, data + 2, size - 2) != static_cast<ssize_t>(size - 2)) std::abort();
  const scan_options options{false, "", {true, false}};
  tally whole;
  ::lseek(fd, 0, SEEK_SET);
  block_scanner scanner(fd);
  tally_all(scanner, options, whole);
  tally merged;
  bool started = scan_segments(fd, size - 2, segment, workers, options, [&](tally& t) {
    merged.rows[0].text += t.rows[0].text;
    merged.sessions += t.sessions;
    merged.sent += t.sent;
    merged.rcvd += t.rcvd;
    for (const entry& e : t.nodes.entries()) merged.nodes.add_node_bytes(e.address, e.sent, e.rcvd);
  });
  ::close(fd);
  if (!started || text_of(merged) != text_of(whole)) std::abort();
  return 0;
}
