// The distinct remote addresses of a run, each numbered: looked up by several threads at once
// without a lock, and added under one.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

// Texts kept one after another in one string.
struct text_list {
  std::string text;
  std::vector<std::size_t> ends;  // where each text ends

  // The text at a place in the list.
  std::string_view operator[](std::size_t i) const {
    const std::size_t begin = i == 0 ? 0 : ends[i - 1];
    return std::string_view(text).substr(begin, ends[i] - begin);
  }
};

// Every address met, numbered from 0 in the order in which each was first added.
class address_book {
 public:
  address_book() = default;
  address_book(const address_book&) = delete;
  address_book& operator=(const address_book&) = delete;

  // Appends to ids the number of each address of a list (compared byte for byte), adding those
  // not met before; any number of threads may number at once. The slots and records of the
  // addresses a few places on are fetched from memory while one is looked up.
  void number(const text_list& addresses, std::vector<std::uint32_t>& ids);
  // The address with a number; while no thread adds one.
  std::string_view address(std::uint32_t id) const;

 private:
  // Open addressing with linear probing over 2^bits slots, at most half of them used: each slot
  // holds the high half of an address's hash beside the place of its record; 0 marks a free slot.
  struct index {
    unsigned bits = 0;
    std::unique_ptr<std::atomic<std::uint64_t>[]> slots;
  };
  // Records are kept in chunks that never move, chunk k holding 2^(k + first_chunk_bits) units of
  // eight bytes: chunks_count of them come to just under 2^32 units, as a slot can place.
  static constexpr unsigned first_chunk_bits = 13;
  static constexpr std::size_t chunks_count = 19;

  // The number of the address with this tag (its hash as a slot holds it) in an index, or -1.
  std::int64_t find(const index& in, std::string_view address, std::uint64_t tag) const;
  // The record at a unit: its number and length in the first unit, then the address's bytes.
  std::uint64_t* record(std::uint64_t unit) const;
  // Adds an address with this tag unless another thread has, holding the lock; returns its number.
  std::uint32_t add(std::string_view address, std::uint64_t tag);
  // Replaces the index with one twice as large, holding the lock.
  void grow();

  std::atomic<const index*> current_{nullptr};
  // Every index made: a lookup may still be reading one that has been replaced.
  std::vector<std::unique_ptr<index>> indexes_;
  std::array<std::unique_ptr<std::uint64_t[]>, chunks_count> chunks_;
  std::uint64_t used_ = 0;            // units of records written
  std::vector<std::uint32_t> units_;  // each number's record
  std::mutex lock_;
};
