// The address book: a hash index that lookups read without a lock, over records that never move.
#include "scan/address_book.h"

#include <array>
#include <bit>
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

// A slot holds the high half of its address's hash, its lowest bit set so that no slot in use is
// 0, beside the unit of its record; the slot's place comes from the top bits of that half, so
// that the index grows without a hash being made again.
constexpr unsigned unit_bits = 32;
constexpr std::uint64_t unit_mask = (std::uint64_t{1} << unit_bits) - 1;

std::uint64_t tag_of(std::uint64_t hash) { return (hash & ~unit_mask) | (unit_mask + 1); }

// The first slot to look in, of 2^bits, for a tag.
std::size_t place_of(std::uint64_t tag, unsigned bits) { return static_cast<std::size_t>(tag >> (64 - bits)); }

// Whether a record's bytes, zero after its end up to a whole unit, are those of an address.
bool same_bytes(const std::uint64_t* units, std::string_view address) {
  std::size_t i = 0;
  for (; i + 8 <= address.size(); i += 8)
    if (units[i / 8] != bytes_at(address.data() + i, 8)) return false;
  return i == address.size() || units[i / 8] == bytes_at(address.data() + i, address.size() - i);
}

// The units of eight bytes that a record takes.
std::uint64_t units_for(std::size_t length) { return 1 + (length + 7) / 8; }

}  // namespace

void address_book::number(const text_list& addresses, std::vector<std::uint32_t>& ids) {
  // Three steps apart: the hash of one address and a fetch of its first slot, the fetch of the
  // record that slot leads to, and the lookup of the address from before both.
  constexpr std::size_t step = 16;
  std::array<std::uint64_t, 4 * step> tags{};
  const std::size_t n = addresses.ends.size();
  ids.reserve(ids.size() + n);
  const index* in = current_.load(std::memory_order_acquire);
  for (std::size_t i = 0; i < n + 2 * step; ++i) {
    if (i < n) {
      tags[i % tags.size()] = tag_of(hash_of(addresses[i]));
      if (in) __builtin_prefetch(&in->slots[place_of(tags[i % tags.size()], in->bits)]);
    }
    if (i >= step && i - step < n && in) {
      const std::uint64_t slot =
          in->slots[place_of(tags[(i - step) % tags.size()], in->bits)].load(std::memory_order_acquire);
      // A record of an address of up to 24 bytes lies within these two units' cache lines.
      if (slot != 0) {
        const std::uint64_t* r = record(slot & unit_mask);
        __builtin_prefetch(r);
        __builtin_prefetch(r + 3);
      }
    }
    if (i < 2 * step) continue;
    const std::size_t k = i - 2 * step;
    const std::uint64_t tag = tags[k % tags.size()];
    std::int64_t id = in ? find(*in, addresses[k], tag) : -1;
    if (id < 0) {
      const std::lock_guard hold(lock_);
      id = add(addresses[k], tag);
      in = current_.load(std::memory_order_relaxed);
    }
    ids.push_back(static_cast<std::uint32_t>(id));
  }
}

std::string_view address_book::address(std::uint32_t id) const {
  const std::uint64_t* r = record(units_[id]);
  return {reinterpret_cast<const char*>(r + 1), static_cast<std::size_t>(r[0] >> 32)};
}

std::int64_t address_book::find(const index& in, std::string_view address, std::uint64_t tag) const {
  const std::size_t mask = (std::size_t{1} << in.bits) - 1;
  for (std::size_t i = place_of(tag, in.bits);; i = (i + 1) & mask) {
    const std::uint64_t slot = in.slots[i].load(std::memory_order_acquire);
    if (slot == 0) return -1;
    if ((slot & ~unit_mask) != tag) continue;
    const std::uint64_t* r = record(slot & unit_mask);
    if ((r[0] >> 32) == address.size() && same_bytes(r + 1, address))
      return static_cast<std::int64_t>(r[0] & unit_mask);
  }
}

std::uint64_t* address_book::record(std::uint64_t unit) const {
  const std::uint64_t span = std::bit_floor((unit >> first_chunk_bits) + 1);
  return chunks_[static_cast<std::size_t>(std::countr_zero(span))].get() + (unit - ((span - 1) << first_chunk_bits));
}

std::uint32_t address_book::add(std::string_view address, std::uint64_t tag) {
  // Another thread may have added it since the lookup, or grown the index.
  const index* in = current_.load(std::memory_order_relaxed);
  if (in) {
    if (std::int64_t id = find(*in, address, tag); id >= 0) return static_cast<std::uint32_t>(id);
  }
  if (!in || 2 * (units_.size() + 1) > (std::size_t{1} << in->bits)) {
    grow();
    in = current_.load(std::memory_order_relaxed);
  }
  const std::uint64_t need = units_for(address.size());
  // Chunk k begins at unit (2^k - 1) * 2^first_chunk_bits.
  const std::uint64_t span = std::bit_floor((used_ >> first_chunk_bits) + 1);
  auto chunk = static_cast<std::size_t>(std::countr_zero(span));
  const std::uint64_t end = (2 * span - 1) << first_chunk_bits;
  // A record never runs over into the next chunk.
  if (used_ + need > end) {
    used_ = end;
    ++chunk;
  }
  if (chunk >= chunks_count) throw std::bad_alloc();
  if (!chunks_[chunk])
    chunks_[chunk] = std::make_unique_for_overwrite<std::uint64_t[]>(std::size_t{1} << (chunk + first_chunk_bits));
  const std::uint64_t unit = used_;
  const auto id = static_cast<std::uint32_t>(units_.size());
  std::uint64_t* r = record(unit);
  r[need - 1] = 0;
  r[0] = (std::uint64_t{address.size()} << 32) | id;
  std::memcpy(r + 1, address.data(), address.size());
  units_.push_back(static_cast<std::uint32_t>(unit));
  used_ += need;

  const std::size_t mask = (std::size_t{1} << in->bits) - 1;
  std::size_t i = place_of(tag, in->bits);
  while (in->slots[i].load(std::memory_order_relaxed) != 0) i = (i + 1) & mask;
  in->slots[i].store(tag | unit, std::memory_order_release);
  return id;
}

void address_book::grow() {
  const index* old = current_.load(std::memory_order_relaxed);
  const unsigned bits = old ? old->bits + 1 : 6;
  // Slots place records within 32 bits of the hash: 2^31 addresses at the most, which no memory
  // would hold anyway.
  if (bits > unit_bits) throw std::bad_alloc();
  auto grown = std::make_unique<index>();
  grown->bits = bits;
  grown->slots = std::make_unique<std::atomic<std::uint64_t>[]>(std::size_t{1} << bits);
  const std::size_t mask = (std::size_t{1} << bits) - 1;
  if (old) {
    for (std::size_t k = 0; k < (std::size_t{1} << old->bits); ++k) {
      const std::uint64_t slot = old->slots[k].load(std::memory_order_relaxed);
      if (slot == 0) continue;
      std::size_t i = place_of(slot, bits);
      while (grown->slots[i].load(std::memory_order_relaxed) != 0) i = (i + 1) & mask;
      grown->slots[i].store(slot, std::memory_order_relaxed);
    }
  }
  indexes_.push_back(std::move(grown));
  current_.store(indexes_.back().get(), std::memory_order_release);
}
