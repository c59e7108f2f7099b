#include "report.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <ctime>
#include <optional>

#include "nodes.h"
#include "parse.h"
#include "scanner.h"
#include "tables.h"

namespace {

std::string quoted(std::string_view what, std::string_view name) {
  return std::string(what) + ": \"" + std::string(name) + "\"\n\n";
}

// Where a file lives; two names or descriptors with the same identity reach the same bytes.
struct file_id {
  dev_t dev;
  ino_t ino;
  bool operator==(const file_id&) const = default;
};

// Terminals and other character devices have no stored bytes a write could destroy.
std::optional<file_id> id_of(const struct stat& st) {
  if (S_ISCHR(st.st_mode)) return std::nullopt;
  return file_id{st.st_dev, st.st_ino};
}

std::optional<file_id> file_on(int fd) {
  struct stat st;
  if (::fstat(fd, &st) != 0) return std::nullopt;
  return id_of(st);
}

std::optional<file_id> file_named(const std::optional<std::string>& name) {
  struct stat st;
  if (!name || ::stat(name->c_str(), &st) != 0) return std::nullopt;
  return id_of(st);
}

bool same(const std::optional<file_id>& a, const std::optional<file_id>& b) { return a && a == b; }

// An open file descriptor, closed when it goes out of scope.
class descriptor {
 public:
  explicit descriptor(int fd) : fd_(fd) {}
  ~descriptor() { ::close(fd_); }
  descriptor(const descriptor&) = delete;
  descriptor& operator=(const descriptor&) = delete;
  int get() const { return fd_; }

 private:
  int fd_;
};

// Opens the log for reading; a directory is refused, since reading it would fail at once.
int open_log(const std::string& name) {
  int fd = ::open(name.c_str(), O_RDONLY | O_CLOEXEC);
  struct stat st;
  if (fd >= 0 && (::fstat(fd, &st) != 0 || S_ISDIR(st.st_mode))) {
    ::close(fd);
    fd = -1;
  }
  if (fd < 0) throw failure(quoted("Cannot open file", name));
  return fd;
}

// Creates or truncates a report, as fopen(name, "wb") does.
std::optional<sink> create_report(const std::optional<std::string>& name) {
  if (!name) return std::nullopt;
  int fd = ::open(name->c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (fd < 0) throw failure(quoted("Cannot open file", *name));
  return std::optional<sink>(std::in_place, fd, false);
}

// Refuses, before any report is created or truncated, a run that would write over the log or
// make two destinations share one file.
void refuse_clobbering(const settings& run, const std::string& log_name, int log_fd, int out_fd) {
  std::optional<file_id> log = file_on(log_fd);
  std::optional<file_id> out = file_on(out_fd);
  std::optional<file_id> ses = file_named(run.out_ses);
  std::optional<file_id> nodes = file_named(run.out_nodes);
  if (!run.q && same(out, log)) throw failure(quoted("Standard output is the log", log_name));
  if (same(ses, log)) throw failure(quoted("Report file is the log", *run.out_ses));
  if (same(nodes, log)) throw failure(quoted("Report file is the log", *run.out_nodes));
  bool same_text = run.out_ses && run.out_nodes && !run.out_ses->empty() && *run.out_ses == *run.out_nodes;
  if (same_text || same(ses, nodes)) throw failure(quoted("Both reports name one file", *run.out_nodes));
  if (same(out, ses)) throw failure(quoted("Standard output is the report", *run.out_ses));
  if (same(out, nodes)) throw failure(quoted("Standard output is the report", *run.out_nodes));
}

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
void close_report(std::optional<sink>& report, const std::optional<std::string>& name,
                  std::vector<std::string>& complaints) {
  if (!report) return;
  report->close();
  if (report->failed()) complaints.push_back(quoted("Cannot write file", *name));
}

}  // namespace

std::vector<std::string> scan_log(const settings& run, sink& out) {
  const std::optional<std::string> today = today_text(std::time(nullptr));
  if (run.any_day && !today) throw failure("Cannot read the current date\n\n");
  const std::string_view day = today ? std::string_view(*today) : std::string_view();
  const std::string log_name = run.log_name.value_or("");
  descriptor log(open_log(log_name));
  refuse_clobbering(run, log_name, log.get(), out.fd());
  std::optional<sink> ses_report = create_report(run.out_ses);
  // A report name that did not exist before may still lead to the file just created.
  if (ses_report && same(file_named(run.out_nodes), file_on(ses_report->fd())))
    throw failure(quoted("Both reports name one file", *run.out_nodes));
  std::optional<sink> nodes_report = create_report(run.out_nodes);
  tell("Processing file: \"" + log_name + "\"...\n");

  sink* console = run.q ? nullptr : &out;
  destinations sessions{console, ses_report ? &*ses_report : nullptr};
  sessions.write(sessions_head());
  out.push();

  std::int64_t number = 0;
  std::int64_t total_sent = 0;
  std::int64_t total_rcvd = 0;
  node_table table;
  std::string row;
  block_scanner scanner(log.get());
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

  destinations nodes{console, nodes_report ? &*nodes_report : nullptr};
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
