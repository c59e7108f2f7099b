// The node table: per-address totals in order of first appearance, found through a hash index.
#include "nodes.h"

#include <functional>
#include <new>

namespace {

std::uint64_t hash_of(std::string_view address) { return std::hash<std::string_view>{}(address); }

std::uint64_t tag_of(std::uint64_t hash) { return hash & 0xFFFFFFFF00000000u; }

constexpr std::uint64_t position_mask = 0xFFFFFFFFu;

}  // namespace

void node_table::add_node_bytes(std::string_view address, total sent, total rcvd) {
  if (waiting_ == queue_size) {
    settle(queue_[(queued_ - waiting_) % queue_size]);
    --waiting_;
  }
  arrival& a = queue_[queued_ % queue_size];
  a.address.assign(address);
  a.hash = hash_of(address);
  a.sent = sent;
  a.rcvd = rcvd;
  ++queued_;
  ++waiting_;
  if (slots_.empty()) return;
  const std::size_t mask = slots_.size() - 1;
  __builtin_prefetch(&slots_[a.hash & mask]);
  // Halfway through the queue the slots have arrived: fetch the entry they lead to.
  if (waiting_ > queue_size / 2) {
    std::uint64_t hash = queue_[(queued_ - queue_size / 2 - 1) % queue_size].hash;
    for (std::size_t i = hash & mask; slots_[i] != 0; i = (i + 1) & mask) {
      if (tag_of(slots_[i]) != tag_of(hash)) continue;
      const entry& e = entries_[(slots_[i] & position_mask) - 1];
      __builtin_prefetch(&e);
      __builtin_prefetch(&e.rcvd);
      break;
    }
  }
}

const std::vector<entry>& node_table::entries() {
  for (; waiting_ > 0; --waiting_) settle(queue_[(queued_ - waiting_) % queue_size]);
  return entries_;
}

void node_table::settle(const arrival& a) {
  if (2 * (entries_.size() + 1) > slots_.size()) grow();
  const std::size_t mask = slots_.size() - 1;
  for (std::size_t i = a.hash & mask;; i = (i + 1) & mask) {
    std::uint64_t slot = slots_[i];
    if (slot == 0) {
      slots_[i] = tag_of(a.hash) | (entries_.size() + 1);
      entries_.push_back({a.address, a.sent, a.rcvd});
      return;
    }
    if (tag_of(slot) != tag_of(a.hash)) continue;
    entry& e = entries_[(slot & position_mask) - 1];
    if (e.address == a.address) {
      e.sent += a.sent;
      e.rcvd += a.rcvd;
      return;
    }
  }
}

void node_table::grow() {
  // Positions are kept in 32 bits; a table that large has no room left anyway.
  if (entries_.size() >= position_mask) throw std::bad_alloc();
  std::vector<std::uint64_t> slots(slots_.empty() ? 64 : 2 * slots_.size());
  const std::size_t mask = slots.size() - 1;
  for (std::size_t position = 0; position < entries_.size(); ++position) {
    std::uint64_t hash = hash_of(entries_[position].address);
    std::size_t i = hash & mask;
    while (slots[i] != 0) i = (i + 1) & mask;
    slots[i] = tag_of(hash) | (position + 1);
  }
  slots_.swap(slots);
}
