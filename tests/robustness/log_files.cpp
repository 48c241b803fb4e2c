#include "tests/robustness/log_files.h"

#include <windows.h>

#include <cstdio>

namespace robustness {
namespace {

const wchar_t kKey[] = L"SOFTWARE\\Zorv\\Tessarn";

std::wstring TempDir() {
  wchar_t buffer[MAX_PATH] = {};
  GetTempPathW(MAX_PATH, buffer);
  std::wstring dir = buffer;
  if (!dir.empty() && dir.back() == L'\\') dir.pop_back();
  return dir;
}

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
  HKEY key;
  if (RegCreateKeyExW(HKEY_CURRENT_USER, kKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr) != ERROR_SUCCESS)
    return false;
  LONG rc = RegSetValueExW(key, L"LogDir", 0, REG_SZ, reinterpret_cast<const BYTE*>(folder.c_str()),
                           static_cast<DWORD>((folder.size() + 1) * sizeof(wchar_t)));
  RegCloseKey(key);
  return rc == ERROR_SUCCESS;
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
bool IsTempLog(const std::wstring& file) { return file.find(L"tessarn-logdir") == std::wstring::npos; }
}  // namespace

LogCheck CheckLogFile(const std::wstring& file) {
  LogCheck check;
  std::string text = ReadAll(file);
  bool temp = IsTempLog(file);
  if (text.empty()) {
    check.problem = "empty";
    return check;
  }
  size_t covered = 0;
  ForEachEntry(text, temp, [&](size_t, size_t end) {
    ++check.entries;
    covered = end;
  });
  if (covered != text.size()) {
    check.problem = "text at byte " + std::to_string(covered) + " is not an entry";
    return check;
  }
  // What a torn header leaves: its marker outside a whole header.
  const char* marker = temp ? " (Tid:" : nullptr;
  if (marker) {
    size_t headers = 0, markers = 0;
    ForEachEntry(text, temp, [&](size_t, size_t) { ++headers; });
    for (size_t p = text.find(marker); p != std::string::npos; p = text.find(marker, p + 1)) ++markers;
    if (markers != headers) {
      check.problem = std::to_string(markers - headers) + " header fragments";
      return check;
    }
  }
  check.whole = true;
  return check;
}

std::vector<std::string> EntryBodies(const std::wstring& file) {
  std::vector<std::string> bodies;
  std::string text = ReadAll(file);
  ForEachEntry(text, IsTempLog(file), [&](size_t begin, size_t end) { bodies.push_back(text.substr(begin, end - begin)); });
  return bodies;
}

std::string ReadAll(const std::wstring& file) {
  std::string text;
  FILE* f = _wfopen(file.c_str(), L"rb");
  if (!f) return text;
  char buffer[65536];
  size_t n;
  while ((n = fread(buffer, 1, sizeof(buffer), f)) > 0) text.append(buffer, n);
  fclose(f);
  return text;
}

std::string Narrow(const std::wstring& text) {
  std::string out;
  for (wchar_t c : text) out += c < 0x80 ? static_cast<char>(c) : '?';
  return out;
}

}  // namespace robustness
