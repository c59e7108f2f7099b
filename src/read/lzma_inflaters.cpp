// xz, lzip and legacy .lzma streams, read with liblzma under one memory limit.
#include "read/lzma_inflaters.h"

#include <cstdint>
#include <new>
#include <string>

#if ORNSUM_XZ
#include <lzma.h>
#endif

#if ORNSUM_XZ
namespace {

// A stream that liblzma decodes; `concatenated` when liblzma reads the streams that follow it too.
class lzma_inflater : public inflater {
 public:
  explicit lzma_inflater(bool concatenated) : concatenated_(concatenated) {}
  ~lzma_inflater() override { lzma_end(&stream_); }
  lzma_inflater(const lzma_inflater&) = delete;
  lzma_inflater& operator=(const lzma_inflater&) = delete;

  bool inflate(std::string_view& in, std::span<char>& out, bool last) override {
    stream_.next_in = reinterpret_cast<const std::uint8_t*>(in.data());
    stream_.avail_in = in.size();
    stream_.next_out = reinterpret_cast<std::uint8_t*>(out.data());
    stream_.avail_out = out.size();
    const lzma_ret result = lzma_code(&stream_, last ? LZMA_FINISH : LZMA_RUN);
    in.remove_prefix(in.size() - stream_.avail_in);
    out = out.subspan(out.size() - stream_.avail_out);
    whole_ = result == LZMA_STREAM_END;
    // Bytes after the last stream that begin none; a lone stream leaves the next one to its caller.
    if (whole_ && concatenated_ && !in.empty()) return false;
    // A buffer error means no progress was possible; whether that is an end, whole() tells.
    return result == LZMA_OK || result == LZMA_STREAM_END || result == LZMA_BUF_ERROR;
  }

  bool whole() const override { return whole_; }

 protected:
  lzma_stream stream_ = LZMA_STREAM_INIT;

 private:
  bool concatenated_;
  bool whole_ = false;
};

// xz streams one after another, their blocks on several threads where the stream allows it.
class xz_inflater final : public lzma_inflater {
 public:
  explicit xz_inflater([[maybe_unused]] unsigned threads) : lzma_inflater(true) {
#if LZMA_VERSION >= 50040002
    if (threads > 1) {
      // No timeout: a call returns only once it has used all its input or filled its output, so
      // that a call without progress still means the end of the input.
      lzma_mt options{};
      options.flags = LZMA_CONCATENATED;
      options.threads = threads;
      options.memlimit_threading = xz_threads_memory;
      options.memlimit_stop = lzma_memory_limit;
      if (lzma_stream_decoder_mt(&stream_, &options) != LZMA_OK) throw std::bad_alloc();
      return;
    }
#endif
    if (lzma_stream_decoder(&stream_, lzma_memory_limit, LZMA_CONCATENATED) != LZMA_OK) throw std::bad_alloc();
  }
};

#if LZMA_VERSION >= 50040002
// One lzip member. liblzma's own reading of members one after another takes up to three bytes
// that begin a magic after the last member for the start of none, so each member gets a decoder.
class lzip_inflater final : public lzma_inflater {
 public:
  lzip_inflater() : lzma_inflater(false) {
    if (lzma_lzip_decoder(&stream_, lzma_memory_limit, 0) != LZMA_OK) throw std::bad_alloc();
  }
};
#endif

// One legacy .lzma stream. Its header has no magic, so that of a stream after the first must be
// as plausible as the first's was, or it is damage.
class lzma_alone_inflater final : public lzma_inflater {
 public:
  lzma_alone_inflater() : lzma_inflater(false) {
    if (lzma_alone_decoder(&stream_, lzma_memory_limit) != LZMA_OK) throw std::bad_alloc();
  }

  bool inflate(std::string_view& in, std::span<char>& out, bool last) override {
    if (header_.size() < signature_size) {
      const std::size_t n = std::min(in.size(), signature_size - header_.size());
      header_.append(in.substr(0, n));
      in.remove_prefix(n);
      if (header_.size() < signature_size) return true;
      if (!lzma_header_plausible(header_)) return false;
      std::string_view header(header_);
      if (!lzma_inflater::inflate(header, out, false) || !header.empty()) return false;
    }
    return lzma_inflater::inflate(in, out, last);
  }

 private:
  std::string header_;  // the header's bytes, up to signature_size
};

}  // namespace
#endif

std::unique_ptr<inflater> xz_streams([[maybe_unused]] unsigned threads) {
#if ORNSUM_XZ
  return std::make_unique<xz_inflater>(threads);
#else
  return nullptr;
#endif
}

std::unique_ptr<inflater> lzip_member() {
#if ORNSUM_XZ && LZMA_VERSION >= 50040002
  return std::make_unique<lzip_inflater>();
#else
  return nullptr;
#endif
}

std::unique_ptr<inflater> legacy_lzma_stream() {
#if ORNSUM_XZ
  return std::make_unique<lzma_alone_inflater>();
#else
  return nullptr;
#endif
}
