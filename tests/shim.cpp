// Preloaded into ornsum by the tests to give it the faults and the clock that a test needs:
// - READ_FAULT_AT=n: reads from files (not the standard descriptors) end at offset n, and fail
//   with EIO from there on, as a failing disk would make them;
// - WORKER_MALLOC_FAILS: every allocation on a thread other than the first fails;
// - NOW=t: the clock reads t.
#include <dlfcn.h>
#include <sys/types.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <ctime>

namespace {

template <typename Function>
Function real(const char* name) {
  return reinterpret_cast<Function>(::dlsym(RTLD_NEXT, name));
}

// How many bytes from `offset` may be read; -1 with errno set when none may.
ssize_t readable(int fd, off_t offset, size_t wanted) {
  static const char* setting = std::getenv("READ_FAULT_AT");
  if (setting == nullptr || fd <= STDERR_FILENO || offset < 0) return static_cast<ssize_t>(wanted);
  const off_t fault = std::atoll(setting);
  if (offset < fault) return static_cast<ssize_t>(std::min<off_t>(static_cast<off_t>(wanted), fault - offset));
  errno = EIO;
  return -1;
}

}  // namespace

extern "C" ssize_t read(int fd, void* buf, size_t nbytes) {
  static auto next = real<ssize_t (*)(int, void*, size_t)>("read");
  ssize_t allowed = readable(fd, ::lseek(fd, 0, SEEK_CUR), nbytes);
  return allowed < 0 ? -1 : next(fd, buf, static_cast<size_t>(allowed));
}

extern "C" ssize_t pread(int fd, void* buf, size_t nbytes, off_t offset) {
  static auto next = real<ssize_t (*)(int, void*, size_t, off_t)>("pread");
  ssize_t allowed = readable(fd, offset, nbytes);
  return allowed < 0 ? -1 : next(fd, buf, static_cast<size_t>(allowed), offset);
}

extern "C" void* malloc(size_t size) {
  static auto next = real<void* (*)(size_t)>("malloc");
  static const bool fails = std::getenv("WORKER_MALLOC_FAILS") != nullptr;
  return fails && ::gettid() != ::getpid() ? nullptr : next(size);
}

extern "C" time_t time(time_t* timer) {
  static auto next = real<time_t (*)(time_t*)>("time");
  const char* now = std::getenv("NOW");
  if (now == nullptr) return next(timer);
  time_t value = std::atoll(now);
  if (timer != nullptr) *timer = value;
  return value;
}
