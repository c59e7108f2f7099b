// Preloaded into ornsum by the tests to give it the faults, the clock and the changing log that a
// test needs. Offsets in a pipe count from its first byte read.
// - READ_FAULT_AT=n: reads of the log (not the standard descriptors) end at offset n, and fail
//   with EIO from there on, as a failing disk would make them;
// - READ_SPLIT=n: a read of the log that would run past offset n ends there, as a pipe that has
//   delivered only the first n bytes ends it;
// - GROW_AT=n, SHRINK_AT=n: the first read of the log that would run past offset n first appends
//   a closing line to it, or truncates it to n bytes, as a writer or logrotate may during the run;
// - PAUSE_AT=n: reads of the log that would run past offset n wait until a file `go` exists;
// - WORKER_MALLOC_LIMIT=n, MAIN_MALLOC_LIMIT=n: every allocation of more than n bytes on a thread
//   other than the first, or on the first, fails;
// - NOW=t: the clock reads t;
// - CPUS=n: the process may run on n CPUs;
// - PEAK: at exit, the peak resident memory in KiB is written to a file `peak`.
#include <dlfcn.h>
#include <fcntl.h>
#include <sched.h>
#include <sys/types.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <mutex>
#include <string>

namespace {

template <typename Function>
Function real(const char* name) {
  return reinterpret_cast<Function>(::dlsym(RTLD_NEXT, name));
}

// The number a variable of the environment holds, or -1.
off_t setting(const char* name) {
  const char* value = std::getenv(name);
  return value == nullptr ? -1 : std::atoll(value);
}

// The file that fd is open on.
std::string path_of(int fd) {
  char path[4096];
  const ssize_t n = ::readlink(("/proc/self/fd/" + std::to_string(fd)).c_str(), path, sizeof path);
  return std::string(path, static_cast<std::size_t>(std::max<ssize_t>(n, 0)));
}

// Changes the log once, the first time a read would run past its offset `end`, or waits.
void change_log(int fd, off_t end) {
  static std::once_flag grown;
  static std::once_flag shrunk;
  const off_t grow = setting("GROW_AT");
  const off_t shrink = setting("SHRINK_AT");
  if (grow >= 0 && end > grow)
    std::call_once(grown, [fd] {
      const std::string line = "+ 05 Dec 23:59:59 [9] done (from 9:9/9, OK (1/1 bytes))\n";
      const int log = ::open(path_of(fd).c_str(), O_WRONLY | O_APPEND);
      if (::write(log, line.data(), line.size()) < 0) std::abort();
      ::close(log);
    });
  if (shrink >= 0 && end > shrink)
    std::call_once(shrunk, [fd, shrink] {
      if (::truncate(path_of(fd).c_str(), shrink) != 0) std::abort();
    });
  const off_t pause = setting("PAUSE_AT");
  while (pause >= 0 && end > pause && ::access("go", F_OK) != 0) ::usleep(1000);
}

// How many bytes from `offset` may be read; -1 with errno set when none may.
ssize_t readable(int fd, off_t offset, size_t wanted) {
  if (fd <= STDERR_FILENO || offset < 0) return static_cast<ssize_t>(wanted);
  change_log(fd, offset + static_cast<off_t>(wanted));
  const off_t split = setting("READ_SPLIT");
  if (offset < split) wanted = std::min<size_t>(wanted, static_cast<size_t>(split - offset));
  const off_t fault = setting("READ_FAULT_AT");
  if (fault < 0) return static_cast<ssize_t>(wanted);
  if (offset < fault) return static_cast<ssize_t>(std::min<off_t>(static_cast<off_t>(wanted), fault - offset));
  errno = EIO;
  return -1;
}

}  // namespace

extern "C" ssize_t read(int fd, void* buf, size_t nbytes) {
  static auto next = real<ssize_t (*)(int, void*, size_t)>("read");
  static std::atomic<off_t> piped{0};
  off_t offset = ::lseek(fd, 0, SEEK_CUR);
  const bool pipe = offset < 0 && errno == ESPIPE;
  if (pipe) offset = piped;
  ssize_t allowed = readable(fd, offset, nbytes);
  ssize_t n = allowed < 0 ? -1 : next(fd, buf, static_cast<size_t>(allowed));
  if (pipe && n > 0 && fd > STDERR_FILENO) piped += n;
  return n;
}

extern "C" ssize_t pread(int fd, void* buf, size_t nbytes, off_t offset) {
  static auto next = real<ssize_t (*)(int, void*, size_t, off_t)>("pread");
  ssize_t allowed = readable(fd, offset, nbytes);
  return allowed < 0 ? -1 : next(fd, buf, static_cast<size_t>(allowed), offset);
}

extern "C" void* malloc(size_t size) {
  static auto next = real<void* (*)(size_t)>("malloc");
  static const off_t worker_limit = setting("WORKER_MALLOC_LIMIT");
  static const off_t main_limit = setting("MAIN_MALLOC_LIMIT");
  const off_t limit = ::gettid() == ::getpid() ? main_limit : worker_limit;
  return limit >= 0 && static_cast<off_t>(size) > limit ? nullptr : next(size);
}

extern "C" time_t time(time_t* timer) {
  static auto next = real<time_t (*)(time_t*)>("time");
  const char* now = std::getenv("NOW");
  if (now == nullptr) return next(timer);
  time_t value = std::atoll(now);
  if (timer != nullptr) *timer = value;
  return value;
}

extern "C" int sched_getaffinity(pid_t pid, size_t size, cpu_set_t* set) {
  static auto next = real<int (*)(pid_t, size_t, cpu_set_t*)>("sched_getaffinity");
  const off_t cpus = setting("CPUS");
  if (cpus < 0) return next(pid, size, set);
  std::memset(set, 0, size);
  for (off_t i = 0; i < cpus; ++i) CPU_SET_S(static_cast<size_t>(i), size, set);
  return 0;
}

__attribute__((destructor)) void write_peak() {
  if (std::getenv("PEAK") == nullptr) return;
  char status[8192];
  const int fd = ::open("/proc/self/status", O_RDONLY);
  const ssize_t n = fd < 0 ? -1 : ::read(fd, status, sizeof status - 1);
  status[std::max<ssize_t>(n, 0)] = '\0';
  const char* peak = std::strstr(status, "VmHWM:");
  std::ofstream("peak") << (peak != nullptr ? std::atol(peak + 6) : -1) << "\n";
}
