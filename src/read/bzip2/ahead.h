// The blocks of bzip2 streams decoded ahead of their reading, on a pool of threads.
#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <vector>

#include "read/bzip2/pool.h"
#include "read/bzip2/window.h"

// Jobs given to the pool as the magics of blocks are found, kept in the order of the bits their
// blocks begin at, until the reading takes or drops them. Each holds its bytes and, once decoded,
// a block's text with runs still coded: the jobs not yet taken sort, and hold, at most as much as
// a block of the largest level for each thread and one more.
class bzip2_ahead {
 public:
  explicit bzip2_ahead(unsigned threads) : pool_(threads) {}

  // How many threads decode.
  unsigned threads() const { return pool_.threads(); }
  // Has the pool decode the blocks whose next magic the window holds, after those given before.
  void dispatch(const bzip2_window& window);
  // Drops the jobs of blocks that begin at bit `bit` or before: false magics the reading passed.
  void drop_to(std::uint64_t bit);
  // The job of the block that begins at bit `start` in a stream of max_block, when one was given;
  // drops the jobs before it, and one of another level.
  bzip2_job* first(std::uint64_t start, std::uint32_t max_block);
  // Has the pool decode the block that begins at bit `start` from all the window holds, before any
  // other job.
  bzip2_job& submit_first(std::uint64_t start, std::uint32_t max_block, const bzip2_window& window);
  // Waits until the job is decoded.
  void wait(const bzip2_job& job) { pool_.wait(job); }
  // Takes the first job, decoded, off the jobs.
  decoded_block take_first();
  // Keeps the memory of a block's text, given, for the text of another.
  void recycle(std::vector<std::uint8_t> memory) { spare_.push_back(std::move(memory)); }
  // Checks, in a debug build, that the jobs come in order after bit `at`, and no more than allowed.
  void check(std::uint64_t at) const;

 private:
  // Has the pool decode the block that begins at bit `start` from the window's bytes up to byte
  // `past`.
  bzip2_job& submit(std::uint64_t start, std::uint32_t max_block, const bzip2_window& window, std::uint64_t past,
                    bool first);
  // Drops the first job.
  void drop_first();

  std::deque<std::shared_ptr<bzip2_job>> jobs_;
  std::uint64_t dispatched_ = 0;                  // the start of the last block given to the pool
  std::uint64_t sorting_ = 0;                     // the bytes that the jobs' blocks may sort
  std::vector<std::vector<std::uint8_t>> spare_;  // memory for texts, of blocks given
  bzip2_pool pool_;                               // last, so that its threads stop before the jobs go
};
