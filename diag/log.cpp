#include "diag/log.h"

#include <cstdint>
#include <cstdio>
#include <cwchar>
#include <cwctype>

#include "certutil/crypt_handles.h"
#include "diag/diag_codes.h"
#include "diag/log_clock.h"
#include "diag/log_format.h"
#include "diag/log_levels.h"
#include "diag/log_limits.h"
#include "diag/registry_settings.h"

using namespace diag;

namespace {

static_assert(sizeof(kLevelNames) / sizeof(kLevelNames[0]) == kLogLevelCount, "one name per level");

// The sharing the two sinks ask for: the directory file is shared with every
// other writer, the temporary-directory file with none.
enum class Sharing { kShared, kExclusive };

// Writers that share the directory file take turns through a one-byte lock
// far beyond any data, held only around the single write of an entry:
// appending alone places writes at the end atomically on Windows, but not
// under every implementation of the platform (two writers can pick the same
// end and overwrite each other). The turn is a courtesy, never a condition:
// an entry is never dropped for want of it.
// - Only ERROR_LOCK_VIOLATION (another writer holds the byte) is waited
//   for; any other failure of the lock (a handle or file system that cannot
//   lock) writes at once.
// - The wait is bounded. A writer holds the byte only for one write, but a
//   loaded machine may deschedule it for a while: under Wine, where two
//   appends can overwrite each other, a shorter bound lost entries between
//   busy writers, so the bound is generous.
// - A holder that keeps the byte beyond that wait is not waited for again
//   until the byte is seen free: the following entries try once and write,
//   so a stuck holder costs one wait, not one per entry.
class AppendTurn {
 public:
  AppendTurn(HANDLE file, Sharing sharing) : m_file(file) {
    if (sharing == Sharing::kExclusive) return;
    m_region.OffsetHigh = 0x7FFFFFFF;
    bool wait = !s_holderStuck.load(std::memory_order_relaxed);
    LARGE_INTEGER frequency = {}, start = {}, now = {};
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&start);
    for (int attempt = 0;; ++attempt) {
      if (LockFileEx(m_file, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &m_region)) {
        m_locked = true;
        s_holderStuck.store(false, std::memory_order_relaxed);
        return;
      }
      if (GetLastError() != ERROR_LOCK_VIOLATION || !wait) return;
      QueryPerformanceCounter(&now);
      if ((now.QuadPart - start.QuadPart) * 1000 >= kWaitMilliseconds * frequency.QuadPart) {
        s_holderStuck.store(true, std::memory_order_relaxed);
        return;
      }
      // Another writer holds the byte for the length of one write: yield
      // first, then sleep the shortest time the system offers.
      Sleep(attempt < 16 ? 0 : 1);
    }
  }
  ~AppendTurn() {
    if (m_locked) UnlockFileEx(m_file, 0, 1, 0, &m_region);
  }
  AppendTurn(const AppendTurn&) = delete;
  AppendTurn& operator=(const AppendTurn&) = delete;

 private:
  static constexpr LONGLONG kWaitMilliseconds = 1000;
  static std::atomic<bool> s_holderStuck;
  HANDLE m_file;
  OVERLAPPED m_region = {};
  bool m_locked = false;
};

std::atomic<bool> AppendTurn::s_holderStuck{false};

// Whether the file ends with the day's limit entry: then nothing more is
// written into it, by this process or any other.
bool EndsWithLimitEntry(HANDLE file, uint64_t size) {
  static const std::string tail = ToLogBytes(kDayLimitText);
  if (size < tail.size()) return false;
  std::string read(tail.size(), '\0');
  OVERLAPPED at = {};
  uint64_t offset = size - tail.size();
  at.Offset = static_cast<DWORD>(offset);
  at.OffsetHigh = static_cast<DWORD>(offset >> 32);
  DWORD got = 0;
  if (!ReadFile(file, &read[0], static_cast<DWORD>(read.size()), &got, &at)) return false;
  return got == read.size() && read == tail;
}

// Opens the file for appending and writes the header and the message, with
// text-mode line breaks (CR LF), in one write, then closes it. The
// temporary-directory file is opened unshared, so a writer that meets
// another loses its entry; the directory file is shared and its writers take
// turns (AppendTurn). Byte-range locks need read or write data access on the
// handle (Windows refuses them on an append-only handle): read access is
// added, and without write data access every write still lands at the end.
// Read access also lets the day's limit be found at the file's end.
// A file grows to kMaxDayFileBytes at most: the entry that would pass the
// limit is replaced by the limit entry, and later ones are dropped.
void AppendEntry(const wchar_t* fileName, Sharing sharing, const std::wstring& header, const wchar_t* format,
                 va_list args) {
  std::string bytes;
  try {
    bytes = ToTextMode(ToLogBytes(header + FormatEntryV(format, args)));
  } catch (...) {
    return;  // out of memory: the entry is dropped, as every log failure is
  }
  if (bytes.size() > 0xFFFFFFFFu) return;
  DWORD share = sharing == Sharing::kShared ? FILE_SHARE_READ | FILE_SHARE_WRITE : 0;
  DWORD access = FILE_APPEND_DATA | SYNCHRONIZE | FILE_READ_DATA;
  ScopedFileHandle file(CreateFileW(fileName, access, share, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return;
  AppendTurn turn(file.Get(), sharing);
  LARGE_INTEGER size = {};
  if (!GetFileSizeEx(file.Get(), &size)) return;
  const uint64_t fileBytes = static_cast<uint64_t>(size.QuadPart);
  // The file's end is read only when the limit can be near.
  bool limited = fileBytes >= kMaxDayFileBytes / 2 && EndsWithLimitEntry(file.Get(), fileBytes);
  switch (Budget(fileBytes, bytes.size(), limited)) {
    case DayBudget::kDrop:
      return;
    case DayBudget::kWriteLimitLine: {
      // The entry's own header, at WARNING, with the limit's text.
      // Its letter stands before the closing ":" (directory file) or "):"
      // (temporary-directory file).
      std::wstring limitHeader = header;
      size_t letter = limitHeader.size() >= 3 && limitHeader.compare(limitHeader.size() - 2, 2, L"):") == 0
                          ? limitHeader.size() - 3
                          : limitHeader.size() - 2;
      if (limitHeader.size() >= 3) limitHeader[letter] = L'W';
      try {
        bytes = ToTextMode(ToLogBytes(limitHeader + kDayLimitText));
      } catch (...) {
        return;
      }
      break;
    }
    case DayBudget::kWrite:
      break;
  }
  DWORD written = 0;
  WriteFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}

}  // namespace

// ---- CMyLog -------------------------------------------------------------

CMyLog::CMyLog(bool processWide)
    : m_level(registry_settings::kLogLevel.root, registry_settings::kLogLevel.key, registry_settings::kLogLevel.value,
              L"TRACE"),
      m_dir(registry_settings::kLogDir.root, registry_settings::kLogDir.key, registry_settings::kLogDir.value, L""),
      m_processWide(processWide) {
  if (wchar_t* level = m_level.MutableText()) {
    for (; *level; ++level) *level = static_cast<wchar_t>(towupper(*level));
  }
  if (m_processWide) CMyLogCommon::AttachDirSink(this);
  theLog.Debug(L"CMyLog configuration: level [%s], dir [%s]", m_level.Text(), m_dir.Text());
}

CMyLog::~CMyLog() {
  if (m_processWide) CMyLogCommon::AttachDirSink(nullptr);
}

bool CMyLog::Writes() const {
  const wchar_t* dir = m_dir.Text();
  return dir && *dir;
}

void CMyLog::Write(wchar_t letter, const wchar_t* format, va_list args) {
  // Every message of every call comes here: one without a directory to go
  // to costs nothing more than this test.
  if (!Writes()) return;
  const wchar_t* dir = m_dir.Text();
  SYSTEMTIME now;
  ReadLocalTime(&now);
  std::wstring name;
  std::wstring header;
  try {
    name = Format(L"%s\\%s.%02d%02d%02d.log", dir, L"tessarn", now.wYear % 100, now.wMonth, now.wDay);
    header = Format(L"\n%02d%02d%02d %x %c:", now.wHour, now.wMinute, now.wSecond,
                    static_cast<unsigned>(GetCurrentThreadId()), letter);
  } catch (...) {
    return;
  }
  AppendEntry(name.c_str(), Sharing::kShared, header, format, args);
}

// ---- CMyLogTemp ---------------------------------------------------------

thread_local std::atomic<int>* CMyLogTemp::s_scopedLevel = nullptr;

CMyLogTemp::CMyLogTemp(bool processWide) : m_processWide(processWide) {
  for (int i = 0; i < kLogLevelCount; ++i) m_names[i].Assign(kLevelNames[i]);
  SetLevel(L"NONE");
  CMyTCString temp;
  if (GetTempDirectory(temp) == kOk) SetDirectory(temp.Get());
  if (m_processWide) CMyLogCommon::AttachTempSink(this);
}

CMyLogTemp::~CMyLogTemp() {
  if (m_processWide) CMyLogCommon::AttachTempSink(nullptr);
}

int CMyLogTemp::ParseLevel(const wchar_t* name, int* level) {
  int found = LevelFromName(name);
  if (found < 0) return kNotALevel;
  *level = found;
  return kOk;
}

int CMyLogTemp::SetLevel(const wchar_t* name) {
  int level = -1;
  if (ParseLevel(name, &level) != kOk) return kNotALevel;
  if (!m_names[level].IsPresent()) return kNoMemory;
  (s_scopedLevel ? *s_scopedLevel : m_level).store(level, std::memory_order_release);
  return kOk;
}

CMyTCString CMyLogTemp::LevelName() const {
  int level = Level();
  if (level < 0 || level >= kLogLevelCount) return CMyTCString();
  return m_names[level];
}

int CMyLogTemp::IsEnabled(wchar_t letter) const {
  int level = Level();
  if (level < 0 || level >= kLogLevelCount || m_names[level].Length() == 0) return kNotALevel;
  if (level <= 0) return kNotALevel;
  const wchar_t* at = letter ? wcschr(kLogLevelLetters, letter) : nullptr;
  if (!at) return kNotALevel;
  return level < at - kLogLevelLetters ? kNotALevel : kOk;
}

int CMyLogTemp::GetTempDirectory(CMyTCString& path) {
  wchar_t buffer[256] = {};
  DWORD n = GetTempPathW(255, buffer);
  if (n == 0 || n > 255) return kNoTempDirectory;
  if (!CreateDirectoryW(buffer, nullptr) && GetLastError() != ERROR_ALREADY_EXISTS)
    return kNoTempDirectory;
  return path.Assign(buffer) == kOk ? kOk : kNoTempDirectory;
}

int CMyLogTemp::SetDirectory(const wchar_t* path) {
  if (!path) return kNullArgument;
  if (!*path) return kEmptyPath;
  CMyTCString copy(path);
  if (!copy.IsPresent()) return kNoMemory;
  if (copy.EndsWith(L'\\')) copy.Truncate(copy.Length() - 1);
  if (!CreateDirectoryW(copy.Get(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) {
    m_directory.Clear();
    return kNoLogDirectory;
  }
  m_directory = copy;
  return kOk;
}

void CMyLogTemp::GetFileName(CMyTCString& name) const {
  SYSTEMTIME today;
  ReadLocalTime(&today);
  wchar_t date[32];
  swprintf(date, 32, L"%04d%02d%02d", today.wYear, today.wMonth, today.wDay);
  name.Reset();
  if (m_directory.Get()) name.Append(m_directory.Get());
  name.AppendChar(L'\\');
  name.Append(L"tessarn");
  name.AppendChar(L'.');
  name.Append(date);
  name.Append(L".log");
}

bool CMyLogTemp::Writes(wchar_t letter) const { return IsEnabled(letter) == kOk && m_directory.Length() != 0; }

void CMyLogTemp::Write(wchar_t letter, const wchar_t* format, va_list args) {
  if (!Writes(letter)) return;
  SYSTEMTIME now;
  ReadLocalTime(&now);
  CMyTCString name;
  GetFileName(name);
  if (!name.Get()) return;
  std::wstring header;
  try {
    header = Format(L"\n%02d:%02d:%02d,%03d (Tid:%x,T:%c):", now.wHour, now.wMinute, now.wSecond,
                    now.wMilliseconds, static_cast<unsigned>(GetCurrentThreadId()), letter);
  } catch (...) {
    return;
  }
  AppendEntry(name.Get(), Sharing::kExclusive, header, format, args);
}

// ---- CMyLogCommon -------------------------------------------------------

std::atomic<CMyLog*> CMyLogCommon::s_dirSink{nullptr};
std::atomic<CMyLogTemp*> CMyLogCommon::s_tempSink{nullptr};

void CMyLogCommon::AttachDirSink(CMyLog* sink) { s_dirSink.store(sink, std::memory_order_release); }
void CMyLogCommon::AttachTempSink(CMyLogTemp* sink) { s_tempSink.store(sink, std::memory_order_release); }

void CMyLogCommon::WriteV(wchar_t letter, const wchar_t* format, va_list args) {
  if (CMyLog* dir = s_dirSink.load(std::memory_order_acquire)) {
    va_list copy;
    va_copy(copy, args);
    dir->Write(letter, format, copy);
    va_end(copy);
  }
  if (CMyLogTemp* temp = s_tempSink.load(std::memory_order_acquire)) {
    va_list copy;
    va_copy(copy, args);
    temp->Write(letter, format, copy);
    va_end(copy);
  }
}

bool CMyLogCommon::Writes(wchar_t letter) const {
  CMyLog* dir = s_dirSink.load(std::memory_order_acquire);
  if (dir && dir->Writes()) return true;
  CMyLogTemp* temp = s_tempSink.load(std::memory_order_acquire);
  return temp && temp->Writes(letter);
}

#define TESSARN_LOG_CALL(name, letter)             \
  void CMyLogCommon::name(const wchar_t* format, ...) { \
    va_list args;                                  \
    va_start(args, format);                        \
    WriteV(letter, format, args);                  \
    va_end(args);                                  \
  }
TESSARN_LOG_CALL(Error, L'E')
TESSARN_LOG_CALL(Warning, L'W')
TESSARN_LOG_CALL(Info, L'I')
TESSARN_LOG_CALL(Debug, L'D')
TESSARN_LOG_CALL(Trace, L'T')
#undef TESSARN_LOG_CALL
