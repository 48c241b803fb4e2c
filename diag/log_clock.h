#pragma once
#include <windows.h>

namespace diag {

// The local time the log reads. Tests replace the source to put an entry
// just before local midnight; everything else uses GetLocalTime.
using LocalTimeSource = void (*)(SYSTEMTIME*);
void ReadLocalTime(SYSTEMTIME* out);
// Returns the previous source; nullptr restores GetLocalTime.
LocalTimeSource SetLocalTimeSourceForTesting(LocalTimeSource source);

}  // namespace diag
