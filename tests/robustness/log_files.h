#pragma once
#include <cstddef>
#include <string>
#include <vector>

// The control's log files as a test reads them back.
namespace robustness {

// The user's temporary directory, without a trailing backslash.
std::wstring TempDir();

// Sets "LogDir" to a new, empty folder under the temporary directory; the
// control reads it when it is loaded, so call this before the first one is
// created.
bool PointLogDirAtFreshFolder();

// Every log file the control wrote: the temporary directory's and the
// "LogDir" folder's.
std::vector<std::wstring> LogFiles();

// Entry headers: "\r\nHH:MM:SS,mmm (Tid:x,T:L):" in the temporary directory,
// "\r\nHHMMSS x L:" in "LogDir". Answers the header's length at `at`, or 0.
size_t TempHeaderAt(const std::string& text, size_t at);
size_t DirHeaderAt(const std::string& text, size_t at);

// A log file's bytes, read once, and which sink wrote it.
struct LogFile {
  std::string text;
  bool temp;  // the temporary-directory file (else the "LogDir" one)
};
LogFile ReadLog(const std::wstring& path);

struct LogCheck {
  bool whole = false;
  size_t entries = 0;
  std::string problem;
};
// The file starts with an entry header, and no part of a header stands
// anywhere but in a whole header (a torn entry leaves one behind).
LogCheck CheckLog(const LogFile& log);

// The bodies of all entries, in file order.
std::vector<std::string> EntryBodies(const LogFile& log);

std::string ReadAll(const std::wstring& file);
std::string Narrow(const std::wstring& text);

}  // namespace robustness
