#include "tests/gui/window_watch.h"

#include <cstdio>

namespace {

struct Search {
  const std::wstring* caption;
  HWND found;
};

BOOL CALLBACK MatchWindow(HWND hwnd, LPARAM param) {
  auto* search = reinterpret_cast<Search*>(param);
  DWORD pid = 0;
  GetWindowThreadProcessId(hwnd, &pid);
  if (pid == GetCurrentProcessId() && IsWindowVisible(hwnd) &&
      WindowText(hwnd).find(*search->caption) != std::wstring::npos) {
    search->found = hwnd;
    return FALSE;
  }
  return TRUE;
}

BOOL CALLBACK CollectChild(HWND hwnd, LPARAM param) {
  reinterpret_cast<std::vector<std::wstring>*>(param)->push_back(WindowText(hwnd));
  return TRUE;
}

}  // namespace

HWND FindOwnWindow(const std::wstring& caption) {
  Search search = {&caption, nullptr};
  EnumWindows(MatchWindow, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

std::wstring WindowText(HWND hwnd) {
  wchar_t text[1024] = {};
  GetWindowTextW(hwnd, text, 1024);
  return text;
}

std::vector<std::wstring> ChildTexts(HWND hwnd) {
  std::vector<std::wstring> texts;
  EnumChildWindows(hwnd, CollectChild, reinterpret_cast<LPARAM>(&texts));
  return texts;
}

WindowWatch::WindowWatch(std::wstring caption, Action act, DWORD timeoutMs)
    : m_caption(std::move(caption)), m_act(std::move(act)), m_timeout(timeoutMs) {
  m_thread = std::thread([this] {
    for (DWORD waited = 0; waited < m_timeout; waited += 100) {
      HWND hwnd = FindOwnWindow(m_caption);
      if (hwnd) {
        Sleep(700);  // let it finish painting
        m_found = true;
        m_act(hwnd);
        return;
      }
      Sleep(100);
    }
  });
}

WindowWatch::~WindowWatch() {
  if (m_thread.joinable()) m_thread.join();
}

bool SaveScreenshot(HWND hwnd, const std::wstring& path) {
  RECT r;
  if (!GetWindowRect(hwnd, &r)) return false;
  int width = r.right - r.left, height = r.bottom - r.top;
  if (width <= 0 || height <= 0) return false;
  HDC screen = GetDC(nullptr);
  HDC memory = CreateCompatibleDC(screen);
  BITMAPINFO info = {};
  info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = height;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 24;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  HGDIOBJ old = SelectObject(memory, bitmap);
  BitBlt(memory, 0, 0, width, height, screen, r.left, r.top, SRCCOPY);
  GdiFlush();
  DWORD stride = ((width * 3 + 3) / 4) * 4;
  DWORD imageSize = stride * height;
  BITMAPFILEHEADER file = {};
  file.bfType = 0x4D42;
  file.bfOffBits = sizeof(BITMAPFILEHEADER) + sizeof(BITMAPINFOHEADER);
  file.bfSize = file.bfOffBits + imageSize;
  bool ok = false;
  HANDLE out = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  if (out != INVALID_HANDLE_VALUE) {
    DWORD n;
    info.bmiHeader.biSizeImage = imageSize;
    ok = WriteFile(out, &file, sizeof(file), &n, nullptr) && WriteFile(out, &info.bmiHeader, sizeof(BITMAPINFOHEADER), &n, nullptr) &&
         WriteFile(out, bits, imageSize, &n, nullptr);
    CloseHandle(out);
  }
  SelectObject(memory, old);
  DeleteObject(bitmap);
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);
  return ok;
}

std::wstring OutputFile(const std::wstring& name) {
  wchar_t dir[1024] = {};
  GetEnvironmentVariableW(L"TESSARN_FILES", dir, 1024);
  return std::wstring(dir) + L"\\" + name;
}
