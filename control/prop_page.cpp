#include "control/prop_page.h"

#include <cwchar>
#include <new>
#include <string>
#include <vector>

#include "control/result_codes.h"
#include "diag/log.h"
#include "resources/resource_ids.h"
#include "sitelock/site_lock_registry.h"

using sitelock::ListKind;

namespace {

void SetItemText(HWND dialog, int item, const std::wstring& text) { SetDlgItemTextW(dialog, item, text.c_str()); }

// A text resource with its "%s" places filled in turn; the texts are put
// in as they are, never read as formats themselves.
std::wstring FormatUiText(UINT id, const wchar_t* first, const wchar_t* second = L"") {
  std::wstring text = LoadUiText(id);
  const wchar_t* fills[] = {first, second};
  size_t at = 0;
  for (const wchar_t* fill : fills) {
    at = text.find(L"%s", at);
    if (at == std::wstring::npos) break;
    text.replace(at, 2, fill);
    at += wcslen(fill);
  }
  return text;
}

void AddLine(HWND list, const std::wstring& text) {
  SendMessageW(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str()));
}

std::wstring DirectoryLogFile() {
  const wchar_t* dir = theDirLog.DirSetting().Text();
  if (!dir || !*dir) return LoadUiText(IDS_PPG_NONE);
  SYSTEMTIME now;
  GetLocalTime(&now);
  wchar_t name[40];
  swprintf(name, 40, L"\\tessarn.%02d%02d%02d.log", now.wYear % 100, now.wMonth, now.wDay);
  return std::wstring(dir) + name;
}

}  // namespace

CTessarnPropPage::CTessarnPropPage() : PropertyPage(IDD_PROPPAGE_TESSARN, IDS_TESSARN_PPG_CAPTION) {}

HRESULT CTessarnPropPage::Create(REFIID iid, void** object) {
  // The object is born with one reference, which the owner gives back
  // once the caller holds its own.
  ComPtr<CTessarnPropPage> page;
  page.Attach(new (std::nothrow) CTessarnPropPage());
  if (!page) return E_OUTOFMEMORY;
  return page->QueryInterface(iid, object);
}

void CTessarnPropPage::OnInitDialog(HWND dialog) {
  SetItemText(dialog, IDC_PPG_USER_LABEL, LoadUiText(IDS_PPG_USER_LIST));
  SetItemText(dialog, IDC_PPG_REMOVE, LoadUiText(IDS_PPG_REMOVE));
  SetItemText(dialog, IDC_PPG_MACHINE_LABEL, LoadUiText(IDS_PPG_MACHINE_LIST));
  CMyTCString level = theTempLog.LevelName();
  SetItemText(dialog, IDC_PPG_LOG_LEVEL, FormatUiText(IDS_PPG_LOG_LEVEL, level.Get() ? level.Get() : L"NONE"));
  CMyTCString tempFile;
  theTempLog.GetFileName(tempFile);
  SetItemText(dialog, IDC_PPG_LOG_FILES,
              FormatUiText(IDS_PPG_LOG_FILES, DirectoryLogFile().c_str(), tempFile.Get() ? tempFile.Get() : L""));
  FillLists(dialog);
}

void CTessarnPropPage::FillLists(HWND dialog) {
  HWND user = GetDlgItem(dialog, IDC_PPG_USER_LIST);
  SendMessageW(user, LB_RESETCONTENT, 0, 0);
  for (const std::wstring& origin : sitelock::ReadListTexts(ListKind::kUserAllowed)) AddLine(user, origin);
  EnableWindow(GetDlgItem(dialog, IDC_PPG_REMOVE), SendMessageW(user, LB_GETCOUNT, 0, 0) > 0);

  HWND machine = GetDlgItem(dialog, IDC_PPG_MACHINE_LIST);
  SendMessageW(machine, LB_RESETCONTENT, 0, 0);
  std::wstring denied = L" (" + LoadUiText(IDS_PPG_POLICY_DENIED) + L")";
  std::wstring allowed = L" (" + LoadUiText(IDS_PPG_POLICY_ALLOWED) + L")";
  for (const std::wstring& origin : sitelock::ReadListTexts(ListKind::kPolicyDenied)) AddLine(machine, origin + denied);
  for (const std::wstring& origin : sitelock::ReadListTexts(ListKind::kPolicyAllowed))
    AddLine(machine, origin + allowed);
  for (const std::wstring& origin : sitelock::ReadListTexts(ListKind::kMachineAllowed)) AddLine(machine, origin);
  if (SendMessageW(machine, LB_GETCOUNT, 0, 0) == 0) AddLine(machine, LoadUiText(IDS_PPG_NONE));
}

bool CTessarnPropPage::OnCommand(HWND dialog, WORD id, WORD code) {
  if (id != IDC_PPG_REMOVE || code != BN_CLICKED) return false;
  // Removal takes effect at once: the page's answer to the next call of
  // that site is already the question again.
  HWND user = GetDlgItem(dialog, IDC_PPG_USER_LIST);
  LRESULT selected = SendMessageW(user, LB_GETCURSEL, 0, 0);
  if (selected == LB_ERR) return true;
  LRESULT length = SendMessageW(user, LB_GETTEXTLEN, static_cast<WPARAM>(selected), 0);
  if (length == LB_ERR) return true;
  std::vector<wchar_t> text(static_cast<size_t>(length) + 1, L'\0');
  SendMessageW(user, LB_GETTEXT, static_cast<WPARAM>(selected), reinterpret_cast<LPARAM>(text.data()));
  sitelock::RemoveUserAllowedOrigin(text.data());
  FillLists(dialog);
  return true;
}
