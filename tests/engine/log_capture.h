#pragma once
#include <string>

// Points the process's temporary-directory log at a fresh folder at TRACE
// and reads back what was written since.
class LogCapture {
 public:
  LogCapture();
  ~LogCapture();
  std::string Text() const;
  bool Has(const std::string& needle) const { return Text().find(needle) != std::string::npos; }
  void Clear();

 private:
  std::wstring m_dir;
};
