// Tallies: the sessions of a stretch of the log, their rows drawn and their addresses numbered.
#include "scan/tally.h"

bool cut_closing_line(const block_scanner& scanner, std::string_view piece) {
  return scanner.first_of_line() && !scanner.whole_line() && !parse_line(piece, false, {});
}

std::size_t tally::bytes() const {
  std::size_t n = addresses.text.size() + sizeof(std::size_t) * addresses.ends.size() +
                  sizeof(std::uint32_t) * ids.size() + sizeof(std::int64_t) * counts.size();
  for (const text_list& r : rows) n += r.text.size() + sizeof(std::size_t) * r.ends.size();
  return n + records.text.size() + sizeof(std::size_t) * records.ends.size();
}

void tally::add(const session& s, const scan_options& options) {
  addresses.text += s.address;
  addresses.ends.push_back(addresses.text.size());
  counts.push_back(s.sent);
  counts.push_back(s.rcvd);
  sent += s.sent;
  rcvd += s.rcvd;
  for (frames f : {frames::koi8, frames::utf8}) {
    auto style = static_cast<std::size_t>(f);
    if (!options.rows_in[style]) continue;
    append_session_cells(rows[style].text, s, f);
    rows[style].ends.push_back(rows[style].text.size());
  }
  if (options.records == record_format::none) return;
  append_session_fields(records.text, s, options.records);
  records.ends.push_back(records.text.size());
}

void tally::number(address_book& book) {
  book.number(addresses, ids);
  addresses.text.clear();
  addresses.ends.clear();
}

void tally_all(block_scanner& scanner, const scan_options& options, address_book& book, std::size_t chunk_bytes,
               const std::function<void(tally&)>& hand_on) {
  tally t;
  // A part's rows take their room at once rather than grow into it, copied at every doubling;
  // the room of its addresses, numbered before it is handed on, is kept for the next part.
  auto start = [&](text_list room_for_addresses) {
    t = tally{};
    t.addresses = std::move(room_for_addresses);
    for (frames f : {frames::koi8, frames::utf8})
      if (options.rows_in[static_cast<std::size_t>(f)]) t.rows[static_cast<std::size_t>(f)].text.reserve(chunk_bytes);
    if (options.records != record_format::none) t.records.text.reserve(chunk_bytes);
  };
  start({});
  while (std::optional<std::string_view> piece = scanner.next()) {
    std::optional<session> s = counted_session(*piece, options);
    if (!s) {
      if (cut_closing_line(scanner, *piece)) ++t.cut;
      continue;
    }
    t.add(*s, options);
    if (t.bytes() < chunk_bytes) continue;
    t.number(book);
    text_list room = std::move(t.addresses);
    hand_on(t);
    start(std::move(room));
  }
  t.failed = scanner.error();
  t.number(book);
  t.addresses = text_list{};
  // The last part of a segment is mostly smaller than the room it took.
  for (text_list& r : t.rows) r.text.shrink_to_fit();
  t.records.text.shrink_to_fit();
  hand_on(t);
}
