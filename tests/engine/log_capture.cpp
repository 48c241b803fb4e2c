#include "tests/engine/log_capture.h"

#include "tests/support/files.h"

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
  return ReadBytes(name.Get());
}
