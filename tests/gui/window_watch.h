#pragma once
#include <windows.h>

#include <functional>
#include <string>
#include <thread>
#include <vector>

// Watches for a top-level window of this process whose caption contains
// `caption` while the test's main thread sits in a modal dialog, then hands
// it to `act`.
class WindowWatch {
 public:
  using Action = std::function<void(HWND)>;
  WindowWatch(std::wstring caption, Action act, DWORD timeoutMs = 30000);
  ~WindowWatch();
  bool Found() const { return m_found; }

 private:
  std::wstring m_caption;
  Action m_act;
  DWORD m_timeout;
  bool m_found = false;
  std::thread m_thread;
};

// A visible top-level window of this process whose caption contains
// `caption`.
HWND FindOwnWindow(const std::wstring& caption);
std::wstring WindowText(HWND hwnd);
// The texts of a window's child controls, in Z order.
std::vector<std::wstring> ChildTexts(HWND hwnd);
// Saves what the screen shows of the window as a 24-bit BMP.
bool SaveScreenshot(HWND hwnd, const std::wstring& path);
// The folder the test's files go to (TESSARN_FILES).
std::wstring OutputFile(const std::wstring& name);
