// The Sessions History as it is counted: numbers, totals, the node table and the rows.
#include "report/history.h"

void history::merge(const tally& t) {
  const std::int64_t before = number_;
  for (std::size_t i = 0; i < t.sessions(); ++i) number_ = next_number(number_);
  count(t);
  if (records != nullptr) {
    std::int64_t number = before;
    for (std::size_t i = 0; i < t.sessions(); ++i) {
      number = next_number(number);
      records->session(number, t.records[i], log);
    }
    records->push();
  }
  if (rows_.any()) {
    rows_.write_rows([&](std::string& text, frames f) {
      std::int64_t number = before;
      for (std::size_t i = 0; i < t.sessions(); ++i) {
        number = next_number(number);
        append_row_number(text, number, f);
        text += t.rows[static_cast<std::size_t>(f)][i];
      }
    });
  }
  out_.push();
}

void history::count(const tally& t) {
  nodes.add_node_bytes(t.ids, t.counts);
  sent += t.sent;
  rcvd += t.rcvd;
}

void history::count_waiting() {
  waiting_.number(book);
  count(waiting_);
  waiting_.ids.clear();
  waiting_.counts.clear();
  waiting_.sent = 0;
  waiting_.rcvd = 0;
}
