// Checking the logs and opening the reports, and the refusals that keep stored bytes safe.
#include "report/files.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <map>
#include <utility>

#include "read/file_bytes.h"

std::string quoted(std::string_view what, std::string_view name) {
  return std::string(what) + ": \"" + std::string(name) + "\"\n\n";
}

std::string reason_line(std::string_view name, int error) {
  return "ornsum: \"" + std::string(name) + "\": " + failure_reason(error) + "\n";
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

file_id file_on(const log_file& log) { return log.size ? file_id{log.dev, log.ino} : file_on(log.fd); }

bool same(file_id a, file_id b) { return a.ino != 0 && a.dev == b.dev && a.ino == b.ino; }

// Checks a log by opening it: a regular file, its size noted, is closed again until it is read;
// anything else stays open. A directory is refused, since reading it would fail at once.
log_file check_log(const std::string& name) {
  const int fd = ::open(name.c_str(), O_RDONLY | O_CLOEXEC);
  struct stat st {};
  int error = fd < 0 ? errno : 0;
  if (fd >= 0 && ::fstat(fd, &st) != 0) error = errno;
  if (fd >= 0 && error == 0 && S_ISDIR(st.st_mode)) error = EISDIR;
  if (error != 0) {
    if (fd >= 0) ::close(fd);
    throw failure(quoted("Cannot open file", name) + reason_line(name, error));
  }
  if (!S_ISREG(st.st_mode)) return {name, std::nullopt, fd, st.st_dev, st.st_ino};
  ::close(fd);
  return {name, static_cast<std::uint64_t>(st.st_size), -1, st.st_dev, st.st_ino};
}

// A month of logs that are pipes is held open at once: the soft limit of open files is raised to
// the hard one.
void room_for_files(std::size_t logs) {
  struct rlimit limit;
  if (logs > 16 && ::getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur < limit.rlim_max) {
    limit.rlim_cur = limit.rlim_max;
    (void)::setrlimit(RLIMIT_NOFILE, &limit);
  }
}

// Opens a report for writing, creating it when missing; what it holds stays until every check
// has passed.
void open_report(std::optional<sink>& report, const std::optional<std::string>& name) {
  if (!name) return;
  int fd = ::open(name->c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0666);
  if (fd < 0) throw failure(quoted("Cannot open file", *name) + reason_line(*name, errno));
  report.emplace(fd, false);
}

}  // namespace

run_files::run_files(const settings& run, int out_fd, int err_fd) {
  try {
    open(run, out_fd, err_fd);
  } catch (...) {
    for (const log_file& log : logs_)
      if (log.fd >= 0) ::close(log.fd);
    throw;
  }
}

void run_files::open(const settings& run, int out_fd, int err_fd) {
  // With no log named, the empty name is the log that cannot be opened.
  const std::vector<std::string> names = run.log_names.empty() ? std::vector<std::string>{""} : run.log_names;
  room_for_files(names.size());
  logs_.reserve(names.size());
  const file_id err = file_on(err_fd);
  std::map<std::pair<dev_t, ino_t>, std::string> named;
  for (const std::string& name : names) {
    logs_.push_back(check_log(name));
    const file_id log = file_on(logs_.back());
    if (same(err, log)) throw failure("");
    if (log.ino == 0) continue;
    const auto [first, fresh] = named.try_emplace({log.dev, log.ino}, name);
    if (!fresh)
      warnings_.push_back("ornsum: warning: \"" + name + "\" is the file \"" + first->second +
                          "\" named before: it is read twice\n");
  }
  open_report(ses_, run.out_ses);
  open_report(nodes_, run.out_nodes);
  if (!run.export_to_stdout) open_report(export_, run.out_export);
  const file_id out = file_on(out_fd);
  // Each report, named as the messages name it.
  const std::pair<file_id, const std::optional<std::string>*> reports[] = {
      {file_on(ses_), &run.out_ses}, {file_on(nodes_), &run.out_nodes}, {file_on(export_), &run.out_export}};
  for (const log_file& log_file : logs_) {
    const file_id log = file_on(log_file);
    if (same(out, log)) throw failure(quoted("Standard output is the log", log_file.name));
    for (const auto& [report, name] : reports)
      if (same(report, log)) throw failure(quoted("Report file is the log", **name));
  }
  for (std::size_t i = 0; i < std::size(reports); ++i)
    for (std::size_t j = i + 1; j < std::size(reports); ++j)
      if (same(reports[i].first, reports[j].first))
        throw failure(quoted("Both reports name one file", **reports[j].second));
  for (const auto& [report, name] : reports)
    if (same(out, report)) throw failure(quoted("Standard output is the report", **name));
  for (const auto& [report, name] : reports)
    if (same(err, report)) throw failure(quoted("Standard error is the report", **name));
}

run_files::~run_files() {
  for (const log_file& log : logs_)
    if (log.fd >= 0) ::close(log.fd);
}

void run_files::truncate_reports(const settings& run) {
  for (auto [report, name] :
       {std::pair{ses(), &run.out_ses}, std::pair{nodes(), &run.out_nodes}, std::pair{exported(), &run.out_export}}) {
    struct stat st;
    if (report && ::fstat(report->fd(), &st) == 0 && S_ISREG(st.st_mode) && ::ftruncate(report->fd(), 0) != 0)
      throw failure(quoted("Cannot open file", **name) + reason_line(**name, errno));
  }
}
