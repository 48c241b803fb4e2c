#pragma once
#include <windows.h>

// What a process holds, as the benchmark's soak and the handle probe read
// it.
namespace bench {

// Open handles of this process: from the system's handle list, or, where
// that cannot be had, by probing every handle value below `limit` (Wine
// does not count them for GetProcessHandleCount).
unsigned long CountHandles(ULONG_PTR limit);

// Private bytes: the platform's pagefile usage (Wine leaves PrivateUsage at
// 0; Windows gives both the same value).
unsigned long long PrivateBytes();

}  // namespace bench
