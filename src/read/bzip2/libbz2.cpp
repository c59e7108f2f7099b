// One bzip2 block read by libbz2, framed as a stream of its own.
#include "read/bzip2/libbz2.h"

#include <array>
#include <new>

#include "read/inflaters.h"

#if ORNSUM_BZIP2
libbz2_block::libbz2_block(unsigned level) {
  if (BZ2_bzDecompressInit(&stream_, 0, 0) != BZ_OK) throw std::bad_alloc();
  std::array<char, 4> header = {'B', 'Z', 'h', static_cast<char>('0' + level)};
  stream_.next_in = header.data();
  stream_.avail_in = header.size();
  stream_.avail_out = 0;
  run();
}

libbz2_block::~libbz2_block() { BZ2_bzDecompressEnd(&stream_); }

libbz2_block::state libbz2_block::read(std::span<const std::uint8_t>& frame) {
  if (state_ != state::reading) return state_;
  // With no room for text, libbz2 stops taking bytes once it has the block: what it leaves is not
  // the block's.
  stream_.next_in = const_cast<char*>(reinterpret_cast<const char*>(frame.data()));
  stream_.avail_in = part_of<unsigned>(frame.size());
  stream_.avail_out = 0;
  const unsigned had = stream_.avail_in;
  run();
  frame = frame.subspan(had - stream_.avail_in);
  if (state_ == state::reading && stream_.avail_in > 0) state_ = state::text;
  return state_;
}

libbz2_block::state libbz2_block::give(std::span<char>& out) {
  if ((state_ != state::reading && state_ != state::text) || out.empty()) return state_;
  stream_.next_in = nullptr;
  stream_.avail_in = 0;
  stream_.next_out = out.data();
  stream_.avail_out = part_of<unsigned>(out.size());
  const unsigned had = stream_.avail_out;
  run();
  out = out.subspan(had - stream_.avail_out);
  gave_ = gave_ || stream_.avail_out < had;
  if (state_ == state::damaged) return state_;
  // Past the text, libbz2 waits for the magic after the block, its room for text left unfilled.
  if (stream_.avail_out > 0)
    state_ = gave_ ? state::whole : state::reading;
  else
    state_ = state::text;
  return state_;
}

libbz2_block::state libbz2_block::run() {
  const int result = BZ2_bzDecompress(&stream_);
  if (result == BZ_MEM_ERROR) throw std::bad_alloc();
  if (result != BZ_OK) state_ = state::damaged;
  return state_;
}
#else
libbz2_block::libbz2_block(unsigned /*level*/) { state_ = state::damaged; }
libbz2_block::~libbz2_block() = default;
libbz2_block::state libbz2_block::read(std::span<const std::uint8_t>& /*frame*/) { return state_; }
libbz2_block::state libbz2_block::give(std::span<char>& /*out*/) { return state_; }
libbz2_block::state libbz2_block::run() { return state_; }
#endif
