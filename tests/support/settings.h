#pragma once
// Registry values written for a test: the control's settings, the site
// lock's lists, a test key of its own.
#include <windows.h>

#include <string>

// The control's settings of the current user.
constexpr wchar_t kSettingsKey[] = L"SOFTWARE\\Zorv\\Tessarn";

// Creates `key` under `root` when it is missing and writes one value; false
// when either step fails.
bool WriteRegistryValue(HKEY root, const wchar_t* key, const wchar_t* name, DWORD type, const void* data, DWORD bytes);
// A text value (REG_SZ, REG_EXPAND_SZ, ...) with its terminating null.
bool WriteRegistryText(HKEY root, const wchar_t* key, const wchar_t* name, const std::wstring& text,
                       DWORD type = REG_SZ);
// One of the control's settings of the current user, as text.
inline bool WriteSetting(const wchar_t* name, const std::wstring& text) {
  return WriteRegistryText(HKEY_CURRENT_USER, kSettingsKey, name, text);
}
