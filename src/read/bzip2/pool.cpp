// Threads that decode bzip2 blocks ahead of the reading of their stream.
#include "read/bzip2/pool.h"

#include <algorithm>
#include <new>
#include <system_error>
#include <utility>

bzip2_pool::bzip2_pool(unsigned threads) {
  threads_.reserve(threads);
  for (unsigned i = 0; i < threads; ++i) {
    try {
      threads_.emplace_back([this](const std::stop_token& stop) { work(stop); });
    } catch (const std::system_error&) {
      break;
    }
  }
}

bzip2_pool::~bzip2_pool() {
  for (std::jthread& thread : threads_) thread.request_stop();
}

void bzip2_pool::submit(std::shared_ptr<bzip2_job> job, bool first) {
  const std::lock_guard held(lock_);
  if (first)
    queue_.push_front(std::move(job));
  else
    queue_.push_back(std::move(job));
  changed_.notify_all();
}

void bzip2_pool::wait(const bzip2_job& job) {
  std::unique_lock held(lock_);
  changed_.wait(held, [&] { return job.decoded; });
}

void bzip2_pool::drop(const std::shared_ptr<bzip2_job>& job) {
  const std::lock_guard held(lock_);
  const auto queued = std::find(queue_.begin(), queue_.end(), job);
  if (queued != queue_.end()) queue_.erase(queued);
}

void bzip2_pool::work(const std::stop_token& stop) {
  bzip2_block_decoder decoder;
  std::unique_lock held(lock_);
  while (changed_.wait(held, stop, [this] { return !queue_.empty(); })) {
    const std::shared_ptr<bzip2_job> job = std::move(queue_.front());
    queue_.pop_front();
    held.unlock();
    decoded_block block;
    try {
      block = decoder.decode(job->bytes, job->start - 8 * job->first, job->max_block, std::move(job->room));
    } catch (const std::bad_alloc&) {
      // Left refused: the reading gives the block to libbz2, where memory may run out for good.
      block = {};
    }
    block.end.bit += 8 * job->first;
    held.lock();
    job->block = std::move(block);
    job->decoded = true;
    changed_.notify_all();
  }
}
