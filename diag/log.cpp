#include "diag/log.h"

#include <share.h>

#include <cstdio>
#include <cwchar>
#include <cwctype>

#include "diag/diag_codes.h"
#include "diag/log_clock.h"
#include "diag/log_format.h"
#include "diag/log_levels.h"

using namespace diag;

namespace {

const wchar_t* const kRegistryKey = L"SOFTWARE\\Zorv\\Tessarn";
static_assert(sizeof(kLevelNames) / sizeof(kLevelNames[0]) == kLogLevelCount, "one name per level");

// RAII for a C runtime stream.
class ScopedFile {
 public:
  explicit ScopedFile(FILE* f) : m_file(f) {}
  ~ScopedFile() {
    if (m_file) fclose(m_file);
  }
  ScopedFile(const ScopedFile&) = delete;
  ScopedFile& operator=(const ScopedFile&) = delete;
  FILE* Get() const { return m_file; }

 private:
  FILE* m_file;
};

// Opens for appending in text mode (line breaks become CR LF) and writes the
// header and the message as one block.
void AppendEntry(const wchar_t* fileName, int shareFlag, const std::wstring& header,
                 const wchar_t* format, va_list args, bool flush) {
  std::wstring entry;
  try {
    entry = header + FormatV(format, args);
  } catch (...) {
    return;  // out of memory: the entry is dropped, as every log failure is
  }
  ScopedFile file(_wfsopen(fileName, L"a+", shareFlag));
  if (!file.Get()) return;
  std::string bytes = ToLogBytes(entry);
  fwrite(bytes.data(), 1, bytes.size(), file.Get());
  if (flush) fflush(file.Get());
}

}  // namespace

// ---- CMyLog -------------------------------------------------------------

CMyLog::CMyLog(bool processWide)
    : m_level(HKEY_CURRENT_USER, kRegistryKey, L"LogLevel", L"TRACE"),
      m_dir(HKEY_CURRENT_USER, kRegistryKey, L"LogDir", L""),
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

void CMyLog::Write(wchar_t letter, const wchar_t* format, va_list args) {
  SYSTEMTIME now;
  ReadLocalTime(&now);
  const wchar_t* dir = m_dir.Text();
  if (!dir || !*dir) return;
  std::wstring name;
  std::wstring header;
  try {
    name = Format(L"%s\\%s.%02d%02d%02d.log", dir, L"tessarn", now.wYear % 100, now.wMonth, now.wDay);
    header = Format(L"\n%02d%02d%02d %x %c:", now.wHour, now.wMinute, now.wSecond,
                    static_cast<unsigned>(GetCurrentThreadId()), letter);
  } catch (...) {
    return;
  }
  AppendEntry(name.c_str(), _SH_DENYNO, header, format, args, false);
}

// ---- CMyLogTemp ---------------------------------------------------------

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
  m_level.store(level, std::memory_order_release);
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

void CMyLogTemp::Write(wchar_t letter, const wchar_t* format, va_list args) {
  SYSTEMTIME now;
  ReadLocalTime(&now);
  if (IsEnabled(letter) != kOk) return;
  if (m_directory.Length() == 0) return;
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
  AppendEntry(name.Get(), _SH_DENYRW, header, format, args, true);
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
