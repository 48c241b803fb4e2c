#pragma once

// Result values used only inside the diagnostics code; none reaches a caller
// of the control.
namespace diag {
constexpr int kOk = 0;
constexpr int kBadSize = -1;
constexpr int kNullArgument = -2;
constexpr int kNoMemory = -3;
constexpr int kEmptyPath = -18;
constexpr int kBadGrowSize = -150;
constexpr int kNoTempDirectory = -500;
constexpr int kNotALevel = -501;  // also: the level does not let a message through
constexpr int kNoLogDirectory = -502;
}  // namespace diag
