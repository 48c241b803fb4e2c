// LibGetInfo and AboutBox: the two methods that need no engine.
#include <cwchar>

#include "certutil/result_array.h"
#include "control/method_frame.h"
#include "control/tessarn_ctrl.h"
#include "control/version.h"
#include "framework/module.h"
#include "resources/resource_ids.h"
#include "sitelock/public_suffix.h"

using namespace norelCertInfoUtl;

void CTessarnCtrl::LibGetInfo(long attribute, VARIANT* answer) {
  MethodFrame frame;
  theLog.Info(L"CTessarnCtrl::LibGetInfo [%d]", attribute);
  framework::COleSafeArray result;
  nrlCOleSafeArrayCreate(result, rc::kOk);
  if (attribute == 0 || attribute == 1) nrlAppendText(result, tessarn::kProductName);
  if (attribute == 0 || attribute == 2) {
    wchar_t version[40];
    swprintf(version, 40, L"%d.%d.%d.%d", tessarn::kVersionMajor, tessarn::kVersionMinor, tessarn::kVersionBuild,
             tessarn::kVersionRevision);
    nrlAppendText(result, version);
  }
  result.Detach(answer);
}

namespace {
INT_PTR CALLBACK AboutProc(HWND dialog, UINT msg, WPARAM wparam, LPARAM) {
  if (msg == WM_INITDIALOG) {
    // "Tessarn Control, Version" followed by the module's version.
    wchar_t line[128] = {};
    GetDlgItemTextW(dialog, IDC_ABOUT_VERSION, line, 96);
    size_t used = wcslen(line);
    swprintf(line + used, 128 - used, L" %d.%d.%d.%d", tessarn::kVersionMajor, tessarn::kVersionMinor,
             tessarn::kVersionBuild, tessarn::kVersionRevision);
    SetDlgItemTextW(dialog, IDC_ABOUT_VERSION, line);
    // "Public suffix list of" followed by the date of the list the site
    // lock's question was built with.
    wchar_t list[96] = {};
    GetDlgItemTextW(dialog, IDC_ABOUT_SUFFIX_LIST, list, 64);
    used = wcslen(list);
    swprintf(list + used, 96 - used, L" %hs", sitelock::PublicSuffixListDate());
    SetDlgItemTextW(dialog, IDC_ABOUT_SUFFIX_LIST, list);
    return TRUE;
  }
  if (msg == WM_COMMAND && (LOWORD(wparam) == IDOK || LOWORD(wparam) == IDCANCEL)) {
    EndDialog(dialog, LOWORD(wparam));
    return TRUE;
  }
  return FALSE;
}
}  // namespace

void CTessarnCtrl::AboutBox() {
  framework::ModuleStateScope state;
  HWND owner = nullptr;
  DialogBoxParamW(framework::ModuleInstance(), MAKEINTRESOURCEW(IDD_ABOUTBOX_TESSARN), owner, AboutProc, 0);
}
