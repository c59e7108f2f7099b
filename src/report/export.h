// The export: every session, every node and the totals as records that programs read, JSON Lines
// or CSV (RFC 4180), written as the run counts them.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "report/sink.h"
#include "scan/nodes.h"
#include "scan/records.h"

// The records of a run, gathered and handed to their sink a buffer at a time.
class record_export {
 public:
  // Writes to `out` in format f (JSON Lines or CSV); with_logs gives each session the log it came
  // from.
  record_export(sink& out, record_format f, bool with_logs) : out_(out), format_(f), with_logs_(with_logs) {}

  // The format of the records.
  record_format format() const { return format_; }
  // The CSV header, which names every column; nothing for JSON Lines.
  void begin();
  // The record of session `number`, its fields drawn already (append_session_fields), out of `log`.
  void session(std::int64_t number, std::string_view fields, std::string_view log);
  // The record of a node: its address, its totals and how many sessions it had.
  void node(const entry& e);
  // The record of the totals, after every other; then all is handed to the sink.
  void totals(std::int64_t sessions, total sent, total rcvd);
  // Hands what waits to the sink, at once when it is eager.
  void push();

 private:
  sink& out_;
  record_format format_;
  bool with_logs_;
  std::string text_;  // records drawn and not yet handed to the sink
};
