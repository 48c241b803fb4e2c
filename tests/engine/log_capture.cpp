#include "tests/engine/log_capture.h"

#include <windows.h>

#include "diag/log.h"

LogCapture::LogCapture() {
  wchar_t temp[MAX_PATH];
  GetTempPathW(MAX_PATH, temp);
  m_dir = std::wstring(temp) + L"tessarn-capture";
  CreateDirectoryW(m_dir.c_str(), nullptr);
  theTempLog.SetDirectory(m_dir.c_str());
  theTempLog.SetLevel(L"TRACE");
  Clear();
}

LogCapture::~LogCapture() { theTempLog.SetLevel(L"NONE"); }

void LogCapture::Clear() {
  CMyTCString name;
  theTempLog.GetFileName(name);
  DeleteFileW(name.Get());
}

std::string LogCapture::Text() const {
  CMyTCString name;
  theTempLog.GetFileName(name);
  HANDLE h = CreateFileW(name.Get(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                         nullptr);
  if (h == INVALID_HANDLE_VALUE) return std::string();
  std::string text;
  char buf[65536];
  DWORD n;
  while (ReadFile(h, buf, sizeof(buf), &n, nullptr) && n) text.append(buf, n);
  CloseHandle(h);
  return text;
}
