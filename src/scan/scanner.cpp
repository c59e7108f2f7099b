// The block scanner: the pieces of a log that hold the done marker, found a block at a time.
#include "scan/scanner.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <memory>
#include <utility>

#include "scan/byte_search.h"
#include "scan/parse.h"

#if defined(__x86_64__)
#include <immintrin.h>
#endif

namespace {

constexpr std::size_t marker_size = done_marker.size();
// A cache line, and the room before the first one that reads land on, for what is kept of a
// block: less than a piece and a marker.
constexpr std::size_t line = read_buffer::line;
constexpr std::size_t front = (piece_limit + marker_size + line - 1) / line * line;

bool at_marker(const char* p) { return std::memcmp(p, done_marker.data(), marker_size) == 0; }

// What a marker search of [p, end) found: the first done marker that lies whole there or, when
// there is none, the place from which one could still begin and end after `end`. With a marker
// come the line feeds that the search's own vectors hold around it, in [window, window_end): bit i
// of `feeds` stands for window + i.
struct search_result {
  const char* at;
  const char* window;
  const char* window_end;
  std::uint64_t feeds;
};

search_result find_marker_plain(const char* p, const char* end) {
  for (; end - p >= static_cast<std::ptrdiff_t>(marker_size); ++p)
    if (at_marker(p)) break;
  return {p, p, p, 0};
}

#if defined(__x86_64__)
// Many places at a time: a candidate has the marker's first byte and, seven bytes on, its last;
// only candidates are compared whole. Every x86-64 has SSE2; most have AVX2, twice as wide.
search_result find_marker_sse2(const char* p, const char* end) {
  const __m128i first = _mm_set1_epi8(done_marker.front());
  const __m128i last = _mm_set1_epi8(done_marker.back());
  for (; end - p >= static_cast<std::ptrdiff_t>(16 + marker_size - 1); p += 16) {
    const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    const __m128i at_first = _mm_cmpeq_epi8(bytes, first);
    const __m128i at_last =
        _mm_cmpeq_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p + marker_size - 1)), last);
    for (auto candidates = static_cast<unsigned>(_mm_movemask_epi8(_mm_and_si128(at_first, at_last))); candidates != 0;
         candidates &= candidates - 1) {
      const char* c = p + __builtin_ctz(candidates);
      if (at_marker(c))
        return {c, p, p + 16, static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(bytes, _mm_set1_epi8('\n'))))};
    }
  }
  return find_marker_plain(p, end);
}

// The places among the 32 at q where a marker may begin, as bits.
__attribute__((target("avx2"))) std::uint64_t candidates_avx2(const char* q) {
  const __m256i first = _mm256_set1_epi8(done_marker.front());
  const __m256i last = _mm256_set1_epi8(done_marker.back());
  __m256i at_first = _mm256_cmpeq_epi8(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(q)), first);
  __m256i at_last = _mm256_cmpeq_epi8(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(q + marker_size - 1)), last);
  return static_cast<std::uint32_t>(_mm256_movemask_epi8(_mm256_and_si256(at_first, at_last)));
}

// The places among the 32 at q that hold a line feed, as bits.
__attribute__((target("avx2"))) std::uint64_t feeds_avx2(const char* q) {
  const __m256i bytes = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(q));
  return static_cast<std::uint32_t>(_mm256_movemask_epi8(_mm256_cmpeq_epi8(bytes, _mm256_set1_epi8('\n'))));
}

__attribute__((target("avx2"))) search_result find_marker_avx2(const char* p, const char* end) {
  // Sixty-four places a round, so that the loop's own work is small beside the comparisons. The
  // line feeds are looked for only in the round that finds a marker: most rounds find none.
  for (; end - p >= static_cast<std::ptrdiff_t>(64 + marker_size - 1); p += 64) {
    for (std::uint64_t candidates = candidates_avx2(p) | candidates_avx2(p + 32) << 32; candidates != 0;
         candidates &= candidates - 1) {
      const char* c = p + __builtin_ctzll(candidates);
      if (at_marker(c)) return {c, p, p + 64, feeds_avx2(p) | feeds_avx2(p + 32) << 32};
    }
  }
  return find_marker_sse2(p, end);
}

search_result find_marker(const char* p, const char* end) {
  static const bool avx2 = __builtin_cpu_supports("avx2");
  return avx2 ? find_marker_avx2(p, end) : find_marker_sse2(p, end);
}
#else
search_result find_marker(const char* p, const char* end) { return find_marker_plain(p, end); }
#endif

// The first line feed in [p, end), or null.
const char* find_feed(const char* p, const char* end) {
  const std::string_view text(p, static_cast<std::size_t>(std::max(end - p, std::ptrdiff_t{0})));
  const std::size_t at = find_byte(text, '\n', 0, text.size());
  return at == text.size() ? nullptr : p + at;
}

// The last line feed in [begin, end), or null.
const char* last_feed(const char* begin, const char* end) {
  const std::string_view text(begin, static_cast<std::size_t>(end - begin));
  const std::size_t at = find_last_byte(text, '\n', 0, text.size());
  return at == text.size() ? nullptr : begin + at;
}

}  // namespace

block_scanner::block_scanner(int fd, std::size_t block_size)
    : block_scanner([fd](char* buffer, std::size_t size) { return ::read(fd, buffer, size); }, block_size) {}

block_scanner::block_scanner(byte_source source, std::size_t block_size, bool count_lines)
    : source_(std::move(source)), block_size_(block_size), buffer_(front + block_size), count_lines_(count_lines) {
  end_ = search_ = piece_ = counted_ = front;
}

void block_scanner::restart(byte_source source) {
  source_ = std::move(source);
  end_ = search_ = piece_ = counted_ = front;
  line_start_ = true;
  line_handed_ = false;
  lines_ = 0;
  finished_ = false;
  error_ = 0;
}

std::optional<std::string_view> block_scanner::next() {
  for (;;) {
    const char* base = buffer_.data();
    const search_result found = find_marker(base + search_, base + end_);
    const char* hit = found.at;
    const auto at = static_cast<std::size_t>(hit - base);
    const auto in_window = static_cast<unsigned>(hit - found.window);
    // The line starts after the last line feed before the marker: in its window, or further back.
    const std::uint64_t before = found.feeds & ((std::uint64_t{1} << in_window) - 1);
    const char* feed_before =
        before != 0 ? found.window + 63 - __builtin_clzll(before) : last_feed(base + search_, found.window);
    if (feed_before != nullptr) {
      piece_ = static_cast<std::size_t>(feed_before - base) + 1;
      line_start_ = true;
      line_handed_ = false;
    }
    search_ = at;
    if (end_ - at < marker_size) {
      if (!refill()) return std::nullopt;
      continue;
    }
    const std::size_t start = piece_ + (at - piece_) / piece_limit * piece_limit;
    const std::size_t limit = std::min(start + piece_limit, end_);
    // The piece ends with the first line feed after the marker: in its window, or further on.
    const std::uint64_t after = in_window + marker_size < 64 ? found.feeds >> (in_window + marker_size) : 0;
    const char* feed = after != 0 ? hit + marker_size + __builtin_ctzll(after)
                                  : find_feed(std::max(hit + marker_size, found.window_end), base + limit);
    if (feed != nullptr && feed >= base + limit) feed = nullptr;
    if (feed == nullptr && limit < start + piece_limit && !finished_) {
      if (!refill()) return std::nullopt;
      continue;
    }
    // A marker that runs over the end of its piece is handed over all the same: the parser will
    // not find it, as a piece-by-piece reading would not.
    search_ = feed != nullptr ? static_cast<std::size_t>(feed - base) + 1 : limit;
    whole_line_ = start == piece_ && line_start_ && (feed != nullptr || (finished_ && limit == end_));
    first_of_line_ = !line_handed_;
    piece_ = search_;
    line_start_ = feed != nullptr;
    line_handed_ = feed == nullptr;
    if (count_lines_) count_lines(start);
    return std::string_view(base + start, search_ - start);
  }
}

void block_scanner::count_lines(std::size_t to) {
  lines_ += static_cast<std::uint64_t>(std::count(buffer_.data() + counted_, buffer_.data() + to, '\n'));
  counted_ = to;
}

bool block_scanner::refill() {
  if (finished_) return false;
  const std::size_t keep = piece_ + (search_ - piece_) / piece_limit * piece_limit;
  // What is kept is less than a piece and a marker, so it fits before the front.
  const std::size_t to = front - (end_ - keep);
  if (count_lines_) count_lines(keep);
  counted_ = to;
  std::memmove(buffer_.data() + to, buffer_.data() + keep, end_ - keep);
  search_ = search_ - keep + to;
  // What is kept begins with a later piece of the line, unless it begins with the line.
  line_start_ = line_start_ && keep == piece_;
  piece_ = to;
  end_ = front;
  for (;;) {
    ssize_t n = source_(buffer_.data() + end_, block_size_);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      error_ = n < 0 ? errno : 0;
      finished_ = true;
    } else {
      end_ += static_cast<std::size_t>(n);
    }
    return true;
  }
}
