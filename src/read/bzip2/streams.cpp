// bzip2 streams read in order, their blocks decoded ahead on several threads and taken only where
// each begins exactly where the one before it ended.
#include "read/bzip2/streams.h"

#include <algorithm>
#include <cassert>
#include <optional>
#include <utility>

#include "read/bzip2/ahead.h"
#include "read/bzip2/libbz2.h"
#include "read/bzip2/text.h"
#include "read/bzip2/window.h"

#if ORNSUM_BZIP2
namespace {

constexpr unsigned magic_bits = 48;
// libbz2 is given a block this much at a time.
constexpr std::size_t frame_size = std::size_t{64} << 10;

// The reading stands at bit at_ of the input, in one of its parts:
// - header: on a byte, where a stream's header, or zero padding after the last, may begin;
// - padding: on a byte within zero padding, which must run to the end;
// - magic: where a block's magic or the end of the stream must begin;
// - text: just past a block whose text, held by text_, is being given;
// - libbz2: inside a block that libbz2 reads, just past the bytes it has taken;
// - after_libbz2: just past the byte that holds the last bit of the block that libbz2 read.
// A block's text is taken only when the reading stands on its magic, and the reading then moves
// past the block: so every byte of text is given once, in order, and none is skipped.
class block_inflater final : public inflater {
 public:
  block_inflater(unsigned threads, std::vector<std::uint64_t> planted, std::size_t window)
      : window_(window, std::move(planted)), ahead_(threads) {}

  bool running() const { return ahead_.threads() > 0; }

  bool inflate(std::string_view& in, std::span<char>& out, bool last) override {
    // While input comes, it is taken until the window is half full, so that the pool has blocks
    // to decode; a call with no input goes as far as it can.
    const bool fed = !in.empty();
    take(in);
    for (;;) {
      check();
      if (damaged_) return false;
      if (fed && in.empty() && !last && part_ != part::text && window_.held(keep()) < window_.limit() / 2) return true;
      const step next = advance(out, last && in.empty());
      ahead_.drop_to(at_);
      switch (next) {
        case step::on:
          break;
        case step::input:
          if (in.empty()) return true;
          take(in);
          break;
        case step::room:
        case step::end:
          return true;
        case step::damage:
          damaged_ = true;
          return false;
      }
    }
  }

  bool whole() const override {
    return ended_ && !damaged_ && (part_ == part::header || part_ == part::padding) && at_ == window_.end();
  }

 private:
  enum class part { header, padding, magic, text, libbz2, after_libbz2 };
  // What a step of the reading came to: go on, more input needed, no room left for text, damage,
  // or the end of it all.
  enum class step { on, input, room, damage, end };

  // The byte from which the window must be kept.
  std::uint64_t keep() const { return (part_ == part::libbz2 || part_ == part::after_libbz2 ? at_ - 8 : at_) / 8; }

  // Takes what input the window has room for, and has the pool decode the blocks found in it.
  void take(std::string_view& in) {
    window_.take(in, keep(), at_);
    ahead_.dispatch(window_);
  }

  // One step of the reading from where it stands.
  step advance(std::span<char>& out, bool last) {
    switch (part_) {
      case part::header:
      case part::padding:
        return between_streams(last);
      case part::magic:
        return at_magic(last);
      case part::text:
        text_->expand(out);
        if (!text_->done()) return step::room;
        text_.reset();
        ahead_.recycle(std::move(coded_.coded));
        part_ = part::magic;
        return step::on;
      case part::libbz2:
        return read_by_libbz2(out, last);
      case part::after_libbz2:
        return after_libbz2(last);
    }
    return step::damage;
  }

  // A stream's header, or zero padding after the last stream, up to the end of the input.
  step between_streams(bool last) {
    if (at_ == window_.end()) return last ? step::end : step::input;
    const std::uint8_t byte = window_.from(at_ / 8).front();
    if (part_ == part::padding || byte == 0) {
      part_ = part::padding;
      if (byte != 0) return step::damage;
      at_ += 8;
      return step::on;
    }
    if (window_.end() - at_ < 32) return last ? step::damage : step::input;
    const std::span<const std::uint8_t> header = window_.from(at_ / 8).first(4);
    if (header[0] != 'B' || header[1] != 'Z' || header[2] != 'h' || header[3] < '1' || header[3] > '9')
      return step::damage;
    level_ = header[3] - '0';
    combined_ = 0;
    at_ += 32;
    part_ = part::magic;
    return step::on;
  }

  // A block's magic, or the end of the stream with its CRC.
  step at_magic(bool last) {
    if (window_.end() - at_ < magic_bits + 32) return last ? step::damage : step::input;
    const auto magic = static_cast<bzip2_magic>(window_.bits(at_, magic_bits));
    if (magic == bzip2_magic::block) return block(last);
    if (magic != bzip2_magic::end || window_.bits(at_ + magic_bits, 32) != combined_) return step::damage;
    at_ = (at_ + magic_bits + 32 + 7) / 8 * 8;
    part_ = part::header;
    ended_ = true;
    return step::on;
  }

  // The block whose magic the reading stands on, decoded by the pool, or else read by libbz2.
  step block(bool last) {
    const std::uint64_t start = at_ + magic_bits;
    const std::uint32_t max_block = 100000 * level_;
    bzip2_job* job = ahead_.first(start, max_block);
    if (job == nullptr) {
      // The block can be decoded once a magic follows it, the input has ended, or the window is full.
      const bool follows = !window_.magics().empty() && window_.magics().back().place.bit > start;
      if (!follows && !last && !window_.full(keep())) return step::input;
      job = &ahead_.submit_first(start, max_block, window_);
    }
    ahead_.wait(*job);
    if (job->block.how == decoded_block::verdict::short_of_data) {
      // Decoded again over all the window holds once that is twice as much, or all there will be.
      const std::uint64_t covered = job->first + job->bytes.size();
      const bool grown = window_.end() / 8 - covered >= job->bytes.size();
      if (!last && !window_.full(keep()) && !grown) return step::input;
      if (window_.end() / 8 > covered) {
        ahead_.recycle(ahead_.take_first().coded);
        return step::on;
      }
    }
    coded_ = ahead_.take_first();
    if (coded_.how == decoded_block::verdict::whole) {
      text_.emplace(coded_.text());
      combined_ = (combined_ << 1 | combined_ >> 31) ^ coded_.end.crc;
      at_ = coded_.end.bit;
      part_ = part::text;
      ahead_.dispatch(window_);
      return step::on;
    }
    ahead_.recycle(std::move(coded_.coded));
    stored_ = static_cast<std::uint32_t>(window_.bits(start, 32));
    libbz2_.emplace(level_);
    part_ = part::libbz2;
    return step::on;
  }

  // The block that libbz2 reads: its bytes, then its text, then the check of its CRC.
  step read_by_libbz2(std::span<char>& out, bool last) {
    if (out.empty()) return step::room;
    libbz2_block::state state = libbz2_->give(out);
    if (state == libbz2_block::state::reading) {
      // The last bits of all come padded to a byte with zeros, which only a damaged block reads.
      const std::vector<std::uint8_t> frame = window_.realigned(at_, frame_size, last);
      if (frame.empty()) return last ? step::damage : step::input;
      std::span<const std::uint8_t> rest(frame);
      state = libbz2_->read(rest);
      at_ = std::min(at_ + 8 * (frame.size() - rest.size()), window_.end());
    }
    switch (state) {
      case libbz2_block::state::reading:
        return step::on;
      case libbz2_block::state::text:
        return out.empty() ? step::room : step::on;
      case libbz2_block::state::damaged:
        return step::damage;
      case libbz2_block::state::whole:
        break;
    }
    combined_ = (combined_ << 1 | combined_ >> 31) ^ stored_;
    libbz2_.reset();
    part_ = part::after_libbz2;
    return step::on;
  }

  // The block that libbz2 read ended within the last byte it took: where a magic begins there.
  step after_libbz2(bool last) {
    if (window_.end() < at_ + magic_bits) return last ? step::damage : step::input;
    for (std::uint64_t bit = at_ - 7; bit <= at_; ++bit) {
      const auto magic = static_cast<bzip2_magic>(window_.bits(bit, magic_bits));
      if (magic == bzip2_magic::block || magic == bzip2_magic::end) {
        at_ = bit;
        part_ = part::magic;
        return step::on;
      }
    }
    return step::damage;
  }

  // Checks, in a debug build, the invariant told above.
  void check() const {
    assert(8 * window_.base() <= (part_ == part::after_libbz2 ? at_ - 7 : at_) && at_ <= window_.end());
    assert((part_ != part::header && part_ != part::padding) || at_ % 8 == 0);
    assert(text_.has_value() == (part_ == part::text));
    assert(libbz2_.has_value() == (part_ == part::libbz2));
    ahead_.check(at_);
  }

  bzip2_window window_;
  part part_ = part::header;
  std::uint64_t at_ = 0;
  unsigned level_ = 9;          // of the stream being read
  std::uint32_t combined_ = 0;  // the stream's CRC so far
  std::uint32_t stored_ = 0;    // the CRC held by the block that libbz2 reads
  bool ended_ = false;          // a stream has ended
  bool damaged_ = false;
  decoded_block coded_;             // the block taken last
  std::optional<bzip2_runs> text_;  // the expansion of its text, while it is given
  std::optional<libbz2_block> libbz2_;
  bzip2_ahead ahead_;  // last, so that its threads are stopped before the rest goes
};

}  // namespace
#endif

std::unique_ptr<inflater> bzip2_blocks([[maybe_unused]] unsigned threads,
                                       [[maybe_unused]] std::vector<std::uint64_t> planted,
                                       [[maybe_unused]] std::size_t window) {
#if ORNSUM_BZIP2
  auto blocks = std::make_unique<block_inflater>(std::min(threads, bzip2_threads), std::move(planted), window);
  if (blocks->running()) return blocks;
#endif
  return nullptr;
}
