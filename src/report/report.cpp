// The report run: the scan of the logs, on one thread or in segments, and both tables written.
#include "report/report.h"

#include <algorithm>
#include <ctime>
#include <numeric>
#include <optional>
#include <system_error>

#include "read/log_text.h"
#include "report/export.h"
#include "report/history.h"
#include "report/progress.h"
#include "report/tables.h"
#include "scan/logs.h"
#include "scan/nodes.h"
#include "scan/parse.h"
#include "scan/scanner.h"
#include "scan/segments.h"

namespace {

// A plain regular file of at least two segments, and every log of several, are read on every CPU
// the process may use, up to max_workers, a large plain log in segments of segment_size bytes.
// The workers number the addresses and draw the rows; past eight of them, the one merge, which
// still takes every session in log order, would set the pace and more would only add memory.
constexpr std::uint64_t segment_size = std::uint64_t{4} << 20;
constexpr unsigned max_workers = 8;
// A segment's sessions go to the merge in parts of chunk_bytes, and the segments that wait for
// their turn hold at most budget bytes of parts between them: memory stays the same however
// many CPUs there are and however long a line is.
constexpr std::size_t chunk_bytes = std::size_t{64} * 1024;
constexpr std::size_t budget = std::size_t{1} << 20;
// Several logs are read whole, each by a worker of its own: the logs after the one being merged
// are counted ahead within this wider budget, so that their workers seldom wait.
constexpr std::size_t logs_budget = std::size_t{16} << 20;

// The size of all the logs, when every one is a regular file.
std::optional<std::uint64_t> size_of(const std::vector<log_file>& logs) {
  std::uint64_t size = 0;
  for (const log_file& log : logs) {
    if (!log.size) return std::nullopt;
    size += *log.size;
  }
  return size;
}

// The number of the line of the first closing line lost to its length, in a log that can be read
// again; none for a pipe, FIFO or device.
std::optional<std::uint64_t> first_cut_line(const log_file& log, const scan_options& options) {
  if (!log.size) return std::nullopt;
  const opened_log opened(log);
  if (opened.fd() < 0) return std::nullopt;
  log_text text(file_bytes(opened.fd(), log.size, nullptr), 1);
  block_scanner scanner([&text](char* buffer, std::size_t size) { return text.read(buffer, size); }, 1 << 20, true);
  while (std::optional<std::string_view> piece = scanner.next())
    if (!counted_session(*piece, options) && cut_closing_line(scanner, *piece)) return scanner.line();
  return std::nullopt;
}

// Tells how many closing lines were lost to their length, and where the first is.
std::vector<std::string> cut_warning(const std::vector<log_file>& logs, const std::vector<std::uint64_t>& cut,
                                     const scan_options& options) {
  const auto first = std::find_if(cut.begin(), cut.end(), [](std::uint64_t n) { return n > 0; });
  if (first == cut.end()) return {};
  const log_file& log = logs[static_cast<std::size_t>(first - cut.begin())];
  const std::optional<std::uint64_t> line = first_cut_line(log, options);
  return {"ornsum: warning: closing lines longer than a piece (254 bytes) skipped: " +
          std::to_string(std::accumulate(cut.begin(), cut.end(), std::uint64_t{0})) + ", the first " +
          (line ? "on line " + std::to_string(*line) + " of" : std::string("in")) + " \"" + log.name + "\"\n"};
}

// Closes a report; a write that failed on the way is told in place of "Done!".
void close_report(sink* report, const std::optional<std::string>& name, std::vector<std::string>& complaints) {
  if (!report) return;
  report->close();
  if (report->failed()) complaints.push_back(quoted("Cannot write file", *name));
}

}  // namespace

run_end scan_log(const settings& run, run_files& files, sink& out, frame_plan plan, bool show_progress) {
  const std::time_t now = std::time(nullptr);
  const std::optional<std::string> today = today_text(now);
  const std::optional<day_set> days = run.days ? day_set::of(*run.days, now) : std::nullopt;
  if ((run.any_day && !today) || (run.days && !days)) throw failure("Cannot read the current date\n\n");
  const std::string_view day = today ? std::string_view(*today) : std::string_view();
  files.truncate_reports(run);
  const std::vector<log_file>& logs = files.logs();
  tell("Processing file: \"" + logs.front().name + "\"...\n");
  sink* ses_report = files.ses();
  sink* nodes_report = files.nodes();

  sink* console = run.q ? nullptr : &out;
  destinations sessions(console, ses_report, plan);
  sessions.write([](std::string& text, frames f) { text += sessions_head(f); });
  out.push();

  history counted(sessions, out);
  // The export goes to its file or, under -q, to standard output.
  sink* exported = run.export_to_stdout ? &out : files.exported();
  std::optional<record_export> records;
  if (exported != nullptr) {
    records.emplace(*exported, run.export_format, run.every_log);
    records->begin();
    counted.records = &*records;
    counted.nodes.count_sessions();
  }
  std::optional<progress> shown;
  try {
    if (show_progress) shown.emplace(size_of(logs));
  } catch (const std::system_error&) {
    // No thread to show it: the run goes on without.
  }
  const auto say = [&](const std::string& message) {
    if (shown)
      shown->say(message);
    else
      tell(message);
  };
  // Each log after the first is told as its sessions begin to be counted.
  const auto begin_log = [&](const log_file& log) { say("Processing file: \"" + log.name + "\"...\n"); };
  // The logs not read whole, and why. Under -a the run goes on past each, told as it is found;
  // a lone log ends the run, told in place of "Done!".
  std::vector<std::pair<std::size_t, int>> unread;
  std::vector<std::uint64_t> cut(logs.size());  // each log's closing lines lost to their length
  const auto go_on_past = [&](std::size_t i, int error) {
    unread.emplace_back(i, error);
    if (run.every_log) say(quoted("Cannot read file", logs[i].name) + reason_line(logs[i].name, error));
    return run.every_log;
  };
  std::atomic<std::uint64_t>* read = shown ? &shown->counter() : nullptr;
  const scan_options options{run.any_day,
                             day,
                             days ? &*days : nullptr,
                             {sessions.wants(frames::koi8), sessions.wants(frames::utf8)},
                             records ? run.export_format : record_format::none,
                             read};
  const unsigned workers = std::min(usable_cpus(), max_workers);
  const log_segments segments(logs, segment_size, workers > 1, read);
  bool in_segments = false;
  if (workers > 1 && segments.count() > 1) {
    const segment_plan segmenting{segment_size, workers, chunk_bytes, logs.size() > 1 ? logs_budget : budget};
    std::uint64_t merged = 0;  // the segment whose part came last
    in_segments = scan_segments(segments, segmenting, options, counted.book, [&](std::uint64_t k, tally& t) {
      const std::size_t i = segments.log_of(k);
      // What follows the failure in a log's later segments is left out, as a reading in turn would.
      if (!unread.empty() && unread.back().first == i) return true;
      if (k != merged && segments.first_of_log(k)) begin_log(logs[i]);
      merged = k;
      counted.log = logs[i].name;
      counted.merge(t);
      cut[i] += t.cut;
      return t.failed == 0 || go_on_past(i, t.failed);
    });
  }
  if (!in_segments) {
    block_scanner scanner(byte_source{});
    for (std::size_t i = 0; i < logs.size(); ++i) {
      if (i > 0) begin_log(logs[i]);
      counted.log = logs[i].name;
      const opened_log opened(logs[i]);
      if (opened.fd() < 0) {
        if (go_on_past(i, opened.error())) continue;
        break;
      }
      // A lone log may be decoded on every CPU; several are decoded one after another.
      log_text log(file_bytes(opened.fd(), logs[i].size, read), logs.size() == 1 ? workers : 1);
      scanner.restart([&log](char* buffer, std::size_t size) { return log.read(buffer, size); });
      while (std::optional<std::string_view> piece = scanner.next()) {
        if (std::optional<session> s = counted_session(*piece, options))
          counted.add(*s);
        else if (cut_closing_line(scanner, *piece))
          ++cut[i];
      }
      if (scanner.failed() && !go_on_past(i, scanner.error())) break;
    }
    counted.finish();
  }

  shown.reset();

  sessions.write([&](std::string& text, frames f) {
    text += sessions_foot(f);
    append_total(text, "Total bytes sent: ", counted.sent);
    append_total(text, "Total bytes rcvd: ", counted.rcvd);
  });
  if (ses_report) ses_report->write("\n");

  destinations nodes(console, nodes_report, plan);
  nodes.write([](std::string& text, frames f) { text += nodes_head(f); });
  for (std::size_t i = 0; i < counted.nodes.entries_count(); ++i) {
    const entry e = counted.nodes.at(i);
    const auto position = static_cast<std::int64_t>(i + 1);
    nodes.write([&](std::string& text, frames f) { append_node_row(text, position, e.address, e.sent, e.rcvd, f); });
    if (records) records->node(e);
  }
  nodes.write([](std::string& text, frames f) { text += nodes_foot(f); });
  if (nodes_report) nodes_report->write("\n");
  if (records) records->totals(counted.sessions(), counted.sent, counted.rcvd);
  // Standard output that takes the export holds it alone.
  if (!run.export_to_stdout) out.write("\n");

  run_end end{cut_warning(logs, cut, options), {}};
  std::vector<std::string>& complaints = end.complaints;
  if (!unread.empty() && !run.every_log) {
    const auto [i, error] = unread.front();
    complaints.push_back(quoted("Cannot read file", logs[i].name) + reason_line(logs[i].name, error));
  }
  close_report(ses_report, run.out_ses, complaints);
  close_report(nodes_report, run.out_nodes, complaints);
  close_report(files.exported(), run.out_export, complaints);
  // A month with a log missing from it must not pass for a whole one.
  if (!unread.empty() && run.every_log)
    complaints.push_back("ornsum: logs not read whole: " + std::to_string(unread.size()) + " of " +
                         std::to_string(logs.size()) + "\n");
  return end;
}
