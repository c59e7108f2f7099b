// Fuzzes the segmented scan of an arbitrary log: merged in file order, its tallies must come to the
// tally of the plain reading of reference.h, row for row and node for node, however small the
// segments.
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "reference.h"
#include "report/tables.h"
#include "scan/segments.h"

namespace {

// A tally's sessions, one line each, as the merge takes them: row, address and counts.
std::string sessions_of(const tally& t, const address_book& book) {
  std::string text;
  for (std::size_t i = 0; i < t.sessions(); ++i)
    text += std::string(t.rows[0][i]) + std::string(book.address(t.ids[i])) + ' ' + std::to_string(t.counts[2 * i]) +
            ' ' + std::to_string(t.counts[2 * i + 1]) + '\n';
  return text;
}

// A file cut in segments of a given size.
class file_segments final : public segment_list {
 public:
  file_segments(int fd, std::uint64_t size, std::uint64_t segment_size)
      : fd_(fd), size_(size), segment_size_(segment_size) {}
  std::uint64_t count() const override { return (size_ + segment_size_ - 1) / segment_size_; }
  bool in_turn(std::uint64_t k) const override { return k % 3 == 2; }
  void read(std::uint64_t k, const std::stop_token& stop,
            const std::function<void(const byte_source&)>& scan) const override {
    scan(segment_bytes(fd_, k * segment_size_, std::min(size_, (k + 1) * segment_size_), size_, stop, nullptr));
  }

 private:
  int fd_;
  std::uint64_t size_;
  std::uint64_t segment_size_;
};

// A tally's totals and whether its reading failed.
std::string totals_of(total sent, total rcvd, bool failed) {
  std::string text = failed ? "failed\n" : "\n";
  append_total(text, "sent", sent);
  append_total(text, "rcvd", rcvd);
  return text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  // The first byte chooses the segment size, from one byte up; the second how many workers, and
  // how small the parts of a tally and the budget of those waiting are; the rest is the log.
  const segment_plan plan{data[0] + std::uint64_t{1}, data[1] % 3 + 1u, std::size_t{1} << (data[1] / 3 % 4 * 3),
                          std::size_t{1} << (data[1] / 12 % 4 * 4)};
  int fd = memfd_create("log", 0);
  if (fd < 0 || ::write(fd, data + 2, size - 2) != static_cast<ssize_t>(size - 2)) std::abort();
  address_book book;
  const scan_options options{false, "", nullptr, {true, false}};
  tally whole;
  for (std::string_view piece : reference::pieces({reinterpret_cast<const char*>(data + 2), size - 2}))
    if (std::optional<session> s = reference::parse_line(piece, false, "")) whole.add(*s, options);
  whole.number(book);
  std::string sessions;
  total sent = 0;
  total rcvd = 0;
  bool failed = false;
  std::uint64_t last = 0;
  bool started = scan_segments(file_segments(fd, size - 2, plan.segment_size), plan, options, book,
                               [&](std::uint64_t k, tally& t) {
                                 if (k < last) std::abort();
                                 last = k;
                                 sessions += sessions_of(t, book);
                                 sent += t.sent;
                                 rcvd += t.rcvd;
                                 failed = t.failed != 0;
                                 return !failed;
                               });
  ::close(fd);
  if (!started || sessions != sessions_of(whole, book) ||
      totals_of(sent, rcvd, failed) != totals_of(whole.sent, whole.rcvd, whole.failed != 0))
    std::abort();
  return 0;
}
