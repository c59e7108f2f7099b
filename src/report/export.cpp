// The export's records, in JSON Lines or CSV, gathered a sink's buffer at a time.
#include "report/export.h"

#include "report/tables.h"
#include "scan/rows.h"

void record_export::begin() {
  if (format_ == record_format::csv) text_ += "type,number,stamp,address,direction,sent,received,sessions,log\n";
}

void record_export::session(std::int64_t number, std::string_view fields, std::string_view log) {
  const bool json = format_ == record_format::jsonl;
  text_ += json ? R"({"type":"session","number":)" : "session,";
  append_number(text_, number, 0);
  text_ += fields;
  if (json) {
    if (with_logs_) {
      text_ += ",\"log\":";
      append_json_string(text_, log);
    }
    text_ += "}\n";
  } else {
    text_ += ",,";
    if (with_logs_) append_csv_field(text_, log);
    text_ += '\n';
  }
  if (text_.size() >= sink::buffer_size) push();
}

void record_export::node(const entry& e) {
  const bool json = format_ == record_format::jsonl;
  if (json) {
    text_ += R"({"type":"node","address":)";
    append_json_string(text_, e.address);
    text_ += ",\"sent\":";
  } else {
    text_ += "node,,,";
    append_csv_field(text_, e.address);
    text_ += ",,";
  }
  append_total_number(text_, e.sent, 0);
  text_ += json ? ",\"received\":" : ",";
  append_total_number(text_, e.rcvd, 0);
  text_ += json ? ",\"sessions\":" : ",";
  text_ += std::to_string(e.sessions);
  text_ += json ? "}\n" : ",\n";
  if (text_.size() >= sink::buffer_size) push();
}

void record_export::totals(std::int64_t sessions, total sent, total rcvd) {
  const bool json = format_ == record_format::jsonl;
  if (json) {
    text_ += R"({"type":"total","sessions":)";
    append_number(text_, sessions, 0);
    text_ += ",\"sent\":";
  } else {
    text_ += "total,,,,,";
  }
  append_total_number(text_, sent, 0);
  text_ += json ? ",\"received\":" : ",";
  append_total_number(text_, rcvd, 0);
  if (json) {
    text_ += "}\n";
  } else {
    text_ += ',';
    append_number(text_, sessions, 0);
    text_ += ",\n";
  }
  out_.write(text_);
  text_.clear();
  out_.flush();
}

void record_export::push() {
  if (text_.size() < sink::buffer_size && !out_.eager()) return;
  out_.write(text_);
  text_.clear();
  out_.push();
}
