// The Sessions History as it is counted, and the destinations its rows go to.
#pragma once

#include <cstddef>
#include <cstdint>
#include <limits>
#include <string>

#include "report/export.h"
#include "report/frames.h"
#include "report/sink.h"
#include "report/tables.h"
#include "scan/address_book.h"
#include "scan/nodes.h"
#include "scan/parse.h"
#include "scan/tally.h"

// The console (absent under -q) and one report (absent when not named): each piece of a table goes
// to both, each with the frames of the run's plan.
class destinations {
 public:
  destinations(sink* console, sink* report, frame_plan plan) : console_(console), report_(report), plan_(plan) {}

  // Whether there is any destination.
  bool any() const { return console_ || report_; }
  // Whether a destination takes its text with these frames.
  bool wants(frames f) const { return (console_ && plan_.console == f) || (report_ && plan_.reports == f); }

  // Writes what draw(text, frames) appends to text, after the rows that wait, drawn a second time
  // only when the two destinations want different frames.
  template <typename Draw>
  void write(const Draw& draw) {
    deliver_rows();
    if (console_) {
      text_.clear();
      draw(text_, plan_.console);
      console_->write(text_);
    }
    if (report_) {
      if (!console_ || plan_.console != plan_.reports) {
        text_.clear();
        draw(text_, plan_.reports);
      }
      report_->write(text_);
    }
  }

  // Writes rows as write() does. Where every destination takes the same frames, they are drawn
  // once and gathered until they fill a sink's buffer, which then delivers them without copying
  // them; an eager destination gets them at once.
  template <typename Draw>
  void write_rows(const Draw& draw) {
    if (console_ && report_ && plan_.console != plan_.reports) {
      write(draw);
      return;
    }
    draw(rows_, console_ ? plan_.console : plan_.reports);
    if (rows_.size() >= sink::buffer_size || (console_ && console_->eager())) deliver_rows();
  }

 private:
  // Delivers the rows that wait.
  void deliver_rows() {
    if (rows_.empty()) return;
    if (console_) console_->write(rows_);
    if (report_) report_->write(rows_);
    rows_.clear();
  }

  sink* console_;
  sink* report_;
  frame_plan plan_;
  std::string text_;
  std::string rows_;  // rows drawn and not yet written
};

// The number of the next session: one more, or the bound, where it stops rather than wrap.
inline std::int64_t next_number(std::int64_t number) {
  return number == std::numeric_limits<std::int64_t>::max() ? number : number + 1;
}

// The Sessions History as it is counted: the session number, the grand totals and the node table,
// and the destinations each session's row, and record, go to as soon as it is counted.
class history {
 public:
  history(destinations& rows, sink& out) : rows_(rows), out_(out) {}
  history(const history&) = delete;
  history& operator=(const history&) = delete;

  // Counts a session found by a scan of the whole log. Its row goes out at once; its bytes wait
  // for the node table with those of the sessions after it, up to batch of them. Here, so that
  // the scan's loop, which calls it for every session, has it inline.
  void add(const session& s) {
    number_ = next_number(number_);
    waiting_.add(s, scan_options{});
    if (waiting_.sessions() == batch) count_waiting();
    if (records != nullptr) {
      fields_.clear();
      append_session_fields(fields_, s, records->format());
      records->session(number_, fields_, log);
      records->push();
    }
    if (!rows_.any()) return;
    rows_.write_rows([&](std::string& text, frames f) {
      append_row_number(text, number_, f);
      append_session_cells(text, s, f);
    });
    out_.push();
  }

  // Counts a segment's sessions, numbered on from those of the segments before it.
  void merge(const tally& t);

  // Counts the sessions that wait, once the scan of the whole log has ended.
  void finish() { count_waiting(); }
  // The sessions counted, or the bound where their number stopped.
  std::int64_t sessions() const { return number_; }

  total sent = 0;                    // the grand total of bytes sent
  total rcvd = 0;                    // and received
  address_book book;                 // the addresses, numbered
  node_table nodes{book};            // each address's totals
  record_export* records = nullptr;  // where each session's record goes, when the run exports
  std::string_view log;              // the name of the log being counted, for the records

 private:
  // Sessions of the scan of the whole log go to the node table in batches of this many, so that
  // the table's memory is fetched for several at once.
  static constexpr std::size_t batch = 1024;

  // Adds the bytes of a tally, its addresses numbered, to the totals and the node table.
  void count(const tally& t);

  // Counts the sessions that wait and empties the tally of them, keeping its room.
  void count_waiting();

  destinations& rows_;
  sink& out_;
  std::int64_t number_ = 0;
  tally waiting_;       // sessions whose bytes wait for the node table
  std::string fields_;  // a session's record fields, drawn here
};
