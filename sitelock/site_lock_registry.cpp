#include "sitelock/site_lock_registry.h"

#include "certutil/crypt_handles.h"
#include "diag/log.h"
#include "diag/registry_settings.h"

namespace sitelock {
namespace {

using registry_settings::Setting;

// A list of more than this is not an administrator's list of sites.
constexpr DWORD kMaxListBytes = 1 << 20;


struct ListPlace {
  HKEY root;
  const wchar_t* key;
  const wchar_t* value;
  const wchar_t* name;  // for the log
};

ListPlace Place(const Setting& setting, const wchar_t* name) {
  return {setting.root, setting.key, setting.value, name};
}

ListPlace PlaceOf(ListKind kind) {
  switch (kind) {
    case ListKind::kPolicyDenied: return Place(registry_settings::kPolicyDeniedOrigins, L"policy DeniedOrigins");
    case ListKind::kPolicyAllowed: return Place(registry_settings::kPolicyAllowedOrigins, L"policy AllowedOrigins");
    case ListKind::kMachineAllowed:
      return Place(registry_settings::kMachineAllowedOrigins, L"machine AllowedOrigins");
    case ListKind::kUserAllowed: break;
  }
  return Place(registry_settings::kUserAllowedOrigins, L"user AllowedOrigins");
}

REGSAM ViewOf(HKEY root) { return root == HKEY_LOCAL_MACHINE ? KEY_WOW64_64KEY : 0; }

bool OpenForRead(HKEY root, const wchar_t* path, ScopedRegKey* key) {
  return RegOpenKeyExW(root, path, 0, KEY_QUERY_VALUE | ViewOf(root), key->Receive()) == ERROR_SUCCESS;
}

// Splits REG_MULTI_SZ data (or a REG_SZ single entry); the data need not be
// terminated the way the type promises.
std::vector<std::wstring> SplitStrings(const std::vector<wchar_t>& chars, DWORD type) {
  std::vector<std::wstring> texts;
  std::wstring current;
  for (wchar_t c : chars) {
    if (c != L'\0') {
      current += c;
      continue;
    }
    if (current.empty() && type == REG_MULTI_SZ) break;  // the closing empty string
    if (!current.empty()) texts.push_back(current);
    current.clear();
    if (type == REG_SZ) break;
  }
  if (!current.empty()) texts.push_back(current);
  return texts;
}

bool ReadStrings(HKEY root, const wchar_t* path, const wchar_t* value, std::vector<std::wstring>* texts,
                 const wchar_t* logName) {
  texts->clear();
  ScopedRegKey key;
  if (!OpenForRead(root, path, &key)) return false;
  DWORD type = 0, bytes = 0;
  LONG rc = RegQueryValueExW(key.Get(), value, nullptr, &type, nullptr, &bytes);
  if (rc == ERROR_FILE_NOT_FOUND) return false;
  if (rc != ERROR_SUCCESS || (type != REG_MULTI_SZ && type != REG_SZ) || bytes > kMaxListBytes) {
    if (logName) theLog.Warning(L"CSiteLock: %s ignored (type %lu, %lu bytes, rv=%ld)", logName, type, bytes, rc);
    return false;
  }
  // The value may grow between the two reads: retry a few times.
  for (int attempt = 0; attempt < 4; ++attempt) {
    std::vector<wchar_t> chars(bytes / sizeof(wchar_t) + 2, L'\0');
    DWORD got = static_cast<DWORD>((chars.size() - 2) * sizeof(wchar_t));
    rc = RegQueryValueExW(key.Get(), value, nullptr, &type, reinterpret_cast<BYTE*>(chars.data()), &got);
    if (rc == ERROR_MORE_DATA && got <= kMaxListBytes) {
      bytes = got;
      continue;
    }
    if (rc != ERROR_SUCCESS || (type != REG_MULTI_SZ && type != REG_SZ)) return false;
    chars.resize(got / sizeof(wchar_t));
    *texts = SplitStrings(chars, type);
    return true;
  }
  return false;
}

// A REG_DWORD switch; anything but a readable REG_DWORD keeps the default.
bool ReadSwitch(const Setting& setting, bool fallback) {
  const wchar_t* value = setting.value;
  ScopedRegKey key;
  if (!OpenForRead(setting.root, setting.key, &key)) return fallback;
  DWORD type = 0, data = 0, bytes = sizeof(data);
  LONG rc = RegQueryValueExW(key.Get(), value, nullptr, &type, reinterpret_cast<BYTE*>(&data), &bytes);
  if (rc == ERROR_FILE_NOT_FOUND) return fallback;
  if (rc != ERROR_SUCCESS || type != REG_DWORD || bytes != sizeof(data)) {
    theLog.Warning(L"CSiteLock: policy %s ignored (type %lu, rv=%ld)", value, type, rc);
    return fallback;
  }
  return data != 0;
}

std::vector<ListEntry> ReadList(ListKind kind) {
  ListPlace place = PlaceOf(kind);
  std::vector<std::wstring> texts;
  ReadStrings(place.root, place.key, place.value, &texts, place.name);
  bool wildcards = kind == ListKind::kPolicyDenied || kind == ListKind::kPolicyAllowed;
  std::vector<RejectedEntry> rejected;
  std::vector<ListEntry> list = ParseList(texts, wildcards, &rejected);
  for (const RejectedEntry& r : rejected)
    theLog.Warning(L"CSiteLock: entry [%s] of %s ignored: %s", r.text.c_str(), place.name,
                   OriginStatusName(r.status));
  return list;
}

bool WriteUserList(const std::vector<std::wstring>& texts) {
  std::vector<wchar_t> data;
  for (const std::wstring& t : texts) {
    data.insert(data.end(), t.begin(), t.end());
    data.push_back(L'\0');
  }
  data.push_back(L'\0');
  if (texts.empty()) data.push_back(L'\0');
  ScopedRegKey key;
  const Setting& list = registry_settings::kUserAllowedOrigins;
  if (RegCreateKeyExW(list.root, list.key, 0, nullptr, 0, KEY_SET_VALUE, nullptr, key.Receive(),
                      nullptr) != ERROR_SUCCESS)
    return false;
  return RegSetValueExW(key.Get(), list.value, 0, list.type, reinterpret_cast<const BYTE*>(data.data()),
                        static_cast<DWORD>(data.size() * sizeof(wchar_t))) == ERROR_SUCCESS;
}

// Whether a stored text is the given origin (in any spelling).
bool IsOrigin(const std::wstring& text, const Origin& origin) {
  Origin parsed;
  bool wildcard = false;
  return ParseOriginText(text, false, &parsed, &wildcard) == OriginStatus::kOk && parsed == origin;
}

}  // namespace

std::vector<std::wstring> ReadListTexts(ListKind kind) {
  ListPlace place = PlaceOf(kind);
  std::vector<std::wstring> texts;
  ReadStrings(place.root, place.key, place.value, &texts, nullptr);
  return texts;
}

Settings ReadSettings(const Caller& caller) {
  Settings settings;
  switch (caller.kind) {
    case Caller::Kind::kNoPage:
      settings.allowNonBrowserHosts = ReadSwitch(registry_settings::kPolicyAllowNonBrowserHosts, true);
      return settings;
    case Caller::Kind::kUnreadablePage:
      return settings;
    case Caller::Kind::kPage:
      break;
  }
  if (caller.status != OriginStatus::kOk) return settings;
  settings.policyDenied = ReadList(ListKind::kPolicyDenied);
  settings.policyAllowed = ReadList(ListKind::kPolicyAllowed);
  settings.machineAllowed = ReadList(ListKind::kMachineAllowed);
  settings.userAllowed = ReadList(ListKind::kUserAllowed);
  settings.prompt = ReadSwitch(registry_settings::kPolicyPrompt, true);
  return settings;
}

bool AddUserAllowedOrigin(const Origin& origin) {
  std::vector<std::wstring> texts = ReadListTexts(ListKind::kUserAllowed);
  for (const std::wstring& t : texts)
    if (IsOrigin(t, origin)) return true;
  texts.push_back(origin.Text());
  return WriteUserList(texts);
}

bool RemoveUserAllowedOrigin(const std::wstring& text) {
  Origin target;
  bool wildcard = false;
  bool parsed = ParseOriginText(text, false, &target, &wildcard) == OriginStatus::kOk;
  std::vector<std::wstring> texts = ReadListTexts(ListKind::kUserAllowed);
  std::vector<std::wstring> kept;
  for (const std::wstring& t : texts) {
    bool same = parsed ? IsOrigin(t, target) : t == text;
    if (!same) kept.push_back(t);
  }
  if (kept.size() == texts.size()) return false;
  return WriteUserList(kept);
}

}  // namespace sitelock
