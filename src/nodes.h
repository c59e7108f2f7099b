// Per-address byte totals, kept in order of first appearance.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// A sum of byte counts: 128 bits, so that no log can carry it past its bounds and every sum is
// exact, however its parts are grouped.
__extension__ using total = __int128;

// One distinct remote address and the bytes of all its sessions.
struct entry {
  std::string address;
  total sent = 0;
  total rcvd = 0;
};

// The node table: entries in order of first appearance, found by address through a hash index,
// so that adding a session costs the same however many addresses there are.
class node_table {
 public:
  // Adds a session's bytes to the entry of its address (compared byte for byte), appending a
  // new entry for an address not seen before.
  void add_node_bytes(std::string_view address, total sent, total rcvd);
  // The entries in order of first appearance, once every session added has been settled.
  const std::vector<entry>& entries();

 private:
  // A session on its way into the table.
  struct arrival {
    std::string address;
    std::uint64_t hash = 0;
    total sent = 0;
    total rcvd = 0;
  };
  // How many sessions wait, their slots and entries being fetched from memory, before they are
  // settled; a large table is mostly out of cache, and one lookup at a time would wait on each.
  static constexpr std::size_t queue_size = 16;

  // Adds one session's bytes to the table.
  void settle(const arrival& a);
  // Makes the index twice as large and places every entry in it again.
  void grow();

  std::vector<entry> entries_;
  // Open addressing with linear probing: the high half of an address's hash beside its entry's
  // position plus one; 0 marks a free slot. At most half of the 2^bits_ slots are used.
  std::vector<std::uint64_t> slots_;
  unsigned bits_ = 0;
  std::array<arrival, queue_size> queue_;
  std::size_t queued_ = 0;  // sessions added in all; the oldest waiting one is queued_ - waiting_
  std::size_t waiting_ = 0;
};
