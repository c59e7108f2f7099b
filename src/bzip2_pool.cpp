// Threads that decode bzip2 blocks ahead of the reading of their stream.
#include "bzip2_pool.h"

#include <algorithm>
#include <new>
#include <system_error>

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

void bzip2_pool::submit(bzip2_job& job) {
  const std::lock_guard held(lock_);
  queue_.push_back(&job);
  changed_.notify_all();
}

void bzip2_pool::done(const bzip2_job& job) {
  std::unique_lock held(lock_);
  changed_.wait(held, [&] { return job.decoded; });
}

void bzip2_pool::drop(const bzip2_job& job) {
  std::unique_lock held(lock_);
  const auto queued = std::find(queue_.begin(), queue_.end(), &job);
  if (queued != queue_.end()) {
    queue_.erase(queued);
    return;
  }
  changed_.wait(held, [&] { return job.decoded; });
}

void bzip2_pool::work(const std::stop_token& stop) {
  bzip2_block_decoder decoder;
  std::unique_lock held(lock_);
  while (changed_.wait(held, stop, [this] { return !queue_.empty(); })) {
    bzip2_job& job = *queue_.front();
    queue_.pop_front();
    held.unlock();
    std::optional<block_end> end;
    std::string text;
    try {
      end = decoder.decode(job.bytes, job.start - 8 * job.first, job.max_block, text);
    } catch (const std::bad_alloc&) {
      // Left undecoded: the reading decodes the block itself, where memory may run out for good.
      text.clear();
    }
    if (end) end->bit += 8 * job.first;
    held.lock();
    job.end = end;
    job.text = std::move(text);
    job.decoded = true;
    changed_.notify_all();
  }
}
