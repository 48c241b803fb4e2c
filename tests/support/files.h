#pragma once
// Files for the test programs: whole files read, temporary folders.
#include <windows.h>

#include <string>
#include <vector>

// A fresh directory under the temporary directory, removed with its files.
class TempDir {
 public:
  explicit TempDir(const wchar_t* name);
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::wstring& Path() const { return m_path; }
  std::wstring File(const std::wstring& name) const { return m_path + L"\\" + name; }

 private:
  std::wstring m_path;
};

// A whole file's bytes, read while others may have it open for reading or
// writing (the log's files); empty, and *found false, when it cannot be
// opened.
std::string ReadBytes(const std::wstring& path, bool* found = nullptr);
std::vector<BYTE> ReadByteVector(const std::wstring& path);
// The names of a directory's files (not its subdirectories).
std::vector<std::wstring> ListFiles(const std::wstring& dir);
