// Preloaded by bench/run to make a program believe it may run on CPUS processors (at most 1024),
// so that its memory can be measured as on a large machine.
#include <sched.h>

#include <cstdlib>
#include <cstring>

extern "C" int sched_getaffinity(pid_t /*pid*/, size_t size, cpu_set_t* set) {
  const char* setting = std::getenv("CPUS");
  const long cpus = setting != nullptr ? std::atol(setting) : 1;
  std::memset(set, 0, size);
  for (long i = 0; i < cpus && static_cast<size_t>(i) < 8 * size; ++i) CPU_SET_S(static_cast<size_t>(i), size, set);
  return 0;
}
