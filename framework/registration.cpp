#include "framework/registration.h"

#include <comcat.h>
#include <windows.h>
#include <oleauto.h>

#include <cwchar>
#include <string>

#include "framework/com_ptr.h"

namespace framework {
namespace {

std::wstring GuidText(const GUID& guid) {
  wchar_t text[40] = {};
  StringFromGUID2(guid, text, 40);
  return text;
}

std::wstring ModulePath(HINSTANCE module) {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    DWORD n = GetModuleFileNameW(module, &path[0], static_cast<DWORD>(path.size()));
    if (n == 0) return std::wstring();
    if (n < path.size()) {
      path.resize(n);
      return path;
    }
    path.resize(path.size() * 2);
  }
}

std::wstring LoadText(HINSTANCE module, UINT id) {
  wchar_t text[256] = {};
  LoadStringW(module, id, text, 256);
  return text;
}

// Creates HKCR\key and sets its value `name` (null for the default value).
bool SetText(const std::wstring& key, const wchar_t* name, const std::wstring& value) {
  HKEY h = nullptr;
  if (RegCreateKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &h, nullptr) != ERROR_SUCCESS)
    return false;
  LONG rc = RegSetValueExW(h, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                           static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
  RegCloseKey(h);
  return rc == ERROR_SUCCESS;
}

}  // namespace

bool RegisterControlClass(HINSTANCE module, const ControlClassRegistration& reg) {
  std::wstring path = ModulePath(module);
  if (path.empty()) return false;
  std::wstring name = LoadText(module, reg.userTypeNameId);
  std::wstring key = L"CLSID\\" + GuidText(reg.clsid);
  wchar_t number[32];
  bool ok = SetText(key, nullptr, name);
  ok = ok && SetText(key + L"\\ProgID", nullptr, reg.progId);
  ok = ok && SetText(key + L"\\InprocServer32", nullptr, path);
  if (reg.apartmentThreaded) ok = ok && SetText(key + L"\\InprocServer32", L"ThreadingModel", L"Apartment");
  swprintf(number, 32, L"%u", reg.toolboxBitmapId);
  ok = ok && SetText(key + L"\\ToolboxBitmap32", nullptr, path + L", " + number);
  ok = ok && SetText(key + L"\\MiscStatus", nullptr, L"0");
  swprintf(number, 32, L"%lu", static_cast<unsigned long>(reg.miscStatus));
  ok = ok && SetText(key + L"\\MiscStatus\\1", nullptr, number);
  ok = ok && SetText(key + L"\\Control", nullptr, L"");
  ok = ok && SetText(key + L"\\TypeLib", nullptr, GuidText(reg.libid));
  swprintf(number, 32, L"%u.%u", reg.libMajor, reg.libMinor);
  ok = ok && SetText(key + L"\\Version", nullptr, number);
  ok = ok && SetText(reg.progId, nullptr, name);
  ok = ok && SetText(std::wstring(reg.progId) + L"\\CLSID", nullptr, GuidText(reg.clsid));
  return ok;
}

bool RegisterPropertyPageClass(HINSTANCE module, const CLSID& clsid, UINT userTypeNameId) {
  std::wstring path = ModulePath(module);
  if (path.empty()) return false;
  std::wstring key = L"CLSID\\" + GuidText(clsid);
  return SetText(key, nullptr, LoadText(module, userTypeNameId)) && SetText(key + L"\\InprocServer32", nullptr, path);
}

bool UnregisterClass(const CLSID& clsid, const wchar_t* progId) {
  std::wstring key = L"CLSID\\" + GuidText(clsid);
  LONG rc = RegDeleteTreeW(HKEY_CLASSES_ROOT, key.c_str());
  bool ok = rc == ERROR_SUCCESS || rc == ERROR_FILE_NOT_FOUND;
  if (progId) {
    rc = RegDeleteTreeW(HKEY_CLASSES_ROOT, progId);
    ok = ok && (rc == ERROR_SUCCESS || rc == ERROR_FILE_NOT_FOUND);
  }
  return ok;
}

bool RegisterTypeLibFromModule(HINSTANCE module, const GUID& libid) {
  std::wstring path = ModulePath(module);
  if (path.empty()) return false;
  ComPtr<ITypeLib> lib;
  if (FAILED(LoadTypeLibEx(path.c_str(), REGKIND_NONE, lib.Receive()))) return false;
  TLIBATTR* attr = nullptr;
  if (FAILED(lib->GetLibAttr(&attr))) return false;
  bool same = IsEqualGUID(attr->guid, libid);
  lib->ReleaseTLibAttr(attr);
  if (!same) return false;
  return SUCCEEDED(RegisterTypeLib(lib.Get(), const_cast<LPOLESTR>(path.c_str()), nullptr));
}

bool UnregisterTypeLibrary(const GUID& libid, WORD major, WORD minor, LCID lcid) {
#ifdef _WIN64
  const SYSKIND kind = SYS_WIN64;
#else
  const SYSKIND kind = SYS_WIN32;
#endif
  return SUCCEEDED(UnRegisterTypeLib(libid, major, minor, lcid, kind));
}

HRESULT CreateComponentCategory(const CATID& catid, const wchar_t* description) {
  ComPtr<ICatRegister> manager;
  HRESULT hr = CoCreateInstance(CLSID_StdComponentCategoriesMgr, nullptr, CLSCTX_INPROC_SERVER, IID_ICatRegister,
                                manager.ReceiveVoid());
  if (FAILED(hr)) return hr;
  CATEGORYINFO info = {};
  info.catid = catid;
  info.lcid = 0x0409;
  wcsncpy(info.szDescription, description, 127);
  info.szDescription[127] = L'\0';
  return manager->RegisterCategories(1, &info);
}

HRESULT RegisterClassInCategory(const CLSID& clsid, const CATID& catid) {
  ComPtr<ICatRegister> manager;
  HRESULT hr = CoCreateInstance(CLSID_StdComponentCategoriesMgr, nullptr, CLSCTX_INPROC_SERVER, IID_ICatRegister,
                                manager.ReceiveVoid());
  if (FAILED(hr)) return hr;
  CATID categories[1] = {catid};
  return manager->RegisterClassImplCategories(clsid, 1, categories);
}

}  // namespace framework
