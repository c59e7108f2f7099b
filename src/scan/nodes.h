// Per-address byte totals, kept in order of first appearance.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include "scan/address_book.h"

// A sum of byte counts: 128 bits, so that no log can carry it past its bounds and every sum is
// exact, however its parts are grouped.
__extension__ using total = __int128;

// One distinct remote address and the bytes of all its sessions.
struct entry {
  std::string_view address;
  total sent = 0;
  total rcvd = 0;
  std::uint64_t sessions = 0;  // how many, when the table counts them
};

// The node table: the totals of every address of the sessions added, by the address's number in a
// book, with the numbers in order of first appearance; adding a session costs the same however
// many addresses there are.
class node_table {
 public:
  explicit node_table(const address_book& book) : book_(book) {}

  // Adds sessions in turn, given their addresses' numbers and their bytes sent and received in
  // pairs: each to the entry of its address, appending a new entry for an address not seen before.
  void add_node_bytes(std::span<const std::uint32_t> ids, std::span<const std::int64_t> counts);
  // Counts each address's sessions too, from now on: only the export asks for them.
  void count_sessions() { count_sessions_ = true; }
  // The number of entries.
  std::size_t entries_count() const { return order_.size(); }
  // The entry at a position in order of first appearance, counted from 0.
  entry at(std::size_t position) const;

 private:
  struct sums {
    total sent = 0;
    total rcvd = 0;
  };

  // Adds one session's bytes.
  void add(std::uint32_t id, total sent, total rcvd);

  const address_book& book_;
  std::vector<sums> by_id_;
  std::vector<bool> seen_;            // by number: whether the address has an entry
  std::vector<std::uint32_t> order_;  // the numbers with entries, in order of first appearance
  bool count_sessions_ = false;
  std::vector<std::uint64_t> sessions_;  // by number, when counted
};
