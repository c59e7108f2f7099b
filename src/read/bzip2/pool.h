// Threads that decode bzip2 blocks ahead of the reading of their stream.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <stop_token>
#include <thread>
#include <vector>

#include "read/bzip2/block.h"

// A block to decode where a magic was found, and once decoded, what it decoded to.
struct bzip2_job {
  std::uint64_t start = 0;          // the bit of the stream just after the magic
  std::uint32_t max_block = 0;      // 100000 times the level of the stream it was found in
  std::uint64_t first = 0;          // the byte of the stream that bytes begins with
  std::vector<std::uint8_t> bytes;  // from the byte that holds start on
  std::vector<std::uint8_t> room;   // memory for its text, of a block read before
  decoded_block block;              // its end in bits of the stream; under the pool's lock
  bool decoded = false;             // under the pool's lock
};

// Threads that decode jobs in the order given, each with a decoder of its own.
class bzip2_pool {
 public:
  // Starts up to `threads` threads; none at all when no thread can be started.
  explicit bzip2_pool(unsigned threads);
  ~bzip2_pool();
  bzip2_pool(const bzip2_pool&) = delete;
  bzip2_pool& operator=(const bzip2_pool&) = delete;

  // How many threads run.
  unsigned threads() const { return static_cast<unsigned>(threads_.size()); }
  // Has a thread decode the job, before those given earlier when `first`.
  void submit(std::shared_ptr<bzip2_job> job, bool first);
  // Waits until the job is decoded.
  void wait(const bzip2_job& job);
  // Takes the job off the queue if no thread has begun it; one that has is let finish alone.
  void drop(const std::shared_ptr<bzip2_job>& job);

 private:
  void work(const std::stop_token& stop);

  std::mutex lock_;
  std::condition_variable_any changed_;
  std::deque<std::shared_ptr<bzip2_job>> queue_;
  std::vector<std::jthread> threads_;  // last, so that they are stopped and joined first
};
