// Preloaded into ornsum by the tests to give it the faults and the clock a test needs:
// with READ_FAULT_AFTER=n, reads from files (not the standard descriptors) fail with EIO once n
// bytes have been read, as a failing disk would make them; with NOW=t, the clock reads t.
#include <dlfcn.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <ctime>

extern "C" ssize_t read(int fd, void* buf, size_t nbytes) {
  using read_function = ssize_t (*)(int, void*, size_t);
  static auto real = reinterpret_cast<read_function>(::dlsym(RTLD_NEXT, "read"));
  static const char* setting = std::getenv("READ_FAULT_AFTER");
  static long left = setting ? std::atol(setting) : -1;
  if (fd <= STDERR_FILENO || left < 0) return real(fd, buf, nbytes);
  if (left == 0) {
    errno = EIO;
    return -1;
  }
  ssize_t n = real(fd, buf, std::min(nbytes, static_cast<size_t>(left)));
  if (n > 0) left -= n;
  return n;
}

extern "C" time_t time(time_t* t) {
  using time_function = time_t (*)(time_t*);
  static auto real = reinterpret_cast<time_function>(::dlsym(RTLD_NEXT, "time"));
  const char* now = std::getenv("NOW");
  if (now == nullptr) return real(t);
  time_t value = std::atoll(now);
  if (t != nullptr) *t = value;
  return value;
}
