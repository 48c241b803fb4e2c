#include "tests/support/files.h"

TempDir::TempDir(const wchar_t* name) {
  wchar_t temp[MAX_PATH];
  GetTempPathW(MAX_PATH, temp);
  m_path = std::wstring(temp) + name;
  CreateDirectoryW(m_path.c_str(), nullptr);
  for (const std::wstring& f : ListFiles(m_path)) DeleteFileW(File(f).c_str());
}

TempDir::~TempDir() {
  for (const std::wstring& f : ListFiles(m_path)) DeleteFileW(File(f).c_str());
  RemoveDirectoryW(m_path.c_str());
}

std::string ReadBytes(const std::wstring& path, bool* found) {
  HANDLE h = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                         nullptr);
  if (found) *found = h != INVALID_HANDLE_VALUE;
  if (h == INVALID_HANDLE_VALUE) return std::string();
  std::string bytes;
  char buf[65536];
  DWORD n = 0;
  while (ReadFile(h, buf, sizeof(buf), &n, nullptr) && n) bytes.append(buf, n);
  CloseHandle(h);
  return bytes;
}

std::vector<BYTE> ReadByteVector(const std::wstring& path) {
  std::string bytes = ReadBytes(path);
  return std::vector<BYTE>(bytes.begin(), bytes.end());
}

std::vector<std::wstring> ListFiles(const std::wstring& dir) {
  std::vector<std::wstring> names;
  WIN32_FIND_DATAW data;
  HANDLE h = FindFirstFileW((dir + L"\\*").c_str(), &data);
  if (h == INVALID_HANDLE_VALUE) return names;
  do {
    if (!(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) names.push_back(data.cFileName);
  } while (FindNextFileW(h, &data));
  FindClose(h);
  return names;
}
