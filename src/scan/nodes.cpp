// The node table: per-address totals by number, and the numbers in order of first appearance.
#include "scan/nodes.h"

void node_table::add(std::uint32_t id, total sent, total rcvd) {
  if (id >= by_id_.size()) {
    by_id_.resize(std::size_t{id} + 1);
    seen_.resize(std::size_t{id} + 1);
  }
  if (!seen_[id]) {
    seen_[id] = true;
    order_.push_back(id);
  }
  by_id_[id].sent += sent;
  by_id_[id].rcvd += rcvd;
  if (!count_sessions_) return;
  if (id >= sessions_.size()) sessions_.resize(by_id_.size());
  ++sessions_[id];
}

void node_table::add_node_bytes(std::span<const std::uint32_t> ids, std::span<const std::int64_t> counts) {
  // A large table is mostly out of cache: the sums of a session a few places on are fetched while
  // this one is added.
  constexpr std::size_t ahead = 16;
  for (std::size_t i = 0; i < ids.size(); ++i) {
    if (i + ahead < ids.size() && ids[i + ahead] < by_id_.size()) __builtin_prefetch(&by_id_[ids[i + ahead]]);
    add(ids[i], counts[2 * i], counts[2 * i + 1]);
  }
}

entry node_table::at(std::size_t position) const {
  const std::uint32_t id = order_[position];
  return {book_.address(id), by_id_[id].sent, by_id_[id].rcvd, id < sessions_.size() ? sessions_[id] : 0};
}
