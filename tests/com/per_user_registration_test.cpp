// Registration for the current user only, as regsvr32 drives it:
//   regsvr32 /n /i:user Tessarn.ocx      writes under HKCU\Software\Classes
//   regsvr32 /u /n /i:user Tessarn.ocx   removes exactly that
// The machine's classes (registered in this prefix before the run) must not
// change at all. Snapshots of whole registry trees, both registry views,
// show what each step wrote and removed.
#include <gtest/gtest.h>
#include <olectl.h>

#include <algorithm>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "tests/com/registered_values.h"
#include "tests/com/test_support.h"

using namespace testing_support;

namespace {

const wchar_t kUserClasses[] = L"Software\\Classes";

// Every key and value under root\path, as "key|name|type|data" lines.
using Snapshot = std::map<std::wstring, std::wstring>;

// One request for the key's counts and longest name and data, then one per
// value and per subkey: the machine's classes hold some twenty thousand
// keys, and every request of a 32-bit test goes through the emulator.
void Walk(HKEY key, const std::wstring& path, Snapshot* out) {
  (*out)[path] = L"(key)";
  DWORD subkeys = 0, longestKey = 0, values = 0, longestName = 0, longestData = 0;
  if (RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, &subkeys, &longestKey, nullptr, &values, &longestName,
                       &longestData, nullptr, nullptr) != ERROR_SUCCESS)
    return;
  std::vector<wchar_t> name(std::max(longestName, longestKey) + 2);
  std::vector<BYTE> data(longestData + 2 * sizeof(wchar_t));
  for (DWORD i = 0; i < values; ++i) {
    DWORD nameLength = static_cast<DWORD>(name.size()), type = 0;
    DWORD size = static_cast<DWORD>(data.size() - sizeof(wchar_t));
    std::fill(data.begin(), data.end(), 0);
    if (RegEnumValueW(key, i, name.data(), &nameLength, nullptr, &type, data.data(), &size) != ERROR_SUCCESS) break;
    std::wstringstream line;
    line << type << L"|" << reinterpret_cast<const wchar_t*>(data.data());
    (*out)[path + L"|" + name.data()] = line.str();
  }
  for (DWORD i = 0; i < subkeys; ++i) {
    DWORD nameLength = static_cast<DWORD>(name.size());
    if (RegEnumKeyExW(key, i, name.data(), &nameLength, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
    ScopedRegKey child;
    if (RegOpenKeyExW(key, name.data(), 0, KEY_READ, OutParam(child)) != ERROR_SUCCESS) continue;
    Walk(child.Get(), path + L"\\" + name.data(), out);
  }
}

// The folders every classes root has (on Windows they always exist): a
// registration may leave them behind, empty, when it created them.
bool GenericContainer(const std::wstring& path, const std::wstring& kind) {
  for (const wchar_t* view : {L"64", L"32"}) {
    if (_wcsicmp(path.c_str(), view) == 0) return kind == L"(key)";
    for (const wchar_t* name : {L"CLSID", L"Interface", L"TypeLib", L"Wow6432Node"}) {
      if (_wcsicmp(path.c_str(), (std::wstring(view) + L"\\" + name).c_str()) == 0) return kind == L"(key)";
    }
  }
  return false;
}

// HKLM\Software\Classes and HKCU\Software\Classes in both registry views.
Snapshot Take(HKEY root) {
  Snapshot all;
  for (REGSAM view : {KEY_WOW64_64KEY, KEY_WOW64_32KEY}) {
    HKEY key;
    if (RegOpenKeyExW(root, kUserClasses, 0, KEY_READ | view, &key) != ERROR_SUCCESS) continue;
    Walk(key, view == KEY_WOW64_64KEY ? L"64" : L"32", &all);
    RegCloseKey(key);
  }
  for (auto it = all.begin(); it != all.end();) it = GenericContainer(it->first, it->second) ? all.erase(it) : ++it;
  return all;
}

std::string Narrow(const std::wstring& w) { return std::string(w.begin(), w.end()); }

// The differences between two snapshots, for the failure message.
std::string Differences(const Snapshot& before, const Snapshot& after) {
  std::string text;
  int shown = 0;
  for (const auto& [k, v] : after) {
    auto it = before.find(k);
    if (it == before.end() || it->second != v) {
      if (shown++ < 20) text += "  added or changed: " + Narrow(k) + " = " + Narrow(v) + "\n";
    }
  }
  for (const auto& [k, v] : before) {
    if (!after.count(k) && shown++ < 20) text += "  removed: " + Narrow(k) + "\n";
  }
  return text;
}

DWORD RunRegsvr32(const std::wstring& arguments) {
  wchar_t system[MAX_PATH];
  GetSystemDirectoryW(system, MAX_PATH);
  std::wstring command = L"\"" + std::wstring(system) + L"\\regsvr32.exe\" " + arguments;
  STARTUPINFOW si = {};
  si.cb = sizeof(si);
  PROCESS_INFORMATION pi = {};
  if (!CreateProcessW(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) return ~0u;
  WaitForSingleObject(pi.hProcess, INFINITE);
  DWORD code = ~0u;
  GetExitCodeProcess(pi.hProcess, &code);
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
  return code;
}

void ExpectRegisteredUnder(HKEY root, const std::wstring& prefix, const std::wstring& module) {
  for (const KeyValue& kv : RegisteredValues(module)) {
    bool found = false;
    std::wstring value = ReadString(root, prefix + kv.key, kv.name, &found);
    EXPECT_TRUE(found) << "missing " << Narrow(prefix + kv.key);
    EXPECT_EQ(0, _wcsicmp(kv.value.c_str(), value.c_str())) << Narrow(kv.key) << ": " << Narrow(value);
  }
  for (const std::wstring& key : RegisteredKeys()) EXPECT_TRUE(KeyExists(root, prefix + key)) << Narrow(key);
#ifdef _WIN64
  const wchar_t* platform = L"\\0\\win64";
#else
  const wchar_t* platform = L"\\0\\win32";
#endif
  EXPECT_EQ(0, _wcsicmp(module.c_str(), ReadString(root, prefix + kTypeLibKey + platform, nullptr).c_str()));
}

using InstallFn = HRESULT(STDAPICALLTYPE*)(BOOL, PCWSTR);

class PerUserRegistration : public ::testing::Test {
 protected:
  ComScope com;
  std::wstring module = ModulePath();
  std::wstring quoted = L"\"" + module + L"\"";
};

TEST_F(PerUserRegistration, Regsvr32WritesOnlyTheUsersClassesAndRemovesExactlyThat) {
  Snapshot machineBefore = Take(HKEY_LOCAL_MACHINE);
  Snapshot userBefore = Take(HKEY_CURRENT_USER);
  ASSERT_FALSE(KeyExists(HKEY_CURRENT_USER, std::wstring(L"Software\\Classes\\") + kControlKey));

  ASSERT_EQ(0u, RunRegsvr32(L"/s /n /i:user " + quoted));
  ExpectRegisteredUnder(HKEY_CURRENT_USER, L"Software\\Classes\\", module);
  // The category descriptions are the platform's; only the membership is the control's.
  EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, std::wstring(L"Software\\Classes\\Component Categories\\") + kScripting));
  Snapshot machineAfter = Take(HKEY_LOCAL_MACHINE);
  EXPECT_TRUE(machineAfter == machineBefore) << "the machine's classes changed:\n"
                                             << Differences(machineBefore, machineAfter);

  // A second registration overwrites the first; one removal takes it all.
  ASSERT_EQ(0u, RunRegsvr32(L"/s /n /i:user " + quoted));
  ASSERT_EQ(0u, RunRegsvr32(L"/s /u /n /i:user " + quoted));
  Snapshot userAfter = Take(HKEY_CURRENT_USER);
  EXPECT_TRUE(userAfter == userBefore) << "left behind in the user's classes:\n"
                                       << Differences(userBefore, userAfter);
  machineAfter = Take(HKEY_LOCAL_MACHINE);
  EXPECT_TRUE(machineAfter == machineBefore) << "the machine's classes changed:\n"
                                             << Differences(machineBefore, machineAfter);
  // The machine's registration still works.
  ExpectRegisteredUnder(HKEY_CLASSES_ROOT, L"", module);
}

TEST_F(PerUserRegistration, CommandLinesOtherThanUserAreRefusedAndWriteNothing) {
  HMODULE m = LoadLibraryW(module.c_str());
  ASSERT_TRUE(m);
  auto install = reinterpret_cast<InstallFn>(reinterpret_cast<void*>(GetProcAddress(m, "DllInstall")));
  ASSERT_TRUE(install);
  Snapshot machineBefore = Take(HKEY_LOCAL_MACHINE);
  Snapshot userBefore = Take(HKEY_CURRENT_USER);
  for (const wchar_t* line : {L"machine", L"user ", L"users", L"/user", L"user;machine"}) {
    EXPECT_EQ(E_INVALIDARG, install(TRUE, line)) << Narrow(line);
    EXPECT_EQ(E_INVALIDARG, install(FALSE, line)) << Narrow(line);
  }
  EXPECT_TRUE(Take(HKEY_LOCAL_MACHINE) == machineBefore);
  EXPECT_TRUE(Take(HKEY_CURRENT_USER) == userBefore);
  // The command line is read without regard to case.
  EXPECT_EQ(S_OK, install(TRUE, L"USER"));
  ExpectRegisteredUnder(HKEY_CURRENT_USER, L"Software\\Classes\\", module);
  EXPECT_EQ(S_OK, install(FALSE, L"User"));
  EXPECT_TRUE(Take(HKEY_CURRENT_USER) == userBefore);
  FreeLibrary(m);
}

// Without a command line DllInstall is the machine's registration.
TEST_F(PerUserRegistration, NoCommandLineMeansTheMachine) {
  HMODULE m = LoadLibraryW(module.c_str());
  ASSERT_TRUE(m);
  auto install = reinterpret_cast<InstallFn>(reinterpret_cast<void*>(GetProcAddress(m, "DllInstall")));
  ASSERT_TRUE(install);
  ASSERT_EQ(S_OK, install(FALSE, nullptr));
  EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, kControlKey));
  ASSERT_EQ(S_OK, install(TRUE, L""));
  ExpectRegisteredUnder(HKEY_CLASSES_ROOT, L"", module);
  FreeLibrary(m);
}

}  // namespace
