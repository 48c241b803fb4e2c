#pragma once
// What one page can make the log write: bounded per argument and per day.
// The values are documented in docs/logging.md.
#include <cstddef>
#include <cstdint>
#include <string>

namespace diag {

// A text argument (%s) of an entry is written up to this many characters;
// the rest is left out and the marker kCutMarker says how much.
constexpr size_t kMaxArgumentChars = 4096;
// A cut argument is followed by the marker "... [N more characters]", N
// the count left out: ASCII, so that it reads the same in every log
// encoding.

// A daily log file grows to at most this many bytes (32 MiB). The entry
// that would pass the limit, less the room kept for the limit entry, is
// replaced by the limit entry (a WARNING whose text is kDayLimitText), and
// nothing more is written into that file: the next day has a file of its
// own.
constexpr uint64_t kMaxDayFileBytes = 32u * 1024 * 1024;
constexpr uint64_t kDayLimitRoom = 512;
constexpr const wchar_t* kDayLimitText =
    L"Log file size limit of 33554432 bytes reached: nothing more is written to this file today.";

// The argument cut: `text` as an entry holds it.
void CutArgument(std::wstring* text);
std::wstring CutArgument(const wchar_t* text, size_t length);

// Whether an entry of `entryBytes` may be appended to a file of
// `fileBytes`, or the limit line is due instead, or nothing at all (the
// limit line is written already, which `endsWithLimitLine` tells).
enum class DayBudget { kWrite, kWriteLimitLine, kDrop };
DayBudget Budget(uint64_t fileBytes, uint64_t entryBytes, bool endsWithLimitLine);

}  // namespace diag
