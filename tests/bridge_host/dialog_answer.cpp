// Answers a dialog that another process (the bridge host) shows:
//   dialog_answer CAPTION BUTTON_ID SCREENSHOT.bmp [TIMEOUT_MS]
// Waits for a visible top-level window whose caption contains CAPTION,
// prints its child controls' texts (one per line), saves what the screen
// shows of it, clicks the button and waits for the dialog to close.
// Exit code 0 when all of that happened, 1 when no such window appeared,
// 2 when it did not close.
#include <windows.h>

#include <cstdio>
#include <string>

#include "tests/gui/window_watch.h"

namespace {

struct Search {
  const wchar_t* caption;
  HWND found;
};

BOOL CALLBACK Visit(HWND hwnd, LPARAM p) {
  auto* s = reinterpret_cast<Search*>(p);
  if (IsWindowVisible(hwnd) && WindowText(hwnd).find(s->caption) != std::wstring::npos) {
    s->found = hwnd;
    return FALSE;
  }
  return TRUE;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 4) {
    fwprintf(stderr, L"usage: dialog_answer CAPTION BUTTON_ID SCREENSHOT.bmp [TIMEOUT_MS]\n");
    return 3;
  }
  DWORD timeout = argc > 4 ? wcstoul(argv[4], nullptr, 10) : 60000;
  Search search = {argv[1], nullptr};
  for (DWORD waited = 0; !search.found && waited < timeout; waited += 100) {
    EnumWindows(Visit, reinterpret_cast<LPARAM>(&search));
    if (!search.found) Sleep(100);
  }
  if (!search.found) return 1;
  HWND dialog = search.found;
  Sleep(300);  // let it paint before the photograph
  for (const std::wstring& text : ChildTexts(dialog)) {
    std::string utf8(WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, &utf8[0], static_cast<int>(utf8.size()), nullptr, nullptr);
    printf("%s\n", utf8.c_str());
  }
  fflush(stdout);
  SaveScreenshot(dialog, argv[3]);
  int id = _wtoi(argv[2]);
  PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
  for (int i = 0; i < 100 && IsWindow(dialog); ++i) Sleep(100);
  return IsWindow(dialog) ? 2 : 0;
}
