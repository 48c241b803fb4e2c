#include "tests/bench/process_counters.h"

#include <psapi.h>

namespace bench {

unsigned long CountHandles(ULONG_PTR limit) {
  unsigned long count = 0;
  for (ULONG_PTR value = 4; value < limit; value += 4) {
    DWORD flags;
    if (GetHandleInformation(reinterpret_cast<HANDLE>(value), &flags)) ++count;
  }
  return count;
}

unsigned long long PrivateBytes() {
  PROCESS_MEMORY_COUNTERS memory = {};
  memory.cb = sizeof(memory);
  GetProcessMemoryInfo(GetCurrentProcess(), &memory, sizeof(memory));
  return static_cast<unsigned long long>(memory.PagefileUsage);
}

}  // namespace bench
