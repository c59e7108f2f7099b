#include "run.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace {

std::string slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return "<absent>";
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

}  // namespace

scratch::scratch() {
  std::string pattern = std::filesystem::temp_directory_path() / "ornsum-test-XXXXXX";
  if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp");
  dir_ = pattern;
}

scratch::~scratch() { std::filesystem::remove_all(dir_); }

std::string scratch::path(const std::string& name) const { return dir_ + "/" + name; }

void scratch::put(const std::string& name, const std::string& bytes) const {
  std::ofstream(path(name), std::ios::binary) << bytes;
}

std::string scratch::get(const std::string& name) const { return slurp(path(name)); }

int scratch::start(const launch& l) const {
  const std::string out_path = path(".stdout");
  const std::string err_path = path(".stderr");
  int pipe_fds[2];
  if (::pipe(pipe_fds) != 0) throw std::runtime_error("pipe");
  // The reader is gone before the program starts, so every write to the pipe fails, however
  // soon the program ends.
  ::close(pipe_fds[0]);
  pid_t pid = ::fork();
  if (pid == 0) {
    if (::chdir(dir_.c_str()) != 0) ::_exit(127);
    ::dup2(::open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644), STDERR_FILENO);
    switch (l.stdout_kind) {
      case output::file:
        ::dup2(::open(out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644), STDOUT_FILENO);
        break;
      case output::appended:
        ::dup2(::open(l.stdout_path.c_str(), O_WRONLY | O_APPEND), STDOUT_FILENO);
        break;
      case output::closed:
        ::close(STDOUT_FILENO);
        break;
      case output::broken_pipe:
        ::dup2(pipe_fds[1], STDOUT_FILENO);
        break;
      case output::descriptor:
        ::dup2(l.stdout_fd, STDOUT_FILENO);
        break;
    }
    ::close(pipe_fds[1]);
    for (const std::string& setting : l.env) ::putenv(const_cast<char*>(setting.c_str()));
    if (l.address_space_kib > 0) {
      auto bytes = static_cast<rlim_t>(l.address_space_kib) * 1024;
      struct rlimit limit {
        bytes, bytes
      };
      ::setrlimit(RLIMIT_AS, &limit);
    }
    std::vector<char*> argv{const_cast<char*>(ORNSUM_BINARY)};
    for (const std::string& arg : l.args) argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    ::execv(ORNSUM_BINARY, argv.data());
    ::_exit(127);
  }
  ::close(pipe_fds[1]);
  return pid;
}

outcome scratch::wait(int pid, const launch& l) const {
  const std::string out_path = path(".stdout");
  const std::string err_path = path(".stderr");
  int status = 0;
  struct rusage usage {};
  ::wait4(pid, &status, 0, &usage);
  outcome o;
  o.peak_kib = usage.ru_maxrss;
  o.out = l.stdout_kind == output::file ? slurp(out_path) : "";
  o.err = slurp(err_path);
  o.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  ::unlink(out_path.c_str());
  ::unlink(err_path.c_str());
  return o;
}

std::string koi8(const std::string& utf8) {
  static const std::pair<std::string, char> boxes[] = {{"─", '\x80'}, {"│", '\x81'}, {"┌", '\x82'}, {"┐", '\x83'},
                                                       {"└", '\x84'}, {"┘", '\x85'}, {"├", '\x86'}, {"┤", '\x87'},
                                                       {"┬", '\x88'}, {"┴", '\x89'}, {"┼", '\x8A'}};
  std::string bytes;
  for (std::size_t i = 0; i < utf8.size();) {
    bool boxed = false;
    for (const auto& [glyph, byte] : boxes) {
      if (utf8.compare(i, glyph.size(), glyph) == 0) {
        bytes += byte;
        i += glyph.size();
        boxed = true;
        break;
      }
    }
    if (!boxed) bytes += utf8[i++];
  }
  return bytes;
}
