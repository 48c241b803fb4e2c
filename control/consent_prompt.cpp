#include "control/consent_prompt.h"

#include "control/result_codes.h"
#include "framework/module.h"
#include "resources/resource_ids.h"

namespace {

void SetText(HWND dialog, int item, UINT id) {
  std::wstring text = LoadUiText(id);
  if (!text.empty()) SetDlgItemTextW(dialog, item, text.c_str());
}

INT_PTR CALLBACK ConsentProc(HWND dialog, UINT msg, WPARAM wparam, LPARAM lparam) {
  switch (msg) {
    case WM_INITDIALOG: {
      const auto* origin = reinterpret_cast<const std::wstring*>(lparam);
      std::wstring caption = LoadUiText(IDS_CONSENT_CAPTION);
      if (!caption.empty()) SetWindowTextW(dialog, caption.c_str());
      SetText(dialog, IDC_CONSENT_QUESTION, IDS_CONSENT_QUESTION);
      SetText(dialog, IDC_CONSENT_HINT, IDS_CONSENT_HINT);
      SetText(dialog, IDC_CONSENT_ALLOW_ONCE, IDS_CONSENT_ALLOW_ONCE);
      SetText(dialog, IDC_CONSENT_ALWAYS_ALLOW, IDS_CONSENT_ALWAYS_ALLOW);
      SetText(dialog, IDC_CONSENT_DENY, IDS_CONSENT_DENY);
      SetDlgItemTextW(dialog, IDC_CONSENT_ORIGIN, origin->c_str());
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
  INT_PTR answer = DialogBoxParamW(framework::ModuleInstance(), MAKEINTRESOURCEW(IDD_CONSENT), owner, ConsentProc,
                                   reinterpret_cast<LPARAM>(&origin));
  if (answer == IDC_CONSENT_ALLOW_ONCE) return Consent::kAllowOnce;
  if (answer == IDC_CONSENT_ALWAYS_ALLOW) return Consent::kAlwaysAllow;
  return Consent::kDeny;
}
