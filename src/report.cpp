// The report run: the scan of the log, on one thread or in segments, and both tables written.
#include "report.h"

#include <algorithm>
#include <ctime>
#include <limits>
#include <optional>
#include <system_error>

#include "log_text.h"
#include "nodes.h"
#include "parse.h"
#include "progress.h"
#include "scanner.h"
#include "segments.h"
#include "tables.h"

namespace {

// The console (absent under -q) and one report (absent when not named): each piece of a table goes
// to both, each with the frames of the run's plan.
class destinations {
 public:
  destinations(sink* console, sink* report, frame_plan plan) : console_(console), report_(report), plan_(plan) {}

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

// A regular file of at least two segments is read on every CPU the process may use, up to
// max_workers, in segments of segment_size bytes. The workers number the addresses and draw the
// rows; past eight of them, the one merge, which still takes every session in log order, would
// set the pace and more would only add memory.
constexpr std::uint64_t segment_size = std::uint64_t{4} << 20;
constexpr unsigned max_workers = 8;
// A segment's sessions go to the merge in parts of chunk_bytes, and the segments that wait for
// their turn hold at most budget bytes of parts between them: memory stays the same however
// many CPUs there are and however long a line is.
constexpr std::size_t chunk_bytes = std::size_t{64} * 1024;
constexpr std::size_t budget = std::size_t{1} << 20;

// Whether the regular file on fd, of `size` bytes, opens with a tar header, read apart from the
// scan for the segments, which do not go through the log's text.
bool opens_as_tar(int fd, std::uint64_t size) {
  char opening[tar_opening];
  const ssize_t n = read_log(fd, opening, sizeof opening, size, 0);
  return n > 0 && tar_header(std::string_view(opening, static_cast<std::size_t>(n)));
}

// The number of the next session: one more, or the bound, where it stops rather than wrap.
std::int64_t after(std::int64_t number) {
  return number == std::numeric_limits<std::int64_t>::max() ? number : number + 1;
}

// The Sessions History as it is counted: the session number, the grand totals and the node table,
// and the destinations each session's row goes to as soon as it is counted.
class history {
 public:
  history(destinations& rows, sink& out) : rows_(rows), out_(out) {}
  history(const history&) = delete;
  history& operator=(const history&) = delete;

  // Counts a session found by a scan of the whole log. Its row goes out at once; its bytes wait
  // for the node table with those of the sessions after it, up to batch of them.
  void add(const session& s) {
    number_ = after(number_);
    waiting_.add(s, scan_options{});
    if (waiting_.sessions() == batch) count_waiting();
    if (!rows_.any()) return;
    rows_.write_rows([&](std::string& text, frames f) {
      append_row_number(text, number_, f);
      append_session_cells(text, s, f);
    });
    out_.push();
  }

  // Counts a segment's sessions, numbered on from those of the segments before it.
  void merge(const tally& t) {
    const std::int64_t before = number_;
    for (std::size_t i = 0; i < t.sessions(); ++i) number_ = after(number_);
    count(t);
    failed = t.failed;
    if (rows_.any()) {
      rows_.write_rows([&](std::string& text, frames f) {
        std::int64_t number = before;
        for (std::size_t i = 0; i < t.sessions(); ++i) {
          number = after(number);
          append_row_number(text, number, f);
          text += t.rows[static_cast<std::size_t>(f)][i];
        }
      });
    }
    out_.push();
  }

  // Counts the sessions that wait, once the scan of the whole log has ended.
  void finish() { count_waiting(); }

  total sent = 0;
  total rcvd = 0;
  address_book book;
  node_table nodes{book};
  bool failed = false;  // reading stopped on an error

 private:
  // Sessions of the scan of the whole log go to the node table in batches of this many, so that
  // the table's memory is fetched for several at once.
  static constexpr std::size_t batch = 1024;

  // Adds the bytes of a tally, its addresses numbered, to the totals and the node table.
  void count(const tally& t) {
    nodes.add_node_bytes(t.ids, t.counts);
    sent += t.sent;
    rcvd += t.rcvd;
  }

  // Counts the sessions that wait and empties the tally of them, keeping its room.
  void count_waiting() {
    waiting_.number(book);
    count(waiting_);
    waiting_.ids.clear();
    waiting_.counts.clear();
    waiting_.sent = 0;
    waiting_.rcvd = 0;
  }

  destinations& rows_;
  sink& out_;
  std::int64_t number_ = 0;
  tally waiting_;  // sessions whose bytes wait for the node table
};

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
  const std::string log_name = *run.log_name;
  tell("Processing file: \"" + log_name + "\"...\n");
  sink* ses_report = files.ses();
  sink* nodes_report = files.nodes();

  sink* console = run.q ? nullptr : &out;
  destinations sessions(console, ses_report, plan);
  sessions.write([](std::string& text, frames f) { text += sessions_head(f); });
  out.push();

  history counted(sessions, out);
  const std::optional<std::uint64_t> log_size = files.log_size();
  std::optional<progress> shown;
  try {
    if (show_progress) shown.emplace(log_size);
  } catch (const std::system_error&) {
    // No thread to show it: the run goes on without.
  }
  std::atomic<std::uint64_t>* read = shown ? &shown->counter() : nullptr;
  const scan_options options{run.any_day, day, {sessions.wants(frames::koi8), sessions.wants(frames::utf8)}, read};
  const segment_plan segmenting{segment_size, std::min(usable_cpus(), max_workers), chunk_bytes, budget};
  log_text log(file_bytes(files.log(), log_size, read), segmenting.workers);
  bool in_segments = false;
  if (log.format() == compression::none && segmenting.workers > 1 && log_size && *log_size >= 2 * segment_size) {
    // The segments read again the first bytes that told the format, and count them again.
    const std::uint64_t told = read != nullptr ? read->exchange(0) : 0;
    in_segments = !opens_as_tar(files.log(), *log_size) &&
                  scan_segments(files.log(), *log_size, segmenting, options, counted.book,
                                [&counted](tally& t) { counted.merge(t); });
    if (!in_segments && read != nullptr) *read += told;
  }
  if (!in_segments) {
    block_scanner scanner([&log](char* buffer, std::size_t size) { return log.read(buffer, size); });
    while (std::optional<std::string_view> piece = scanner.next()) {
      if (std::optional<session> s = parse_line(*piece, run.any_day, day)) counted.add(*s);
    }
    counted.finish();
    counted.failed = scanner.failed();
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
  if (counted.failed) complaints.push_back(quoted("Cannot read file", log_name));
  close_report(ses_report, run.out_ses, complaints);
  close_report(nodes_report, run.out_nodes, complaints);
  return complaints;
}
