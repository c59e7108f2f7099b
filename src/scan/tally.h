// What the sessions of a stretch of the log come to, kept for the merge in log order.
#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string_view>
#include <vector>

#include "scan/address_book.h"
#include "scan/days.h"
#include "scan/nodes.h"
#include "scan/parse.h"
#include "scan/records.h"
#include "scan/rows.h"
#include "scan/scanner.h"

// What a scan looks for and keeps.
struct scan_options {
  bool any_day = false;                           // only sessions whose stamp holds today count
  std::string_view today;                         // the day, as parse_line compares it
  const day_set* days = nullptr;                  // only sessions on these days count, when given
  std::array<bool, 2> rows_in = {};               // whether rows are kept with KOI8-R frames, with UTF-8 ones
  record_format records = record_format::none;    // the format records are kept in, if any
  std::atomic<std::uint64_t>* counted = nullptr;  // where the bytes read are added up, if anywhere
};

// The session that a piece closes, if it counts by the options; inline, as it is called for every
// piece.
inline std::optional<session> counted_session(std::string_view piece, const scan_options& options) {
  std::optional<session> s = parse_line(piece, options.any_day, options.today);
  if (s && options.days != nullptr && !options.days->holds(s->stamp)) return std::nullopt;
  return s;
}
// Whether the last piece of the scanner, which counted no session, is a closing line lost to its
// length: the first piece handed over of a longer line, which closes no session whatever the day.
bool cut_closing_line(const block_scanner& scanner, std::string_view piece);

// What the sessions of one stretch of the log come to, kept in log order for the merge: each
// session's address, numbered in a book, and its counts, which go to the node table there, and its
// row after the number cell, in the frames the options ask for, and its record's fields.
struct tally {
  text_list addresses;               // the addresses of the sessions not numbered yet
  std::vector<std::uint32_t> ids;    // the numbers of the addresses of the sessions before those
  std::vector<std::int64_t> counts;  // each session's bytes sent, then received
  total sent = 0;
  total rcvd = 0;
  std::array<text_list, 2> rows;  // with KOI8-R frames and with UTF-8 ones
  text_list records;              // each session's fields after its number, for the export
  int failed = 0;                 // the errno of the read that stopped it on an error; 0 when none did
  std::uint64_t cut = 0;          // closing lines lost to their length

  // The number of sessions.
  std::size_t sessions() const { return counts.size() / 2; }
  // The bytes its texts and numbers take.
  std::size_t bytes() const;
  // Keeps a session.
  void add(const session& s, const scan_options& options);
  // Numbers the addresses not numbered yet.
  void number(address_book& book);
};

// Tallies every session that the scanner's pieces close, handing the tally on, its addresses
// numbered in the book, each time it holds chunk_bytes or more, and once more at the end, with
// failed set to the errno of the read that failed, if one did.
void tally_all(block_scanner& scanner, const scan_options& options, address_book& book, std::size_t chunk_bytes,
               const std::function<void(tally&)>& hand_on);
