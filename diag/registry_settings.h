#pragma once
// Every registry value the control reads, in one list. The code takes each
// value's place from here, and the suite checks the Group Policy templates
// (installer/policy/Tessarn.admx) against the same lines, so a value added
// here and not to the templates (or the reverse) fails the suite.
//
//   X(Name, root, "key", "value", type the control reads, template class)
//
// Template class: Machine or User when the templates set the value under
// that class; None when Group Policy does not set it:
//   MachineAllowedOrigins  the machine package writes it (ALLOWEDORIGINS);
//                          Group Policy sets the policy's AllowedOrigins
//   UserAllowedOrigins     the user's own answers ("Always allow")
//   LogLevel               only reported in the log; it filters nothing
// The machine's values are read in the 64-bit registry view by both modules.
#include <windows.h>

#define TESSARN_REGISTRY_SETTINGS(X)                                                                               \
  X(PolicyDeniedOrigins, HKEY_LOCAL_MACHINE, "SOFTWARE\\Policies\\Zorv\\Tessarn", "DeniedOrigins", REG_MULTI_SZ,   \
    Machine)                                                                                                       \
  X(PolicyAllowedOrigins, HKEY_LOCAL_MACHINE, "SOFTWARE\\Policies\\Zorv\\Tessarn", "AllowedOrigins", REG_MULTI_SZ, \
    Machine)                                                                                                       \
  X(PolicyPrompt, HKEY_LOCAL_MACHINE, "SOFTWARE\\Policies\\Zorv\\Tessarn", "Prompt", REG_DWORD, Machine)           \
  X(PolicyAllowNonBrowserHosts, HKEY_LOCAL_MACHINE, "SOFTWARE\\Policies\\Zorv\\Tessarn", "AllowNonBrowserHosts",   \
    REG_DWORD, Machine)                                                                                            \
  X(MachineAllowedOrigins, HKEY_LOCAL_MACHINE, "SOFTWARE\\Zorv\\Tessarn", "AllowedOrigins", REG_MULTI_SZ, None)    \
  X(UserAllowedOrigins, HKEY_CURRENT_USER, "SOFTWARE\\Zorv\\Tessarn", "AllowedOrigins", REG_MULTI_SZ, None)        \
  X(LogLevel, HKEY_CURRENT_USER, "SOFTWARE\\Zorv\\Tessarn", "LogLevel", REG_SZ, None)                              \
  X(LogDir, HKEY_CURRENT_USER, "SOFTWARE\\Zorv\\Tessarn", "LogDir", REG_SZ, User)

namespace registry_settings {

struct Setting {
  HKEY root;
  const wchar_t* key;
  const wchar_t* value;
  DWORD type;
};

#define TESSARN_WIDE_TEXT(text) L##text
#define TESSARN_DECLARE_SETTING(name, root, key, value, type, policyClass) \
  inline const Setting k##name = {root, TESSARN_WIDE_TEXT(key), TESSARN_WIDE_TEXT(value), type};
TESSARN_REGISTRY_SETTINGS(TESSARN_DECLARE_SETTING)
#undef TESSARN_DECLARE_SETTING

}  // namespace registry_settings
