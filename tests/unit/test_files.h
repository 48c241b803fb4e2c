#pragma once
#include <windows.h>

#include <string>
#include <vector>

// A fresh directory under the temporary directory, removed with its files.
class TempDir {
 public:
  explicit TempDir(const wchar_t* name);
  ~TempDir();
  const std::wstring& Path() const { return m_path; }
  std::wstring File(const std::wstring& name) const { return m_path + L"\\" + name; }

 private:
  std::wstring m_path;
};

std::string ReadBytes(const std::wstring& path, bool* found = nullptr);
std::vector<std::wstring> ListFiles(const std::wstring& dir);
