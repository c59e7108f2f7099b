// The inflater of each format; streams one after another; zstd, bzip2 and lz4.
#include "read/inflaters.h"

#include <cstdint>
#include <new>

#include "read/bzip2/streams.h"
#include "read/gzip_member.h"
#include "read/lzma_inflaters.h"

#if ORNSUM_ZSTD
#include <zstd.h>
#endif
#if ORNSUM_BZIP2
#include <bzlib.h>
#endif
#if ORNSUM_LZ4
#include <lz4frame.h>
#endif

namespace {

// Streams of a format whose decoder reads one, each read by an inflater of its own. Zero bytes
// after the last are padding where the format's own tools read them so: tape and block padding.
class one_after_another final : public inflater {
 public:
  using make = std::unique_ptr<inflater> (*)();

  one_after_another(make next, std::unique_ptr<inflater> first, bool padding)
      : next_(next), current_(std::move(first)), padding_(padding) {}

  bool inflate(std::string_view& in, std::span<char>& out, bool last) override {
    if (current_->whole()) {
      if (padded_ || (padding_ && !in.empty() && in.front() == '\0')) {
        padded_ = true;
        in.remove_prefix(std::min(in.size(), in.find_first_not_of('\0')));
        return in.empty();
      }
      if (in.empty()) return true;
      current_ = next_();
    }
    return current_->inflate(in, out, last);
  }

  bool whole() const override { return current_->whole(); }

 private:
  make next_;
  std::unique_ptr<inflater> current_;
  bool padding_;
  bool padded_ = false;  // zero bytes followed the last stream
};

// The inflater of streams one after another, or none when this build reads no such streams.
std::unique_ptr<inflater> each_of(one_after_another::make next, bool padding) {
  std::unique_ptr<inflater> first = next();
  if (!first) return nullptr;
  return std::make_unique<one_after_another>(next, std::move(first), padding);
}

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

#if ORNSUM_BZIP2
// One bzip2 stream.
class bzip2_stream final : public inflater {
 public:
  bzip2_stream() {
    if (BZ2_bzDecompressInit(&stream_, 0, 0) != BZ_OK) throw std::bad_alloc();
  }
  ~bzip2_stream() override { BZ2_bzDecompressEnd(&stream_); }
  bzip2_stream(const bzip2_stream&) = delete;
  bzip2_stream& operator=(const bzip2_stream&) = delete;

  bool inflate(std::string_view& in, std::span<char>& out, bool /*last*/) override {
    stream_.next_in = const_cast<char*>(in.data());
    stream_.avail_in = part_of<unsigned>(in.size());
    stream_.next_out = out.data();
    stream_.avail_out = part_of<unsigned>(out.size());
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
  bz_stream stream_{};
  bool whole_ = false;
};
#endif

#if ORNSUM_LZ4
// lz4 frames one after another, with skippable frames among them, as lz4 -d reads them. A block
// holds 4 MiB at the most, so that memory stays bounded by the format itself.
class lz4_inflater final : public inflater {
 public:
  lz4_inflater() {
    LZ4F_dctx* context = nullptr;
    if (LZ4F_isError(LZ4F_createDecompressionContext(&context, LZ4F_VERSION)) != 0) throw std::bad_alloc();
    context_.reset(context);
  }

  bool inflate(std::string_view& in, std::span<char>& out, bool /*last*/) override {
    std::size_t from = in.size();
    std::size_t to = out.size();
    const std::size_t result = LZ4F_decompress(context_.get(), out.data(), &to, in.data(), &from, nullptr);
    in.remove_prefix(from);
    out = out.subspan(to);
    if (LZ4F_isError(result) != 0) return false;
    if (from > 0 || to > 0) whole_ = result == 0;
    return true;
  }

  bool whole() const override { return whole_; }

 private:
  struct free_context {
    void operator()(LZ4F_dctx* context) const { LZ4F_freeDecompressionContext(context); }
  };
  std::unique_ptr<LZ4F_dctx, free_context> context_;
  bool whole_ = false;
};
#endif

// A fresh inflater of the class, for a format read with it.
template <typename Inflater>
std::unique_ptr<inflater> fresh() {
  return std::make_unique<Inflater>();
}

}  // namespace

std::unique_ptr<inflater> inflater_for(compression format, unsigned threads) {
  switch (format) {
    case compression::gzip:
      return each_of(gzip_member, true);
#if ORNSUM_ZSTD
    case compression::zstd:
      return fresh<zstd_inflater>();
#endif
    case compression::xz:
      return xz_streams(threads);
#if ORNSUM_BZIP2
    case compression::bzip2:
      if (std::unique_ptr<inflater> blocks = threads > 1 ? bzip2_blocks(threads) : nullptr) return blocks;
      return each_of(fresh<bzip2_stream>, true);
#endif
#if ORNSUM_LZ4
    case compression::lz4:
      return fresh<lz4_inflater>();
#endif
    case compression::lzip:
      return each_of(lzip_member, false);
    case compression::lzma:
      return each_of(legacy_lzma_stream, false);
    default:
      return nullptr;
  }
}
