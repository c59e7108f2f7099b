// The report run: the scan of the logs, on one thread or in segments, and both tables written.
#include "report.h"

#include <algorithm>
#include <ctime>
#include <optional>
#include <system_error>

#include "history.h"
#include "log_text.h"
#include "logs.h"
#include "nodes.h"
#include "parse.h"
#include "progress.h"
#include "scanner.h"
#include "segments.h"
#include "tables.h"

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

// Closes a report; a write that failed on the way is told in place of "Done!".
void close_report(sink* report, const std::optional<std::string>& name, std::vector<std::string>& complaints) {
  if (!report) return;
  report->close();
  if (report->failed()) complaints.push_back(quoted("Cannot write file", *name));
}

}  // namespace

std::vector<std::string> scan_log(const settings& run, run_files& files, sink& out, frame_plan plan,
                                  bool show_progress) {
  const std::optional<std::string> today = today_text(std::time(nullptr));
  if (run.any_day && !today) throw failure("Cannot read the current date\n\n");
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
  std::optional<progress> shown;
  try {
    if (show_progress) shown.emplace(size_of(logs));
  } catch (const std::system_error&) {
    // No thread to show it: the run goes on without.
  }
  // Each log after the first is told as its sessions begin to be counted.
  const auto begin_log = [&](const log_file& log) {
    const std::string message = "Processing file: \"" + log.name + "\"...\n";
    if (shown)
      shown->say(message);
    else
      tell(message);
  };
  std::atomic<std::uint64_t>* read = shown ? &shown->counter() : nullptr;
  const scan_options options{run.any_day, day, {sessions.wants(frames::koi8), sessions.wants(frames::utf8)}, read};
  const unsigned workers = std::min(usable_cpus(), max_workers);
  const log_segments segments(logs, segment_size, workers > 1, read);
  std::optional<std::size_t> failed;  // the log whose reading failed
  bool in_segments = false;
  if (workers > 1 && segments.count() > 1) {
    const segment_plan segmenting{segment_size, workers, chunk_bytes, logs.size() > 1 ? logs_budget : budget};
    std::uint64_t merged = 0;  // the segment whose part came last
    in_segments = scan_segments(segments, segmenting, options, counted.book, [&](std::uint64_t k, tally& t) {
      if (k != merged && segments.first_of_log(k)) begin_log(logs[segments.log_of(k)]);
      merged = k;
      counted.merge(t);
      if (t.failed) failed = segments.log_of(k);
    });
  }
  if (!in_segments) {
    block_scanner scanner(byte_source{});
    for (std::size_t i = 0; i < logs.size() && !failed; ++i) {
      if (i > 0) begin_log(logs[i]);
      // A lone log may be decoded on every CPU; several are decoded one after another.
      log_text log(file_bytes(logs[i].fd, logs[i].size, read), logs.size() == 1 ? workers : 1);
      scanner.restart([&log](char* buffer, std::size_t size) { return log.read(buffer, size); });
      while (std::optional<std::string_view> piece = scanner.next()) {
        if (std::optional<session> s = parse_line(*piece, run.any_day, day)) counted.add(*s);
      }
      if (scanner.failed()) failed = i;
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
  }
  nodes.write([](std::string& text, frames f) { text += nodes_foot(f); });
  if (nodes_report) nodes_report->write("\n");
  out.write("\n");

  std::vector<std::string> complaints;
  if (failed) complaints.push_back(quoted("Cannot read file", logs[*failed].name));
  close_report(ses_report, run.out_ses, complaints);
  close_report(nodes_report, run.out_nodes, complaints);
  return complaints;
}
