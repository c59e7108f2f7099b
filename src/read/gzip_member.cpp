// One gzip member: its header read here in constant memory, its body and trailer by igzip.
#include "read/gzip_member.h"

#if ORNSUM_GZIP
#include <isa-l/crc.h>
#include <isa-l/igzip_lib.h>
#endif

#include <algorithm>
#include <cstdint>
#include <string_view>

#if ORNSUM_GZIP
namespace {

// A gzip member header, read as its bytes come, with its CRC checked where it has one.
class gzip_header {
 public:
  // Reads header bytes from the front of `in`, dropping them: false when they begin no gzip
  // header, or one that gzip refuses.
  bool read(std::string_view& in);
  // Whether the whole header has been read.
  bool done() const { return part_ == part::done; }

 private:
  // The parts of a header in their order; all but the fixed bytes are there when the flags say.
  enum class part { fixed, extra_length, extra, name, comment, check, done };
  enum : std::uint8_t { fhcrc = 2, fextra = 4, fname = 8, fcomment = 16, known = 31 };

  // Whether the fixed bytes read so far are as gzip requires: its magic, deflate, no reserved flag.
  bool fixed_fits() const;
  // Ends the part just read: false when it is wrong.
  bool finish_part();

  part part_ = part::fixed;
  std::uint8_t bytes_[10]{};            // the fixed bytes, or the two of the extra length or the check
  std::size_t length_ = sizeof bytes_;  // bytes in the part, when it has a fixed length
  std::size_t had_ = 0;                 // bytes of the part read
  std::uint8_t flags_ = 0;
  std::uint32_t crc_ = 0;  // of the bytes before the check
};

bool gzip_header::read(std::string_view& in) {
  while (!in.empty() && part_ != part::done) {
    const auto* data = reinterpret_cast<const std::uint8_t*>(in.data());
    const bool text = part_ == part::name || part_ == part::comment;
    const std::size_t zero = text ? in.find('\0') : std::string_view::npos;
    const bool ends = text ? zero != std::string_view::npos : in.size() >= length_ - had_;
    std::size_t n = in.size();
    if (ends) n = text ? zero + 1 : length_ - had_;
    if (part_ != part::extra && !text) std::copy_n(data, n, bytes_ + had_);
    if (part_ != part::check) crc_ = crc32_gzip_refl(crc_, data, n);
    had_ += n;
    in.remove_prefix(n);
    if (part_ == part::fixed && !fixed_fits()) return false;
    if (ends && !finish_part()) return false;
  }
  return true;
}

bool gzip_header::fixed_fits() const {
  constexpr std::uint8_t low[] = {0x1f, 0x8b, 8, 0};
  constexpr std::uint8_t high[] = {0x1f, 0x8b, 8, known};
  for (std::size_t i = 0; i < std::min<std::size_t>(had_, 4); ++i)
    if (bytes_[i] < low[i] || bytes_[i] > high[i]) return false;
  return true;
}

bool gzip_header::finish_part() {
  const unsigned two = bytes_[0] | static_cast<unsigned>(bytes_[1]) << 8;
  if (part_ == part::fixed) flags_ = bytes_[3];
  if (part_ == part::check && two != (crc_ & 0xffff)) return false;
  const std::size_t extra = part_ == part::extra_length ? two : 0;
  had_ = 0;
  length_ = 2;
  for (;;) {
    part_ = static_cast<part>(static_cast<int>(part_) + 1);
    switch (part_) {
      case part::extra_length:
        if ((flags_ & fextra) != 0) return true;
        break;
      case part::extra:
        length_ = extra;
        if (extra > 0) return true;
        break;
      case part::name:
        if ((flags_ & fname) != 0) return true;
        break;
      case part::comment:
        if ((flags_ & fcomment) != 0) return true;
        break;
      case part::check:
        length_ = 2;
        if ((flags_ & fhcrc) != 0) return true;
        break;
      default:
        return true;
    }
  }
}

// A member: its header, then igzip on the deflate body, which checks the trailer's CRC and length.
class member final : public inflater {
 public:
  member() {
    isal_inflate_init(&state_);
    state_.crc_flag = ISAL_GZIP_NO_HDR_VER;
  }

  bool inflate(std::string_view& in, std::span<char>& out, bool /*last*/) override {
    if (!header_.read(in)) return false;
    if (!header_.done()) return true;
    state_.next_in = reinterpret_cast<std::uint8_t*>(const_cast<char*>(in.data()));
    state_.avail_in = part_of<std::uint32_t>(in.size());
    state_.next_out = reinterpret_cast<std::uint8_t*>(out.data());
    state_.avail_out = part_of<std::uint32_t>(out.size());
    const std::uint32_t had_in = state_.avail_in;
    const std::uint32_t had_out = state_.avail_out;
    const int result = isal_inflate(&state_);
    in.remove_prefix(had_in - state_.avail_in);
    out = out.subspan(had_out - state_.avail_out);
    return result == ISAL_DECOMP_OK;
  }

  bool whole() const override { return state_.block_state == ISAL_BLOCK_FINISH; }

 private:
  gzip_header header_;
  inflate_state state_{};
};

}  // namespace
#endif

std::unique_ptr<inflater> gzip_member() {
#if ORNSUM_GZIP
  return std::make_unique<member>();
#else
  return nullptr;
#endif
}
