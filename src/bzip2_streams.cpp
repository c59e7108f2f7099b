// bzip2 streams read in order, their blocks decoded ahead on several threads and taken only where
// each begins exactly where the one before it ended.
#include "bzip2_streams.h"

#include <algorithm>
#include <cstring>
#include <deque>
#include <optional>
#include <string>
#include <utility>

#include "bzip2_bits.h"
#include "bzip2_block.h"
#include "bzip2_framed.h"
#include "bzip2_magic.h"
#include "bzip2_pool.h"

#if ORNSUM_BZIP2
namespace {

// A valid block of any level takes fewer compressed bytes than this (its tables, and 900,001
// symbols of up to 20 bits): a block that has not decoded once this much of the stream past its
// start is at hand is damaged.
constexpr std::size_t block_reach = std::size_t{3} << 20;
// The compressed bytes held at the most, from where the reading stands: more than a block's reach,
// so that every block can be told whole or damaged.
constexpr std::size_t window_limit = std::size_t{4} << 20;
constexpr unsigned magic_bits = 48;
// Blocks are decoded ahead while those given to the pool sort up to two blocks of the largest
// level a thread: their texts, mostly as long, wait for the reading at the most.
constexpr std::uint32_t ahead_per_thread = 900000;

// A magic found, and the level of the stream it lies in as far as the search can tell.
struct found {
  magic_place place;
  unsigned level;
};

class block_inflater final : public inflater {
 public:
  block_inflater(unsigned threads, std::vector<std::uint64_t> planted)
      : planted_(std::move(planted)), ahead_(std::uint64_t{ahead_per_thread} * threads), pool_(threads) {}

  bool inflate(std::string_view& in, std::span<char>& out, bool last) override {
    // All the input there is room for is taken at once, and more is read before the reading goes
    // on while the window has room, so that the pool has blocks to decode. A call with no input
    // goes as far as it can.
    const bool fed = !in.empty();
    take(in);
    for (;;) {
      const std::size_t n = std::min(out.size(), text_.size() - given_);
      std::copy_n(text_.data() + given_, n, out.data());
      out = out.subspan(n);
      given_ += n;
      if (given_ < text_.size()) return true;
      if (damaged_) return false;
      if (fed && in.empty() && !last && window_.size() < window_limit / 2) return true;
      const step next = advance(last && in.empty());
      if (next == step::end) return true;
      if (next == step::damage) damaged_ = true;
      if (next != step::input) continue;
      if (in.empty()) return true;
      take(in);
    }
  }

  bool whole() const override { return ended_ && part_ != part::magic && given_ == text_.size() && !damaged_; }

 private:
  enum class part { header, padding, magic };
  // What the reading came to: a block's text, a need of more input, damage, or the end of it all.
  enum class step { text, input, damage, end };

  // Takes what input the window has room for, and finds the magics in it.
  void take(std::string_view& in) {
    const auto reading = static_cast<std::size_t>(at_ / 8 - base_);
    window_.erase(0, reading);
    base_ += reading;
    const std::size_t n = std::min(in.size(), window_limit - window_.size());
    const std::size_t searched = window_.size() < magic_bits / 8 ? 0 : window_.size() - magic_bits / 8;
    window_.append(in.substr(0, n));
    in.remove_prefix(n);
    std::vector<magic_place> places = find_bzip2_magics(bytes().subspan(searched));
    for (magic_place& p : places) p.bit += 8 * (base_ + searched);
    for (std::uint64_t bit : planted_)
      if (bit > 8 * (base_ + searched) + magic_bits && bit <= 8 * (base_ + window_.size()))
        places.push_back({bit, bzip2_magic::block});
    std::sort(places.begin(), places.end(), [](const magic_place& a, const magic_place& b) { return a.bit < b.bit; });
    while (!magics_.empty() && magics_.front().place.bit <= at_) magics_.pop_front();
    for (const magic_place& p : places) {
      const std::uint64_t bit = p.bit;
      if (!magics_.empty() && bit <= magics_.back().place.bit) continue;
      const std::uint64_t begins = bit - magic_bits;
      // A stream's first block stands right after its header, on a byte.
      const auto byte = static_cast<std::size_t>(begins / 8 - base_);
      if (p.kind == bzip2_magic::block && begins % 8 == 0 && byte >= 4 && window_.compare(byte - 4, 3, "BZh") == 0 &&
          window_[byte - 1] >= '1' && window_[byte - 1] <= '9')
        level_found_ = static_cast<unsigned>(window_[byte - 1] - '0');
      magics_.push_back({{bit, p.kind}, level_found_});
    }
    dispatch();
  }

  // Has the pool decode the blocks whose next magic has been found, while the blocks given to it
  // may sort up to ahead_ bytes.
  void dispatch() {
    std::uint64_t sorting = 0;
    for (const auto& job : jobs_) sorting += job->max_block;
    for (std::size_t i = 0; i + 1 < magics_.size() && sorting < ahead_ && pool_.running(); ++i) {
      const found& block = magics_[i];
      if (block.place.kind != bzip2_magic::block || block.place.bit <= dispatched_) continue;
      auto& job = *jobs_.emplace_back(std::make_unique<bzip2_job>());
      job.start = block.place.bit;
      job.max_block = 100000 * block.level;
      job.first = block.place.bit / 8;
      const std::uint64_t past = (magics_[i + 1].place.bit + 7) / 8;
      job.bytes.assign(window_.begin() + static_cast<std::ptrdiff_t>(job.first - base_),
                       window_.begin() + static_cast<std::ptrdiff_t>(past - base_));
      pool_.submit(job);
      sorting += job.max_block;
      dispatched_ = block.place.bit;
    }
  }

  // The window's bytes.
  std::span<const std::uint8_t> bytes() const {
    return {reinterpret_cast<const std::uint8_t*>(window_.data()), window_.size()};
  }
  // Bits of the window at hand from bit `bit` of the stream on.
  std::uint64_t at_hand(std::uint64_t bit) const { return 8 * (base_ + window_.size()) - bit; }
  // The n bits (up to 48) of the stream from bit `bit` on, at hand.
  std::uint64_t bits(std::uint64_t bit, unsigned n) const {
    bit_reader reader(bytes(), bit - 8 * base_);
    const std::uint64_t high = n > 32 ? reader.read(n - 32) : 0;
    return high << (n > 32 ? 32 : n) | reader.read(n > 32 ? 32 : n);
  }

  // Reads on from where the reading stands, as far as the window allows.
  step advance(bool last) {
    for (;;) {
      const auto byte = static_cast<std::size_t>(at_ / 8 - base_);
      if (part_ != part::magic && byte == window_.size()) return last ? step::end : step::input;
      switch (part_) {
        case part::padding:
          if (window_[byte] != '\0') return step::damage;
          at_ += 8;
          continue;
        case part::header:
          if (window_[byte] == '\0') {
            part_ = part::padding;
            continue;
          }
          if (window_.size() - byte < 4) return last ? step::damage : step::input;
          if (window_.compare(byte, 3, "BZh") != 0 || window_[byte + 3] < '1' || window_[byte + 3] > '9')
            return step::damage;
          level_ = static_cast<unsigned>(window_[byte + 3] - '0');
          combined_ = 0;
          at_ += 32;
          part_ = part::magic;
          continue;
        case part::magic:
          break;
      }
      if (at_hand(at_) < magic_bits + 32) return last ? step::damage : step::input;
      const std::uint64_t magic = bits(at_, magic_bits);
      if (magic == static_cast<std::uint64_t>(bzip2_magic::end)) {
        if (bits(at_ + magic_bits, 32) != combined_) return step::damage;
        at_ = (at_ + magic_bits + 32 + 7) / 8 * 8;
        part_ = part::header;
        ended_ = true;
        continue;
      }
      if (magic != static_cast<std::uint64_t>(bzip2_magic::block)) return step::damage;
      return block(at_ + magic_bits, last);
    }
  }

  // Takes the text of the block that begins at bit `start`, decoded ahead or here.
  step block(std::uint64_t start, bool last) {
    while (!magics_.empty() && magics_.front().place.bit <= start) magics_.pop_front();
    std::optional<block_end> end;
    const std::uint32_t max_block = 100000 * level_;
    while (!jobs_.empty() && jobs_.front()->start <= start) {
      bzip2_job& job = *jobs_.front();
      if (job.start == start && job.max_block == max_block) {
        pool_.done(job);
        end = job.end;
        text_ = std::move(job.text);
      } else {
        pool_.drop(job);
      }
      jobs_.pop_front();
    }
    // Here the block may need more of the stream than the window holds yet.
    const bool reachable = last || at_hand(start) >= 8 * block_reach;
    if (!end && !reachable && magics_.empty()) return step::input;
    if (!end) {
      text_.clear();
      end = decoder_.decode(bytes(), start - 8 * base_, max_block, text_);
      if (end) end->bit += 8 * base_;
    }
    if (!end && !reachable) return step::input;
    if (!end) return framed(start);
    return taken(*end);
  }

  // Goes on after a block whose text is taken: its CRC joins the stream's, and the reading stands
  // where it ended.
  step taken(block_end end) {
    given_ = 0;
    combined_ = (combined_ << 1 | combined_ >> 31) ^ end.crc;
    at_ = end.bit;
    dispatch();
    return step::text;
  }

  // A block that our decoder refuses, at the place where it must begin and with all of its reach
  // at hand: libbz2's text of it, as a stream of its own that ends at the first magic found after
  // it where it ends whole, or libbz2's text up to where it fails, and damage.
  step framed(std::uint64_t start) {
    const std::uint64_t from = start - magic_bits - 8 * base_;
    const auto crc = static_cast<std::uint32_t>(bits(start, 32));
    for (const found& next : magics_) {
      if (next.place.bit - start > 8 * block_reach) break;
      const std::uint64_t to = next.place.bit - magic_bits - 8 * base_;
      bzip2_framed f = frame_block(bytes(), from, to, level_, &crc);
      if (!f.whole) continue;
      text_ = std::move(f.text);
      return taken({next.place.bit - magic_bits, crc});
    }
    text_ = frame_block(bytes(), from, 8 * window_.size(), level_, nullptr).text;
    given_ = 0;
    damaged_ = true;
    return step::text;
  }

  std::vector<std::uint64_t> planted_;
  std::uint64_t ahead_;  // the bytes that the blocks decoded ahead may sort, at the most
  std::string window_;   // the stream's bytes from byte base_ on
  std::uint64_t base_ = 0;
  std::deque<found> magics_;  // after where the reading stands
  unsigned level_found_ = 9;
  std::uint64_t dispatched_ = 0;  // the start of the last block given to the pool
  part part_ = part::header;
  std::uint64_t at_ = 0;  // the bit where the reading stands
  unsigned level_ = 9;
  std::uint32_t combined_ = 0;  // the stream's CRC so far
  std::string text_;            // the text of the last block taken
  std::size_t given_ = 0;       // of it, given out
  bool damaged_ = false;
  bool ended_ = false;  // a stream has ended
  bzip2_block_decoder decoder_;
  std::deque<std::unique_ptr<bzip2_job>> jobs_;
  bzip2_pool pool_;  // last, so that its threads are stopped before the jobs go
};

}  // namespace
#endif

std::unique_ptr<inflater> bzip2_blocks([[maybe_unused]] unsigned threads,
                                       [[maybe_unused]] std::vector<std::uint64_t> planted) {
#if ORNSUM_BZIP2
  return std::make_unique<block_inflater>(std::min(threads, bzip2_threads), std::move(planted));
#else
  return nullptr;
#endif
}
