// Opening the log and the reports, and the refusals that keep stored bytes safe.
#include "files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

std::string quoted(std::string_view what, std::string_view name) {
  return std::string(what) + ": \"" + std::string(name) + "\"\n\n";
}

namespace {

// Where a file's bytes are stored; two descriptors with the same identity reach the same bytes.
// No file has inode 0, which stands for no identity.
struct file_id {
  dev_t dev = 0;
  ino_t ino = 0;
};

// Terminals and other character devices, pipes, FIFOs and sockets store no bytes that a write
// could destroy, and have no identity here.
file_id file_on(int fd) {
  struct stat st;
  if (::fstat(fd, &st) != 0 || S_ISCHR(st.st_mode) || S_ISFIFO(st.st_mode) || S_ISSOCK(st.st_mode)) return {};
  return {st.st_dev, st.st_ino};
}

file_id file_on(const std::optional<sink>& report) { return report ? file_on(report->fd()) : file_id{}; }

bool same(file_id a, file_id b) { return a.ino != 0 && a.dev == b.dev && a.ino == b.ino; }

// Opens the log for reading, noting the size of a regular file; a directory is refused, since
// reading it would fail at once.
int open_log(const std::string& name, std::optional<std::uint64_t>& size) {
  int fd = ::open(name.c_str(), O_RDONLY | O_CLOEXEC);
  struct stat st;
  if (fd >= 0 && (::fstat(fd, &st) != 0 || S_ISDIR(st.st_mode))) {
    ::close(fd);
    fd = -1;
  }
  if (fd < 0) throw failure(quoted("Cannot open file", name));
  if (S_ISREG(st.st_mode)) size = static_cast<std::uint64_t>(st.st_size);
  return fd;
}

// Opens a report for writing, creating it when missing; what it holds stays until every check
// has passed.
void open_report(std::optional<sink>& report, const std::optional<std::string>& name) {
  if (!name) return;
  int fd = ::open(name->c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0666);
  if (fd < 0) throw failure(quoted("Cannot open file", *name));
  report.emplace(fd, false);
}

}  // namespace

run_files::run_files(const settings& run, int out_fd, int err_fd)
    : log_(open_log(run.log_name.value_or(""), log_size_)) {
  try {
    const file_id log = file_on(log_);
    const file_id err = file_on(err_fd);
    if (same(err, log)) throw failure("");
    open_report(ses_, run.out_ses);
    open_report(nodes_, run.out_nodes);
    const file_id out = file_on(out_fd);
    const file_id ses = file_on(ses_);
    const file_id nodes = file_on(nodes_);
    if (same(out, log)) throw failure(quoted("Standard output is the log", *run.log_name));
    if (same(ses, log)) throw failure(quoted("Report file is the log", *run.out_ses));
    if (same(nodes, log)) throw failure(quoted("Report file is the log", *run.out_nodes));
    if (same(ses, nodes)) throw failure(quoted("Both reports name one file", *run.out_nodes));
    if (same(out, ses)) throw failure(quoted("Standard output is the report", *run.out_ses));
    if (same(out, nodes)) throw failure(quoted("Standard output is the report", *run.out_nodes));
    if (same(err, ses)) throw failure(quoted("Standard error is the report", *run.out_ses));
    if (same(err, nodes)) throw failure(quoted("Standard error is the report", *run.out_nodes));
  } catch (...) {
    ::close(log_);
    throw;
  }
}

run_files::~run_files() { ::close(log_); }

void run_files::truncate_reports(const settings& run) {
  for (auto [report, name] : {std::pair{ses(), &run.out_ses}, std::pair{nodes(), &run.out_nodes}}) {
    struct stat st;
    if (report && ::fstat(report->fd(), &st) == 0 && S_ISREG(st.st_mode) && ::ftruncate(report->fd(), 0) != 0)
      throw failure(quoted("Cannot open file", **name));
  }
}
