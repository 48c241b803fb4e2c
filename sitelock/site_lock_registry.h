#pragma once
// The site lock's settings in the registry, read afresh each time a call is
// checked, so that a change of policy applies to the very next call:
//   HKLM\SOFTWARE\Policies\Zorv\Tessarn  DeniedOrigins, AllowedOrigins
//                                        (REG_MULTI_SZ), Prompt,
//                                        AllowNonBrowserHosts (REG_DWORD)
//   HKLM\SOFTWARE\Zorv\Tessarn           AllowedOrigins (REG_MULTI_SZ)
//   HKCU\SOFTWARE\Zorv\Tessarn           AllowedOrigins (REG_MULTI_SZ),
//                                        written by "Always allow"
// The machine's keys are read in the 64-bit view from both modules, so that
// one list serves the 32-bit and the 64-bit module alike.
#include <windows.h>

#include <string>
#include <vector>

#include "sitelock/origin_list.h"

namespace sitelock {

enum class ListKind { kPolicyDenied, kPolicyAllowed, kMachineAllowed, kUserAllowed };

// The texts of one list as stored (empty when the value is missing or is
// not a string list).
std::vector<std::wstring> ReadListTexts(ListKind kind);

// The lists and switches that decide the caller's call, and no more: a
// caller without a page is judged by AllowNonBrowserHosts alone, a page
// whose origin cannot be had by nothing stored, a page's origin by the
// lists and Prompt. Each value read is a key opened, queried and closed,
// and every gated call pays for what it reads. List entries that do not parse are left out and logged at WARNING.
Settings ReadSettings(const Caller& caller);

// The user's own list, as "Always allow" and the property page change it.
// Adding an origin already listed changes nothing; removing compares the
// stored text after reduction, so any spelling of the origin removes it.
bool AddUserAllowedOrigin(const Origin& origin);
bool RemoveUserAllowedOrigin(const std::wstring& text);

}  // namespace sitelock
