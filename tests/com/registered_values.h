#pragma once
// What registering the control writes under a classes root
// (HKEY_CLASSES_ROOT, or HKCU\Software\Classes for one user), for the module
// at `module`. Self-registration, per-user registration and the installer
// packages must all write these.
#include <string>
#include <vector>

namespace testing_support {

constexpr wchar_t kControlKey[] = L"CLSID\\{E0D18E29-700A-419B-A691-D0E82E7CBCA5}";
constexpr wchar_t kPageKey[] = L"CLSID\\{4D857FA2-E8BE-42A5-836C-D6C228391DAD}";
constexpr wchar_t kTypeLibKey[] = L"TypeLib\\{9E552F82-8C9F-463B-83F3-54C4AA4F476A}\\1.0";
constexpr wchar_t kScripting[] = L"{7DD95801-9882-11CF-9FA9-00AA006C42C4}";
constexpr wchar_t kInitializing[] = L"{7DD95802-9882-11CF-9FA9-00AA006C42C4}";

struct KeyValue {
  std::wstring key;
  const wchar_t* name;
  std::wstring value;
};

inline std::vector<KeyValue> RegisteredValues(const std::wstring& module) {
  std::wstring c = kControlKey;
  return {
      {c, nullptr, L"Tessarn Control"},
      {c + L"\\ProgID", nullptr, L"TESSARN.TessarnCtrl.1"},
      {c + L"\\InprocServer32", nullptr, module},
      {c + L"\\InprocServer32", L"ThreadingModel", L"Apartment"},
      {c + L"\\ToolboxBitmap32", nullptr, module + L", 1"},
      {c + L"\\MiscStatus", nullptr, L"0"},
      {c + L"\\MiscStatus\\1", nullptr, L"17408"},
      {c + L"\\Control", nullptr, L""},
      {c + L"\\TypeLib", nullptr, L"{9E552F82-8C9F-463B-83F3-54C4AA4F476A}"},
      {c + L"\\Version", nullptr, L"1.0"},
      {L"TESSARN.TessarnCtrl.1", nullptr, L"Tessarn Control"},
      {L"TESSARN.TessarnCtrl.1\\CLSID", nullptr, L"{E0D18E29-700A-419B-A691-D0E82E7CBCA5}"},
      {kPageKey, nullptr, L"Tessarn Property Page"},
      {std::wstring(kPageKey) + L"\\InprocServer32", nullptr, module},
      {std::wstring(kTypeLibKey), nullptr, L"Tessarn ActiveX Control module"},
  };
}

// Keys that must exist, whatever their values.
inline std::vector<std::wstring> RegisteredKeys() {
  std::wstring categories = std::wstring(kControlKey) + L"\\Implemented Categories\\";
  return {categories + kScripting, categories + kInitializing};
}

}  // namespace testing_support
