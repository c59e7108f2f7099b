#include "inflaters.h"

#include <algorithm>
#include <cstdint>
#include <limits>
#include <new>
#include <string>

#if ORNSUM_GZIP
#include <isa-l/igzip_lib.h>
#endif
#if ORNSUM_ZSTD
#include <zstd.h>
#endif
#if ORNSUM_XZ
#include <lzma.h>
#endif
#if ORNSUM_BZIP2
#include <bzlib.h>
#endif

namespace {

#if ORNSUM_GZIP || ORNSUM_BZIP2
// Drops the zero bytes that tape or block padding leaves after the last member or stream; false
// when anything else follows them.
bool drop_padding(std::string_view& in) {
  in.remove_prefix(std::min(in.size(), in.find_first_not_of('\0')));
  return in.empty();
}
#endif

// Lengths go to the libraries in their own types; larger buffers are taken a part at a time.
template <typename Length>
Length part(std::size_t size) {
  return static_cast<Length>(std::min<std::size_t>(size, std::numeric_limits<Length>::max()));
}

#if ORNSUM_GZIP
// Whether `in` holds a gzip member header whole, or so much of one that more would not help.
bool gzip_header_whole(std::string_view in) {
  constexpr std::size_t enough = std::size_t{64} * 1024;
  enum : unsigned char { fhcrc = 2, fextra = 4, fname = 8, fcomment = 16 };
  std::size_t end = 10;
  if (in.size() >= enough) return true;
  if (in.size() < end) return false;
  const auto flags = static_cast<unsigned char>(in[3]);
  if ((flags & fextra) != 0) {
    if (in.size() < end + 2) return false;
    end += 2 + static_cast<unsigned char>(in[end]) +
           256 * static_cast<std::size_t>(static_cast<unsigned char>(in[end + 1]));
  }
  for (unsigned char text : {fname, fcomment}) {
    if ((flags & text) == 0) continue;
    const std::size_t zero = in.find('\0', end);
    if (zero == std::string_view::npos) return false;
    end = zero + 1;
  }
  if ((flags & fhcrc) != 0) end += 2;
  return in.size() >= end;
}

// gzip through ISA-L's igzip, which checks each member's CRC and length. igzip misreads a member
// header that reaches it split over two calls, so it is given each header whole.
class gzip_inflater final : public inflater {
 public:
  gzip_inflater() { start(); }

  bool inflate(std::string_view& in, std::span<char>& out, bool last) override {
    if (whole()) {
      if (padded_ || (!in.empty() && in.front() == '\0')) {
        padded_ = true;
        return drop_padding(in);
      }
      if (in.empty()) return true;
      start();
    }
    if (header_ && !last && !gzip_header_whole(in)) return true;
    header_ = false;
    state_.next_in = reinterpret_cast<std::uint8_t*>(const_cast<char*>(in.data()));
    state_.avail_in = part<std::uint32_t>(in.size());
    state_.next_out = reinterpret_cast<std::uint8_t*>(out.data());
    state_.avail_out = part<std::uint32_t>(out.size());
    const std::uint32_t had_in = state_.avail_in;
    const std::uint32_t had_out = state_.avail_out;
    const int result = isal_inflate(&state_);
    in.remove_prefix(had_in - state_.avail_in);
    out = out.subspan(had_out - state_.avail_out);
    return result == ISAL_DECOMP_OK;
  }

  bool whole() const override { return state_.block_state == ISAL_BLOCK_FINISH; }

 private:
  void start() {
    isal_inflate_init(&state_);
    state_.crc_flag = ISAL_GZIP;
    header_ = true;
  }

  inflate_state state_{};
  bool header_ = true;   // the member's header has not yet gone to igzip
  bool padded_ = false;  // zero bytes followed the last member
};
#endif

#if ORNSUM_ZSTD
// zstd frames, one after another, with skippable frames among them.
class zstd_inflater final : public inflater {
 public:
  // The zstd tool's own limit when it decompresses: windows up to 128 MiB, as --long and the
  // --ultra levels make them. A frame that needs more is refused, so that memory stays bounded
  // whatever a header claims.
  static constexpr int window_log_max = 27;

  zstd_inflater() : context_(ZSTD_createDCtx()) {
    if (context_ == nullptr) throw std::bad_alloc();
    ZSTD_DCtx_setParameter(context_.get(), ZSTD_d_windowLogMax, window_log_max);
  }

  bool inflate(std::string_view& in, std::span<char>& out, bool /*last*/) override {
    ZSTD_inBuffer from{in.data(), in.size(), 0};
    ZSTD_outBuffer to{out.data(), out.size(), 0};
    const std::size_t result = ZSTD_decompressStream(context_.get(), &to, &from);
    in.remove_prefix(from.pos);
    out = out.subspan(to.pos);
    if (ZSTD_isError(result) != 0) return false;
    if (from.pos > 0 || to.pos > 0) whole_ = result == 0;
    return true;
  }

  bool whole() const override { return whole_; }

 private:
  struct free_context {
    void operator()(ZSTD_DCtx* context) const { ZSTD_freeDCtx(context); }
  };
  std::unique_ptr<ZSTD_DCtx, free_context> context_;
  bool whole_ = false;
};
#endif

#if ORNSUM_XZ
// xz streams, one after another, as xzcat reads them.
class xz_inflater final : public inflater {
 public:
  // xz -9 needs 65 MiB to decode; a stream that needs more than this is refused.
  static constexpr std::uint64_t memory_limit = std::uint64_t{80} << 20;

  xz_inflater() {
    if (lzma_stream_decoder(&stream_, memory_limit, LZMA_CONCATENATED) != LZMA_OK) throw std::bad_alloc();
  }
  ~xz_inflater() override { lzma_end(&stream_); }
  xz_inflater(const xz_inflater&) = delete;
  xz_inflater& operator=(const xz_inflater&) = delete;

  bool inflate(std::string_view& in, std::span<char>& out, bool last) override {
    stream_.next_in = reinterpret_cast<const std::uint8_t*>(in.data());
    stream_.avail_in = in.size();
    stream_.next_out = reinterpret_cast<std::uint8_t*>(out.data());
    stream_.avail_out = out.size();
    const lzma_ret result = lzma_code(&stream_, last ? LZMA_FINISH : LZMA_RUN);
    in.remove_prefix(in.size() - stream_.avail_in);
    out = out.subspan(out.size() - stream_.avail_out);
    whole_ = result == LZMA_STREAM_END;
    // A buffer error means no progress was possible; whether that is an end, whole() tells.
    return result == LZMA_OK || result == LZMA_STREAM_END || result == LZMA_BUF_ERROR;
  }

  bool whole() const override { return whole_; }

 private:
  lzma_stream stream_ = LZMA_STREAM_INIT;
  bool whole_ = false;
};
#endif

#if ORNSUM_BZIP2
// bzip2 streams, one after another, as bzcat reads them.
class bzip2_inflater final : public inflater {
 public:
  bzip2_inflater() { start(); }
  ~bzip2_inflater() override { BZ2_bzDecompressEnd(&stream_); }
  bzip2_inflater(const bzip2_inflater&) = delete;
  bzip2_inflater& operator=(const bzip2_inflater&) = delete;

  bool inflate(std::string_view& in, std::span<char>& out, bool /*last*/) override {
    if (whole_) {
      if (padded_ || (!in.empty() && in.front() == '\0')) {
        padded_ = true;
        return drop_padding(in);
      }
      if (in.empty()) return true;
      BZ2_bzDecompressEnd(&stream_);
      start();
    }
    stream_.next_in = const_cast<char*>(in.data());
    stream_.avail_in = part<unsigned>(in.size());
    stream_.next_out = out.data();
    stream_.avail_out = part<unsigned>(out.size());
    const unsigned had_in = stream_.avail_in;
    const unsigned had_out = stream_.avail_out;
    const int result = BZ2_bzDecompress(&stream_);
    in.remove_prefix(had_in - stream_.avail_in);
    out = out.subspan(had_out - stream_.avail_out);
    whole_ = result == BZ_STREAM_END;
    return result == BZ_OK || result == BZ_STREAM_END;
  }

  bool whole() const override { return whole_; }

 private:
  void start() {
    stream_ = bz_stream{};
    if (BZ2_bzDecompressInit(&stream_, 0, 0) != BZ_OK) throw std::bad_alloc();
    whole_ = false;
  }

  bz_stream stream_{};
  bool whole_ = false;
  bool padded_ = false;  // zero bytes followed the last stream
};
#endif

}  // namespace

std::unique_ptr<inflater> inflater_for(compression format) {
  switch (format) {
#if ORNSUM_GZIP
    case compression::gzip:
      return std::make_unique<gzip_inflater>();
#endif
#if ORNSUM_ZSTD
    case compression::zstd:
      return std::make_unique<zstd_inflater>();
#endif
#if ORNSUM_XZ
    case compression::xz:
      return std::make_unique<xz_inflater>();
#endif
#if ORNSUM_BZIP2
    case compression::bzip2:
      return std::make_unique<bzip2_inflater>();
#endif
    default:
      return nullptr;
  }
}
