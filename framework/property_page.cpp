#include "framework/property_page.h"

#include <cwchar>
#include <new>

#include "framework/exception_boundary.h"
#include "framework/module.h"

namespace framework {

PropertyPage::PropertyPage(UINT dialogId, UINT captionId) : m_dialogId(dialogId), m_captionId(captionId) {
  LockModule();
}

PropertyPage::~PropertyPage() {
  if (m_hwnd) DestroyWindow(m_hwnd);
  UnlockModule();
}

const InterfaceTable& PropertyPage::Interfaces() {
  static const InterfaceEntry kRows[] = {
      InterfaceRow<PropertyPage, IPropertyPage2>(IID_IUnknown),
      InterfaceRow<PropertyPage, IPropertyPage2>(IID_IPropertyPage),
      InterfaceRow<PropertyPage, IPropertyPage2>(IID_IPropertyPage2),
  };
  static const InterfaceTable kTable{kRows, sizeof(kRows) / sizeof(kRows[0])};
  return kTable;
}

HRESULT PropertyPage::SetPageSite(IPropertyPageSite* site) {
  m_site = ComPtr<IPropertyPageSite>(site);
  return S_OK;
}

INT_PTR CALLBACK PropertyPage::DialogProc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam) {
  // The size probe makes the dialog without a page behind it.
  auto* page = reinterpret_cast<PropertyPage*>(GetWindowLongPtrW(hwnd, DWLP_USER));
  switch (msg) {
    case WM_INITDIALOG:
      page = reinterpret_cast<PropertyPage*>(lparam);
      SetWindowLongPtrW(hwnd, DWLP_USER, lparam);
      if (page) page->OnInitDialog(hwnd);
      return TRUE;
    case WM_COMMAND:
      return page && page->OnCommand(hwnd, LOWORD(wparam), HIWORD(wparam)) ? TRUE : FALSE;
  }
  return FALSE;
}

HRESULT PropertyPage::Activate(HWND parent, LPCRECT rect, BOOL) {
  if (m_hwnd) return E_UNEXPECTED;
  m_hwnd = CreateDialogParamW(ModuleInstance(), MAKEINTRESOURCEW(m_dialogId), parent, DialogProc,
                              reinterpret_cast<LPARAM>(this));
  if (!m_hwnd) return HRESULT_FROM_WIN32(GetLastError());
  if (rect) Move(rect);
  return S_OK;
}

HRESULT PropertyPage::Deactivate() {
  if (m_hwnd) DestroyWindow(m_hwnd);
  m_hwnd = nullptr;
  return S_OK;
}

SIZE PropertyPage::DialogSize() const {
  // The size in pixels is the dialog's own, measured on a hidden instance.
  SIZE size = {0, 0};
  HWND probe = CreateDialogParamW(ModuleInstance(), MAKEINTRESOURCEW(m_dialogId), GetDesktopWindow(),
                                  DialogProc, 0);
  if (probe) {
    RECT r;
    GetWindowRect(probe, &r);
    size.cx = r.right - r.left;
    size.cy = r.bottom - r.top;
    DestroyWindow(probe);
  }
  return size;
}

HRESULT PropertyPage::GetPageInfo(PROPPAGEINFO* info) {
  if (!info) return E_POINTER;
  wchar_t caption[256] = {};
  LoadStringW(ModuleInstance(), m_captionId, caption, 256);
  size_t bytes = (wcslen(caption) + 1) * sizeof(wchar_t);
  auto* title = static_cast<LPOLESTR>(CoTaskMemAlloc(bytes));
  if (!title) return E_OUTOFMEMORY;
  memcpy(title, caption, bytes);
  info->cb = sizeof(PROPPAGEINFO);
  info->pszTitle = title;
  info->size = DialogSize();
  info->pszDocString = nullptr;
  info->pszHelpFile = nullptr;
  info->dwHelpContext = 0;
  return S_OK;
}

HRESULT PropertyPage::SetObjects(ULONG count, IUnknown** objects) {
  if (count && !objects) return E_POINTER;
  try {
    m_objects.clear();
    for (ULONG i = 0; i < count; ++i) m_objects.emplace_back(objects[i]);
  } catch (...) {
    return ResultFromCaughtException();
  }
  return S_OK;
}

HRESULT PropertyPage::Show(UINT cmd) {
  if (!m_hwnd) return E_UNEXPECTED;
  ShowWindow(m_hwnd, static_cast<int>(cmd));
  return S_OK;
}

HRESULT PropertyPage::Move(LPCRECT rect) {
  if (!rect) return E_POINTER;
  if (!m_hwnd) return E_UNEXPECTED;
  MoveWindow(m_hwnd, rect->left, rect->top, rect->right - rect->left, rect->bottom - rect->top, TRUE);
  return S_OK;
}

HRESULT PropertyPage::IsPageDirty() { return S_FALSE; }  // the page has no fields
HRESULT PropertyPage::Apply() { return S_OK; }
HRESULT PropertyPage::Help(LPCOLESTR) { return E_NOTIMPL; }

HRESULT PropertyPage::TranslateAccelerator(MSG* msg) {
  if (!msg) return E_POINTER;
  return (m_hwnd && IsDialogMessageW(m_hwnd, msg)) ? S_OK : S_FALSE;
}

HRESULT PropertyPage::EditProperty(DISPID) { return E_NOTIMPL; }

}  // namespace framework
