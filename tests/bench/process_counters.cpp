#include "tests/bench/process_counters.h"

#include <psapi.h>
#include <winternl.h>

#include <algorithm>
#include <cstddef>
#include <vector>

namespace bench {
namespace {

// The system's handle list (SystemHandleInformation): one entry per open
// handle of every process. Its layout is the platform's; the header and
// entries are aligned as the system writes them.
constexpr SYSTEM_INFORMATION_CLASS kSystemHandleInformation = static_cast<SYSTEM_INFORMATION_CLASS>(16);
struct HandleEntry {
  ULONG ownerPid;
  BYTE objectType;
  BYTE flags;
  USHORT value;
  PVOID object;
  ACCESS_MASK access;
};
struct HandleList {
  ULONG count;
  HandleEntry entries[1];
};

// This process's handles from the system's list: one request to the
// system, where probing every handle value is one per value (under
// emulation, minutes for the leak test's counts). False when the list
// cannot be had.
bool CountFromSystemList(unsigned long* count) {
  std::vector<BYTE> buffer(1 << 16);
  for (int attempt = 0; attempt < 16; ++attempt) {
    ULONG needed = 0;
    NTSTATUS status = NtQuerySystemInformation(kSystemHandleInformation, buffer.data(),
                                               static_cast<ULONG>(buffer.size()), &needed);
    if (status == static_cast<NTSTATUS>(0xC0000004L)) {  // STATUS_INFO_LENGTH_MISMATCH
      buffer.resize(std::max<size_t>(buffer.size() * 2, needed + 4096));
      continue;
    }
    if (status < 0) return false;
    const HandleList* list = reinterpret_cast<const HandleList*>(buffer.data());
    const size_t room = (buffer.size() - offsetof(HandleList, entries)) / sizeof(HandleEntry);
    if (list->count > room) return false;
    const ULONG self = GetCurrentProcessId();
    unsigned long mine = 0;
    for (ULONG i = 0; i < list->count; ++i)
      if (list->entries[i].ownerPid == self) ++mine;
    *count = mine;
    return true;
  }
  return false;
}

}  // namespace

unsigned long CountHandles(ULONG_PTR limit) {
  unsigned long count = 0;
  if (CountFromSystemList(&count)) return count;
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
