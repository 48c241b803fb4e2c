#include "control/consent_prompt.h"

#include <vector>

#include "control/result_codes.h"
#include "framework/module.h"
#include "resources/resource_ids.h"
#include "sitelock/origin.h"
#include "sitelock/prompt_layout.h"

namespace {

void SetText(HWND dialog, int item, UINT id) {
  std::wstring text = LoadUiText(id);
  if (!text.empty()) SetDlgItemTextW(dialog, item, text.c_str());
}

struct PromptState {
  const std::wstring* origin;
  HFONT siteFont = nullptr;
};

// A control's rectangle in the dialog's client coordinates.
RECT ItemRect(HWND dialog, int item) {
  RECT r = {};
  HWND control = GetDlgItem(dialog, item);
  GetWindowRect(control, &r);
  MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&r), 2);
  return r;
}

void MoveItem(HWND dialog, int item, int top, int height) {
  RECT r = ItemRect(dialog, item);
  SetWindowPos(GetDlgItem(dialog, item), nullptr, r.left, top, r.right - r.left, height,
               SWP_NOZORDER | SWP_NOACTIVATE);
}

std::wstring Joined(const std::vector<std::wstring>& lines) {
  std::wstring text;
  for (const std::wstring& line : lines) text += (text.empty() ? L"" : L"\r\n") + line;
  return text;
}

// The site on lines of its own in bold, the full origin below it, both
// broken only where they fit (sitelock/prompt_layout): no host name can
// push the site out of view or cut the origin. The hint and the buttons
// move down, and the dialog grows, by what the lines need.
void LayOut(HWND dialog, PromptState* state) {
  std::wstring originText = *state->origin;
  sitelock::Origin origin;
  bool wildcard = false;
  sitelock::PromptText text;
  if (sitelock::ParseOriginText(originText, false, &origin, &wildcard) == sitelock::OriginStatus::kOk) {
    text = sitelock::PromptTextFor(origin);
  } else {
    text.site = originText;
    text.origin = originText;
  }
  std::wstring site = text.site;
  if (text.ipAddress) site += L" " + LoadUiText(IDS_CONSENT_IP_ADDRESS);

  HFONT font = reinterpret_cast<HFONT>(SendMessageW(dialog, WM_GETFONT, 0, 0));
  LOGFONTW bold = {};
  if (font && GetObjectW(font, sizeof(bold), &bold)) {
    bold.lfWeight = FW_BOLD;
    state->siteFont = CreateFontIndirectW(&bold);
  }
  HFONT siteFont = state->siteFont ? state->siteFont : font;
  if (state->siteFont) SendDlgItemMessageW(dialog, IDC_CONSENT_SITE, WM_SETFONT, reinterpret_cast<WPARAM>(siteFont), FALSE);

  HDC dc = GetDC(dialog);
  auto measureWith = [dc](HFONT f) {
    return [dc, f](const std::wstring& t) {
      HGDIOBJ old = SelectObject(dc, f);
      SIZE size = {};
      GetTextExtentPoint32W(dc, t.c_str(), static_cast<int>(t.size()), &size);
      SelectObject(dc, old);
      return static_cast<int>(size.cx);
    };
  };
  auto lineHeight = [dc](HFONT f) {
    HGDIOBJ old = SelectObject(dc, f);
    TEXTMETRICW metrics = {};
    GetTextMetricsW(dc, &metrics);
    SelectObject(dc, old);
    return static_cast<int>(metrics.tmHeight);
  };
  RECT siteRect = ItemRect(dialog, IDC_CONSENT_SITE);
  // A little room at the right: a static control's own text margin.
  int width = siteRect.right - siteRect.left - 2;
  sitelock::PromptText shown = text;
  shown.site = site;
  sitelock::PromptLayout layout = sitelock::LayoutPrompt(shown, width, measureWith(siteFont), measureWith(font));
  int siteHeight = static_cast<int>(layout.siteLines.size()) * lineHeight(siteFont);
  int originHeight = static_cast<int>(layout.originLines.size()) * lineHeight(font);
  ReleaseDC(dialog, dc);

  SetDlgItemTextW(dialog, IDC_CONSENT_SITE, Joined(layout.siteLines).c_str());
  SetDlgItemTextW(dialog, IDC_CONSENT_ORIGIN, Joined(layout.originLines).c_str());

  RECT originRect = ItemRect(dialog, IDC_CONSENT_ORIGIN);
  RECT hintRect = ItemRect(dialog, IDC_CONSENT_HINT);
  RECT buttonRect = ItemRect(dialog, IDC_CONSENT_DENY);
  int gap = originRect.top - siteRect.bottom;
  int hintGap = hintRect.top - originRect.bottom;
  int buttonGap = buttonRect.top - hintRect.bottom;
  int top = siteRect.top;
  MoveItem(dialog, IDC_CONSENT_SITE, top, siteHeight);
  top += siteHeight + gap;
  MoveItem(dialog, IDC_CONSENT_ORIGIN, top, originHeight);
  top += originHeight + hintGap;
  MoveItem(dialog, IDC_CONSENT_HINT, top, hintRect.bottom - hintRect.top);
  top += hintRect.bottom - hintRect.top + buttonGap;
  int shift = top - buttonRect.top;
  for (int button : {IDC_CONSENT_ALLOW_ONCE, IDC_CONSENT_ALWAYS_ALLOW, IDC_CONSENT_DENY})
    MoveItem(dialog, button, top, buttonRect.bottom - buttonRect.top);
  RECT window = {};
  GetWindowRect(dialog, &window);
  SetWindowPos(dialog, nullptr, 0, 0, window.right - window.left, window.bottom - window.top + shift,
               SWP_NOZORDER | SWP_NOMOVE | SWP_NOACTIVATE);
  // Centred again where it grew: it must stay on the screen.
  HMONITOR monitor = MonitorFromWindow(dialog, MONITOR_DEFAULTTONEAREST);
  MONITORINFO info = {};
  info.cbSize = sizeof(info);
  GetWindowRect(dialog, &window);
  if (GetMonitorInfoW(monitor, &info)) {
    int height = window.bottom - window.top;
    int y = window.top;
    if (y + height > info.rcWork.bottom) y = info.rcWork.bottom - height;
    if (y < info.rcWork.top) y = info.rcWork.top;
    SetWindowPos(dialog, nullptr, window.left, y, 0, 0, SWP_NOZORDER | SWP_NOSIZE | SWP_NOACTIVATE);
  }
}

INT_PTR CALLBACK ConsentProc(HWND dialog, UINT msg, WPARAM wparam, LPARAM lparam) {
  switch (msg) {
    case WM_INITDIALOG: {
      auto* state = reinterpret_cast<PromptState*>(lparam);
      SetWindowLongPtrW(dialog, DWLP_USER, lparam);
      std::wstring caption = LoadUiText(IDS_CONSENT_CAPTION);
      if (!caption.empty()) SetWindowTextW(dialog, caption.c_str());
      SetText(dialog, IDC_CONSENT_QUESTION, IDS_CONSENT_QUESTION);
      SetText(dialog, IDC_CONSENT_HINT, IDS_CONSENT_HINT);
      SetText(dialog, IDC_CONSENT_ALLOW_ONCE, IDS_CONSENT_ALLOW_ONCE);
      SetText(dialog, IDC_CONSENT_ALWAYS_ALLOW, IDS_CONSENT_ALWAYS_ALLOW);
      SetText(dialog, IDC_CONSENT_DENY, IDS_CONSENT_DENY);
      LayOut(dialog, state);
      // The focus on Deny: Enter or Space alone never allow.
      SetFocus(GetDlgItem(dialog, IDC_CONSENT_DENY));
      return FALSE;
    }
    case WM_COMMAND:
      switch (LOWORD(wparam)) {
        case IDC_CONSENT_ALLOW_ONCE:
        case IDC_CONSENT_ALWAYS_ALLOW:
        case IDC_CONSENT_DENY:
        case IDCANCEL:
          EndDialog(dialog, LOWORD(wparam));
          return TRUE;
        case IDOK:  // Enter: the default button
          EndDialog(dialog, IDC_CONSENT_DENY);
          return TRUE;
      }
      break;
  }
  return FALSE;
}

}  // namespace

Consent AskConsent(HWND owner, const std::wstring& origin) {
  PromptState state;
  state.origin = &origin;
  INT_PTR answer = DialogBoxParamW(framework::ModuleInstance(), MAKEINTRESOURCEW(IDD_CONSENT), owner, ConsentProc,
                                   reinterpret_cast<LPARAM>(&state));
  if (state.siteFont) DeleteObject(state.siteFont);
  if (answer == IDC_CONSENT_ALLOW_ONCE) return Consent::kAllowOnce;
  if (answer == IDC_CONSENT_ALWAYS_ALLOW) return Consent::kAlwaysAllow;
  return Consent::kDeny;
}
