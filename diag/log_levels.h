#pragma once

namespace diag {

// The level names, indexed by level number: NONE, FATAL, ERROR, WARNING,
// INFO, DEBUG, TRACE.
extern const wchar_t* const kLevelNames[7];

// The level a name stands for, without regard to case; -1 for a null, empty
// or unknown name.
int LevelFromName(const wchar_t* name);

}  // namespace diag
