#pragma once

// The module's name and version, the same in the log banner, LibGetInfo and
// the version resource.
namespace tessarn {
constexpr wchar_t kProductName[] = L"Tessarn";
constexpr int kVersionMajor = 2;
constexpr int kVersionMinor = 3;
constexpr int kVersionBuild = 21113;
constexpr int kVersionRevision = 0;
// The control's persisted version (1.0).
constexpr unsigned long kControlVersion = 0x00010000;
}  // namespace tessarn
