// xz streams, read with liblzma under a memory limit.
#include "lzma_inflaters.h"

#include <cstdint>
#include <new>

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

// xz streams one after another.
class xz_inflater final : public lzma_inflater {
 public:
  xz_inflater() : lzma_inflater(true) {
    if (lzma_stream_decoder(&stream_, lzma_memory_limit, LZMA_CONCATENATED) != LZMA_OK) throw std::bad_alloc();
  }
};

}  // namespace
#endif

std::unique_ptr<inflater> xz_streams() {
#if ORNSUM_XZ
  return std::make_unique<xz_inflater>();
#else
  return nullptr;
#endif
}
