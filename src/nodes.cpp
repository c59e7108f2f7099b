// The node table: per-address totals in order of first appearance, found through a hash index.
#include "nodes.h"

#include <cstring>
#include <new>

namespace {

__extension__ using product_bits = unsigned __int128;

// The high and low halves of a 128-bit product, folded: a mix that every bit of both sides feeds.
std::uint64_t fold(std::uint64_t a, std::uint64_t b) {
  const product_bits product = static_cast<product_bits>(a) * b;
  return static_cast<std::uint64_t>(product) ^ static_cast<std::uint64_t>(product >> 64);
}

// Eight bytes of an address, or fewer of its end, as one number.
std::uint64_t bytes_at(const char* p, std::size_t n) {
  std::uint64_t value = 0;
  std::memcpy(&value, p, n);
  return value;
}

// An address's hash, eight bytes at a time: addresses are short, and their slot is all it picks.
std::uint64_t hash_of(std::string_view address) {
  constexpr std::uint64_t odd = 0x9E3779B97F4A7C15u;
  constexpr std::uint64_t other = 0xBF58476D1CE4E5B9u;
  std::uint64_t h = fold(address.size() ^ odd, other);
  std::size_t i = 0;
  for (; i + 8 <= address.size(); i += 8) h = fold(h ^ bytes_at(address.data() + i, 8), odd);
  return fold(h ^ bytes_at(address.data() + i, address.size() - i), other);
}

// A slot holds the high half of its address's hash beside its entry's position plus one; the
// slot's place comes from the top bits of that half, so that the index grows without a hash
// being made again.
constexpr unsigned position_bits = 32;
constexpr std::uint64_t position_mask = (std::uint64_t{1} << position_bits) - 1;

std::uint64_t tag_of(std::uint64_t hash) { return hash & ~position_mask; }

// The first slot to look in, of 2^bits, for a tag.
std::size_t place_of(std::uint64_t tag, unsigned bits) { return static_cast<std::size_t>(tag >> (64 - bits)); }

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
  __builtin_prefetch(&slots_[place_of(tag_of(a.hash), bits_)]);
  // Halfway through the queue the slots have arrived: fetch the entry they lead to.
  if (waiting_ > queue_size / 2) {
    std::uint64_t hash = queue_[(queued_ - queue_size / 2 - 1) % queue_size].hash;
    for (std::size_t i = place_of(tag_of(hash), bits_); slots_[i] != 0; i = (i + 1) & mask) {
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
  for (std::size_t i = place_of(tag_of(a.hash), bits_);; i = (i + 1) & mask) {
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
  // The index's places come from 32 bits of the hash: 2^31 addresses at the most, which no
  // memory would hold anyway.
  if (2 * (entries_.size() + 1) > (std::size_t{1} << position_bits)) throw std::bad_alloc();
  const unsigned bits = slots_.empty() ? 6 : bits_ + 1;
  std::vector<std::uint64_t> slots(std::size_t{1} << bits);
  const std::size_t mask = slots.size() - 1;
  for (std::uint64_t slot : slots_) {
    if (slot == 0) continue;
    std::size_t i = place_of(tag_of(slot), bits);
    while (slots[i] != 0) i = (i + 1) & mask;
    slots[i] = slot;
  }
  slots_.swap(slots);
  bits_ = bits;
}
