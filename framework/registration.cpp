#include "framework/registration.h"

#include <comcat.h>
#include <windows.h>
#include <oleauto.h>

#include <cwchar>
#include <string>
#include <vector>

#include "certutil/crypt_handles.h"

namespace framework {
namespace {

#ifdef _WIN64
const SYSKIND kPlatform = SYS_WIN64;
#else
const SYSKIND kPlatform = SYS_WIN32;
#endif

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
  ScopedRegKey h;
  if (RegCreateKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, h.Receive(), nullptr) !=
      ERROR_SUCCESS)
    return false;
  LONG rc = RegSetValueExW(h.Get(), name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                           static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
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
  return SUCCEEDED(UnRegisterTypeLib(libid, major, minor, lcid, kPlatform));
}

namespace {

// The module's own type library, when its identity is `libid`.
ComPtr<ITypeLib> LoadModuleTypeLib(HINSTANCE module, const GUID& libid, std::wstring* path) {
  *path = ModulePath(module);
  ComPtr<ITypeLib> lib;
  if (path->empty() || FAILED(LoadTypeLibEx(path->c_str(), REGKIND_NONE, lib.Receive()))) return {};
  TLIBATTR* attr = nullptr;
  if (FAILED(lib->GetLibAttr(&attr))) return {};
  bool same = IsEqualGUID(attr->guid, libid);
  lib->ReleaseTLibAttr(attr);
  return same ? lib : ComPtr<ITypeLib>();
}

// The interfaces whose registration the platform's type library
// registration writes: dispatch interfaces and Automation-compatible ones.
struct InterfaceEntry {
  GUID iid;
  std::wstring name;
  const wchar_t* proxyStub;
};

std::vector<InterfaceEntry> AutomationInterfaces(ITypeLib* lib) {
  std::vector<InterfaceEntry> out;
  for (UINT i = 0, n = lib->GetTypeInfoCount(); i < n; ++i) {
    ComPtr<ITypeInfo> info;
    if (FAILED(lib->GetTypeInfo(i, info.Receive()))) continue;
    TYPEATTR* attr = nullptr;
    if (FAILED(info->GetTypeAttr(&attr))) continue;
    bool dispatch = attr->typekind == TKIND_DISPATCH || (attr->wTypeFlags & TYPEFLAG_FDUAL);
    bool automation = attr->typekind == TKIND_INTERFACE && (attr->wTypeFlags & TYPEFLAG_FOLEAUTOMATION);
    if (dispatch || automation) {
      ScopedBstr name;
      info->GetDocumentation(MEMBERID_NIL, name.Receive(), nullptr, nullptr, nullptr);
      // The platform's marshallers: PSDispatch and PSOAInterface.
      out.push_back({attr->guid, name.Get() ? name.Get() : L"",
                     dispatch ? L"{00020420-0000-0000-C000-000000000046}" : L"{00020424-0000-0000-C000-000000000046}"});
    }
    info->ReleaseTypeAttr(attr);
  }
  return out;
}

// Sets the value `name` of HKCU\Software\Classes\key in one registry view.
bool SetUserClassText(REGSAM view, const std::wstring& key, const wchar_t* name, const std::wstring& value) {
  ScopedRegKey h;
  std::wstring path = L"Software\\Classes\\" + key;
  if (RegCreateKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, KEY_WRITE | view, nullptr, h.Receive(),
                      nullptr) != ERROR_SUCCESS)
    return false;
  LONG rc = RegSetValueExW(h.Get(), name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                           static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
  return rc == ERROR_SUCCESS;
}

// Removes HKCU\Software\Classes\key with everything below it, in one view.
bool DeleteUserClassTree(REGSAM view, const std::wstring& key) {
  ScopedRegKey classes;
  LONG rc = RegOpenKeyExW(HKEY_CURRENT_USER, L"Software\\Classes", 0, KEY_ALL_ACCESS | view, classes.Receive());
  if (rc == ERROR_FILE_NOT_FOUND) return true;
  if (rc != ERROR_SUCCESS) return false;
  rc = RegDeleteTreeW(classes.Get(), key.c_str());
  if (rc == ERROR_SUCCESS) RegDeleteKeyExW(classes.Get(), key.c_str(), view, 0);
  return rc == ERROR_SUCCESS || rc == ERROR_FILE_NOT_FOUND;
}

// Removes HKCU\Software\Classes\key when it holds nothing any more.
void DeleteUserClassKeyIfEmpty(REGSAM view, const std::wstring& key) {
  ScopedRegKey classes;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, L"Software\\Classes", 0, KEY_ALL_ACCESS | view, classes.Receive()) !=
      ERROR_SUCCESS)
    return;
  ScopedRegKey h;
  if (RegOpenKeyExW(classes.Get(), key.c_str(), 0, KEY_READ | view, h.Receive()) == ERROR_SUCCESS) {
    DWORD subkeys = 0, values = 0;
    bool empty = RegQueryInfoKeyW(h.Get(), nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, &values, nullptr,
                                  nullptr, nullptr, nullptr) == ERROR_SUCCESS &&
                 subkeys == 0 && values == 0;
    h.Reset();
    if (empty) RegDeleteKeyExW(classes.Get(), key.c_str(), view, 0);
  }
}

const REGSAM kViews[] = {KEY_WOW64_64KEY, KEY_WOW64_32KEY};

}  // namespace

bool RegisterTypeLibForUserFromModule(HINSTANCE module, const GUID& libid) {
  std::wstring path;
  ComPtr<ITypeLib> lib = LoadModuleTypeLib(module, libid, &path);
  if (!lib) return false;
  TLIBATTR* attr = nullptr;
  if (FAILED(lib->GetLibAttr(&attr))) return false;
  TLIBATTR a = *attr;
  lib->ReleaseTLibAttr(attr);
  ScopedBstr name, doc;
  lib->GetDocumentation(-1, name.Receive(), doc.Receive(), nullptr, nullptr);
  std::wstring title = doc.Get() && *doc.Get() ? doc.Get() : (name.Get() ? name.Get() : L"");
  wchar_t number[64];
  swprintf(number, 64, L"%u.%u", a.wMajorVerNum, a.wMinorVerNum);
  std::wstring version = number;
  std::wstring key = L"TypeLib\\" + GuidText(libid) + L"\\" + version;
  swprintf(number, 64, L"%u", a.wLibFlags);
  std::wstring flags = number;
  swprintf(number, 64, L"%lx", static_cast<unsigned long>(a.lcid));
  std::wstring platformKey = key + L"\\" + number + (kPlatform == SYS_WIN64 ? L"\\win64" : L"\\win32");
  std::wstring folder = path.substr(0, path.find_last_of(L'\\'));
  // The library's key is one key in both views; the interfaces' are two.
  bool ok = SetUserClassText(0, key, nullptr, title) && SetUserClassText(0, key + L"\\FLAGS", nullptr, flags) &&
            SetUserClassText(0, key + L"\\HELPDIR", nullptr, folder) &&
            SetUserClassText(0, platformKey, nullptr, path);
  for (const InterfaceEntry& entry : AutomationInterfaces(lib.Get())) {
    std::wstring k = L"Interface\\" + GuidText(entry.iid);
    for (REGSAM view : kViews) {
      ok = ok && SetUserClassText(view, k, nullptr, entry.name) &&
           SetUserClassText(view, k + L"\\ProxyStubClsid", nullptr, entry.proxyStub) &&
           SetUserClassText(view, k + L"\\ProxyStubClsid32", nullptr, entry.proxyStub) &&
           SetUserClassText(view, k + L"\\TypeLib", nullptr, GuidText(libid)) &&
           SetUserClassText(view, k + L"\\TypeLib", L"Version", version);
    }
  }
  return ok;
}

bool UnregisterTypeLibForUser(HINSTANCE module, const GUID& libid) {
  std::wstring path;
  ComPtr<ITypeLib> lib = LoadModuleTypeLib(module, libid, &path);
  if (!lib) return false;
  TLIBATTR* attr = nullptr;
  if (FAILED(lib->GetLibAttr(&attr))) return false;
  wchar_t version[32];
  swprintf(version, 32, L"%u.%u", attr->wMajorVerNum, attr->wMinorVerNum);
  lib->ReleaseTLibAttr(attr);
  std::wstring libKey = L"TypeLib\\" + GuidText(libid);
  bool ok = DeleteUserClassTree(0, libKey + L"\\" + version);
  DeleteUserClassKeyIfEmpty(0, libKey);
  for (const InterfaceEntry& entry : AutomationInterfaces(lib.Get()))
    for (REGSAM view : kViews) ok = DeleteUserClassTree(view, L"Interface\\" + GuidText(entry.iid)) && ok;
  return ok;
}

bool WriteClassInCategory(const CLSID& clsid, const CATID& catid) {
  std::wstring key = L"CLSID\\" + GuidText(clsid) + L"\\Implemented Categories\\" + GuidText(catid);
  ScopedRegKey h;
  return RegCreateKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, h.Receive(), nullptr) ==
         ERROR_SUCCESS;
}

PerUserClassesRoot::PerUserClassesRoot() {
  m_status = RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\Classes", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                             m_classes.Receive(), nullptr);
  if (m_status != ERROR_SUCCESS) {
    m_classes.Reset();
    return;
  }
  m_status = RegOverridePredefKey(HKEY_CLASSES_ROOT, m_classes.Get());
}

PerUserClassesRoot::~PerUserClassesRoot() {
  if (m_status == ERROR_SUCCESS) RegOverridePredefKey(HKEY_CLASSES_ROOT, nullptr);
}

}  // namespace framework
