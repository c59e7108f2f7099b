// The blocks of bzip2 streams decoded ahead of their reading, on a pool of threads.
#include "read/bzip2/ahead.h"

#include <algorithm>
#include <cassert>
#include <utility>

namespace {

// The jobs not yet taken sort as many bytes as this many blocks of the largest level: one a
// thread, and one more whose text waits for the reading while each thread decodes another. Blocks
// of lower levels are smaller, and more of them are decoded ahead.
constexpr std::uint64_t blocks_ahead = 1;
constexpr std::uint64_t largest_block = 900000;

}  // namespace

void bzip2_ahead::dispatch(const bzip2_window& window) {
  const std::uint64_t most = (pool_.threads() + blocks_ahead) * largest_block;
  const std::deque<found_magic>& magics = window.magics();
  auto next = std::partition_point(magics.begin(), magics.end(),
                                   [this](const found_magic& m) { return m.place.bit <= dispatched_; });
  for (; next != magics.end() && next + 1 != magics.end() && sorting_ + std::uint64_t{100000} * next->level <= most;
       ++next)
    if (next->place.kind == bzip2_magic::block)
      submit(next->place.bit, 100000 * next->level, window, (next[1].place.bit + 7) / 8, false);
}

void bzip2_ahead::drop_to(std::uint64_t bit) {
  while (!jobs_.empty() && jobs_.front()->start <= bit) drop_first();
}

bzip2_job* bzip2_ahead::first(std::uint64_t start, std::uint32_t max_block) {
  while (!jobs_.empty() &&
         (jobs_.front()->start < start || (jobs_.front()->start == start && jobs_.front()->max_block != max_block)))
    drop_first();
  return !jobs_.empty() && jobs_.front()->start == start ? jobs_.front().get() : nullptr;
}

bzip2_job& bzip2_ahead::submit_first(std::uint64_t start, std::uint32_t max_block, const bzip2_window& window) {
  return submit(start, max_block, window, window.end() / 8, true);
}

decoded_block bzip2_ahead::take_first() {
  pool_.wait(*jobs_.front());
  decoded_block block = std::move(jobs_.front()->block);
  sorting_ -= jobs_.front()->max_block;
  jobs_.pop_front();
  return block;
}

bzip2_job& bzip2_ahead::submit(std::uint64_t start, std::uint32_t max_block, const bzip2_window& window,
                               std::uint64_t past, bool first) {
  auto job = std::make_shared<bzip2_job>();
  job->start = start;
  job->max_block = max_block;
  job->first = start / 8;
  const std::span<const std::uint8_t> bytes = window.from(job->first).first(past - job->first);
  job->bytes.assign(bytes.begin(), bytes.end());
  if (!spare_.empty()) {
    job->room = std::move(spare_.back());
    spare_.pop_back();
  }
  pool_.submit(job, first);
  sorting_ += max_block;
  dispatched_ = std::max(dispatched_, start);
  return *(first ? jobs_.emplace_front(std::move(job)) : jobs_.emplace_back(std::move(job)));
}

void bzip2_ahead::drop_first() {
  pool_.drop(jobs_.front());
  sorting_ -= jobs_.front()->max_block;
  jobs_.pop_front();
}

void bzip2_ahead::check([[maybe_unused]] std::uint64_t at) const {
  assert(sorting_ <= (pool_.threads() + blocks_ahead + 1) * largest_block);
  assert(std::adjacent_find(jobs_.begin(), jobs_.end(),
                            [](const auto& a, const auto& b) { return a->start >= b->start; }) == jobs_.end());
  assert(jobs_.empty() || jobs_.front()->start > at);
}
