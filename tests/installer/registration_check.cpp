// Checks that an installer package registered the control exactly as
// DllRegisterServer does, in this program's registry view:
//   registration_check HKLM|HKCU MODULE
// reads ROOT\Software\Classes and expects the keys and values of a
// self-registration of the module at MODULE (a Windows path). Exit code 0
// when everything is there.
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <string>

#include "tests/com/registered_values.h"
#include "tests/com/test_support.h"

using namespace testing_support;

namespace {

int g_failures = 0;

void Expect(bool ok, const std::wstring& what) {
  if (ok) return;
  ++g_failures;
  fwprintf(stderr, L"registration_check: %ls\n", what.c_str());
}

bool SamePath(const std::wstring& a, const std::wstring& b) { return _wcsicmp(a.c_str(), b.c_str()) == 0; }

// The registry view in which a 32-bit program on 64-bit Windows finds a key
// of the classes root. Only the class and interface keys (CLSID,
// Interface) have a 32-bit view of their own; ProgIDs and type libraries
// are one key that both views share, so the 64-bit view shows what a 32-bit
// program sees. Reading them there also keeps the check to Windows' rule
// under Wine, whose 32-bit view of HKCU\Software\Classes shows only its
// Wow6432Node once that exists (ProgID and type library included).
REGSAM ViewOf(const std::wstring& key) {
  bool ownView = key.rfind(L"CLSID\\", 0) == 0 || key.rfind(L"Interface\\", 0) == 0;
  return ownView ? 0 : KEY_WOW64_64KEY;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 3 || (wcscmp(argv[1], L"HKLM") != 0 && wcscmp(argv[1], L"HKCU") != 0)) {
    fwprintf(stderr, L"usage: registration_check HKLM|HKCU MODULE\n");
    return 2;
  }
  HKEY root = wcscmp(argv[1], L"HKLM") == 0 ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER;
  std::wstring module = argv[2];
  std::wstring prefix = L"Software\\Classes\\";
  for (const KeyValue& kv : RegisteredValues(module)) {
    bool found = false;
    std::wstring value = ReadString(root, prefix + kv.key, kv.name, &found, ViewOf(kv.key));
    Expect(found, L"missing " + prefix + kv.key + L" " + (kv.name ? kv.name : L"(default)"));
    Expect(!found || SamePath(kv.value, value), prefix + kv.key + L" is \"" + value + L"\", not \"" + kv.value + L"\"");
  }
  for (const std::wstring& key : RegisteredKeys()) Expect(KeyExists(root, prefix + key), L"missing " + prefix + key);
#ifdef _WIN64
  const wchar_t* platform = L"\\0\\win64";
#else
  const wchar_t* platform = L"\\0\\win32";
#endif
  std::wstring typeLib = prefix + kTypeLibKey;
  const REGSAM shared = ViewOf(kTypeLibKey);
  Expect(SamePath(module, ReadString(root, typeLib + platform, nullptr, nullptr, shared)),
         L"the type library's path is not the module");
  // One library key serves both registry views: its HELPDIR names the
  // folder of one of the two modules.
  std::wstring helpDir = ReadString(root, typeLib + L"\\HELPDIR", nullptr, nullptr, shared);
  if (!helpDir.empty() && helpDir.back() != L'\\') helpDir += L'\\';
  Expect(GetFileAttributesW((helpDir + L"Tessarn.ocx").c_str()) != INVALID_FILE_ATTRIBUTES,
         L"HELPDIR \"" + helpDir + L"\" holds no module");
  Expect(ReadString(root, typeLib + L"\\FLAGS", nullptr, nullptr, shared) == L"10", L"FLAGS is not 10");
  for (const wchar_t* iid : {L"{1BFAAC6D-2B1F-4CF9-8DF1-A25DC6C49B55}", L"{933AA70C-A8B0-46FA-A0AD-9639A5D24625}"}) {
    std::wstring key = prefix + L"Interface\\" + iid;
    Expect(ReadString(root, key + L"\\ProxyStubClsid32", nullptr) == L"{00020420-0000-0000-C000-000000000046}",
           key + L" has no type library marshaller");
    Expect(ReadString(root, key + L"\\TypeLib", nullptr) == L"{9E552F82-8C9F-463B-83F3-54C4AA4F476A}",
           key + L" names no type library");
  }
  if (g_failures == 0) wprintf(L"registration_check: %ls\\Software\\Classes holds the registration of %ls\n", argv[1], module.c_str());
  return g_failures == 0 ? 0 : 1;
}
