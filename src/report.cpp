#include "report.h"

#include <ctime>
#include <optional>

#include "nodes.h"
#include "parse.h"
#include "scanner.h"
#include "tables.h"

namespace {

// The console (absent under -q) and one report (absent when not named): each text goes to both.
struct destinations {
  sink* console;
  sink* report;

  bool any() const { return console || report; }

  void write(std::string_view text) const {
    if (console) console->write(text);
    if (report) report->write(text);
  }
};

// Closes a report; a write that failed on the way is told in place of "Done!".
void close_report(sink* report, const std::optional<std::string>& name, std::vector<std::string>& complaints) {
  if (!report) return;
  report->close();
  if (report->failed()) complaints.push_back(quoted("Cannot write file", *name));
}

}  // namespace

std::vector<std::string> scan_log(const settings& run, run_files& files, sink& out) {
  const std::optional<std::string> today = today_text(std::time(nullptr));
  if (run.any_day && !today) throw failure("Cannot read the current date\n\n");
  const std::string_view day = today ? std::string_view(*today) : std::string_view();
  files.truncate_reports(run);
  const std::string log_name = *run.log_name;
  tell("Processing file: \"" + log_name + "\"...\n");
  sink* ses_report = files.ses();
  sink* nodes_report = files.nodes();

  sink* console = run.q ? nullptr : &out;
  destinations sessions{console, ses_report};
  sessions.write(sessions_head());
  out.push();

  std::int64_t number = 0;
  std::int64_t total_sent = 0;
  std::int64_t total_rcvd = 0;
  node_table table;
  std::string row;
  block_scanner scanner(files.log());
  while (std::optional<std::string_view> piece = scanner.next()) {
    std::optional<session> s = parse_line(*piece, run.any_day, day);
    if (!s) continue;
    number = saturating_add(number, 1);
    total_sent = saturating_add(total_sent, s->sent);
    total_rcvd = saturating_add(total_rcvd, s->rcvd);
    table.add_node_bytes(s->address, s->sent, s->rcvd);
    if (!sessions.any()) continue;
    row.clear();
    append_session_row(row, number, *s);
    sessions.write(row);
    out.push();
  }

  sessions.write(sessions_foot());
  row.clear();
  append_total(row, "Total bytes sent: ", total_sent);
  append_total(row, "Total bytes rcvd: ", total_rcvd);
  sessions.write(row);
  if (ses_report) ses_report->write("\n");

  destinations nodes{console, nodes_report};
  nodes.write(nodes_head());
  std::int64_t position = 0;
  for (const entry& e : table.entries()) {
    row.clear();
    append_node_row(row, ++position, e.address, e.sent, e.rcvd);
    nodes.write(row);
  }
  nodes.write(nodes_foot());
  if (nodes_report) nodes_report->write("\n");
  out.write("\n");

  std::vector<std::string> complaints;
  if (scanner.failed()) complaints.push_back(quoted("Cannot read file", log_name));
  close_report(ses_report, run.out_ses, complaints);
  close_report(nodes_report, run.out_nodes, complaints);
  return complaints;
}
