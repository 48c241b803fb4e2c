#include "tests/robustness/log_files.h"

#include <windows.h>

#include <cstring>

#include "tests/host/pki_stores.h"
#include "tests/support/settings.h"

namespace robustness {

std::wstring TempDir() {
  wchar_t buffer[MAX_PATH] = {};
  GetTempPathW(MAX_PATH, buffer);
  std::wstring dir = buffer;
  if (!dir.empty() && dir.back() == L'\\') dir.pop_back();
  return dir;
}

namespace {

const wchar_t kKey[] = L"SOFTWARE\\Zorv\\Tessarn";

std::wstring LogDirFolder() { return TempDir() + L"\\tessarn-logdir"; }

void AddLogs(const std::wstring& dir, std::vector<std::wstring>* files) {
  WIN32_FIND_DATAW found;
  HANDLE search = FindFirstFileW((dir + L"\\tessarn.*.log").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return;
  do {
    files->push_back(dir + L"\\" + found.cFileName);
  } while (FindNextFileW(search, &found));
  FindClose(search);
}

bool Digits(const std::string& t, size_t at, size_t count) {
  if (at + count > t.size()) return false;
  for (size_t i = 0; i < count; ++i)
    if (t[at + i] < '0' || t[at + i] > '9') return false;
  return true;
}

size_t HexRun(const std::string& t, size_t at) {
  size_t n = 0;
  while (at + n < t.size() && isxdigit(static_cast<unsigned char>(t[at + n])) && !isupper(static_cast<unsigned char>(t[at + n]))) ++n;
  return n;
}

bool Literal(const std::string& t, size_t at, const char* text) {
  return t.compare(at, strlen(text), text) == 0;
}

bool Letter(const std::string& t, size_t at) { return at < t.size() && strchr("NFEWIDT", t[at]) && t[at]; }

}  // namespace

bool PointLogDirAtFreshFolder() {
  std::wstring folder = LogDirFolder();
  CreateDirectoryW(folder.c_str(), nullptr);
  return WriteRegistryText(HKEY_CURRENT_USER, kKey, L"LogDir", folder);
}

std::vector<std::wstring> LogFiles() {
  std::vector<std::wstring> files;
  AddLogs(TempDir(), &files);
  AddLogs(LogDirFolder(), &files);
  return files;
}

size_t TempHeaderAt(const std::string& t, size_t at) {
  size_t p = at;
  if (!Literal(t, p, "\r\n")) return 0;
  p += 2;
  if (!Digits(t, p, 2) || t[p + 2] != ':' || !Digits(t, p + 3, 2) || t[p + 5] != ':' || !Digits(t, p + 6, 2) ||
      t[p + 8] != ',' || !Digits(t, p + 9, 3))
    return 0;
  p += 12;
  if (!Literal(t, p, " (Tid:")) return 0;
  p += 6;
  size_t hex = HexRun(t, p);
  if (!hex) return 0;
  p += hex;
  if (!Literal(t, p, ",T:") || !Letter(t, p + 3) || !Literal(t, p + 4, "):")) return 0;
  return p + 6 - at;
}

size_t DirHeaderAt(const std::string& t, size_t at) {
  size_t p = at;
  if (!Literal(t, p, "\r\n") || !Digits(t, p + 2, 6) || !Literal(t, p + 8, " ")) return 0;
  p += 9;
  size_t hex = HexRun(t, p);
  if (!hex) return 0;
  p += hex;
  if (!Literal(t, p, " ") || !Letter(t, p + 1) || !Literal(t, p + 2, ":")) return 0;
  return p + 3 - at;
}

namespace {
template <class F>
void ForEachEntry(const std::string& text, bool temp, F&& f) {
  auto header = [&](size_t at) { return temp ? TempHeaderAt(text, at) : DirHeaderAt(text, at); };
  size_t at = 0;
  while (at < text.size()) {
    size_t h = header(at);
    if (!h) return;
    size_t body = at + h;
    size_t next = body;
    for (;;) {
      next = text.find("\r\n", next);
      if (next == std::string::npos) {
        next = text.size();
        break;
      }
      if (header(next)) break;
      next += 2;
    }
    f(body, next);
    at = next;
  }
}
}  // namespace

LogFile ReadLog(const std::wstring& path) {
  return LogFile{ReadAll(path), path.find(L"tessarn-logdir") == std::wstring::npos};
}

LogCheck CheckLog(const LogFile& log) {
  LogCheck check;
  const std::string& text = log.text;
  if (text.empty()) {
    check.problem = "empty";
    return check;
  }
  size_t covered = 0;
  ForEachEntry(text, log.temp, [&](size_t, size_t end) {
    ++check.entries;
    covered = end;
  });
  if (covered != text.size()) {
    check.problem = "text at byte " + std::to_string(covered) + " is not an entry";
    return check;
  }
  // What a torn header leaves: its marker outside a whole header.
  if (log.temp) {
    const char* marker = " (Tid:";
    size_t markers = 0;
    for (size_t p = text.find(marker); p != std::string::npos; p = text.find(marker, p + 1)) ++markers;
    if (markers != check.entries) {
      check.problem = std::to_string(markers - check.entries) + " header fragments";
      return check;
    }
  }
  check.whole = true;
  return check;
}

std::vector<std::string> EntryBodies(const LogFile& log) {
  std::vector<std::string> bodies;
  ForEachEntry(log.text, log.temp,
               [&](size_t begin, size_t end) { bodies.push_back(log.text.substr(begin, end - begin)); });
  return bodies;
}

std::string ReadAll(const std::wstring& file) {
  std::vector<BYTE> bytes = ReadFileBytes(file);
  return std::string(bytes.begin(), bytes.end());
}

std::string Narrow(const std::wstring& text) {
  std::string out;
  for (wchar_t c : text) out += c < 0x80 ? static_cast<char>(c) : '?';
  return out;
}

}  // namespace robustness
