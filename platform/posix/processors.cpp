// The processors a thread may run on: its affinity mask, which a thread inherits from the one
// that started it, and so carries what taskset or a container's processor set allowed.
#include <sched.h>
#include <unistd.h>

#include "platform/platform.h"

namespace platform {

unsigned usableProcessorCount() {
  // A fixed cpu_set_t covers 1024 processors; larger machines need a larger set.
  for (int processors = CPU_SETSIZE; processors <= (1 << 16); processors *= 2) {
    cpu_set_t* set = CPU_ALLOC(processors);
    if (!set) break;
    std::size_t size = CPU_ALLOC_SIZE(processors);
    CPU_ZERO_S(size, set);
    int result = sched_getaffinity(0, size, set);
    int count = result == 0 ? CPU_COUNT_S(size, set) : 0;
    CPU_FREE(set);
    if (result == 0) return count > 0 ? static_cast<unsigned>(count) : 1;
  }
  long online = sysconf(_SC_NPROCESSORS_ONLN);
  return online > 0 ? static_cast<unsigned>(online) : 1;
}

}  // namespace platform
