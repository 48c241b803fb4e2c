#include "engine/crypt_system.h"

#include "diag/log.h"

namespace {

struct ProviderAttempt {
  const wchar_t* name;
  DWORD type;
  bool retryOnKeysetNotDefined;  // NTE_KEYSET_NOT_DEF also leads to CRYPT_NEWKEYSET
  // Written before the attempt.
  struct {
    const wchar_t* label;
    const wchar_t* provider;  // %s: the provider's name
    const wchar_t* type;      // %d: the provider type
  } before;
  const wchar_t* success;
  const wchar_t* newKeysetFailed;
  const wchar_t* acquireFailed;
};

const ProviderAttempt kAttempts[] = {
    {L"Microsoft Enhanced RSA and AES Cryptographic Provider", PROV_RSA_AES, true,
     {L"0 (rsa aes provider)- CCryptSystem:Init finished", L"0 (rsa aes provider)- provider: %s",
      L"0 (rsa aes provider)- providertype: %d"},
     L"0 - CCryptSystem:Init finished", L"0 OF 2 - Can't acquire new context, error code [%lx]",
     L"0 of 2 - Can't acquire context, error code [%lx]"},
    {L"Microsoft Enhanced RSA and AES Cryptographic Provider (Prototype)", PROV_RSA_AES, true,
     {L"1 (rsa aes provider)- CCryptSystem:Init finished", L"1 (rsa aes provider)- provider: %s",
      L"1 (rsa aes provider)- providertype: %d"},
     L"1 - CCryptSystem:Init finished", L"1 OF 2 - Can't acquire new context, error code [%lx]",
     L"1 of 2 - Can't acquire context, error code [%lx]"},
    {L"Microsoft Base Cryptographic Provider v1.0", PROV_RSA_FULL, false,
     {L"2 (ms base provider)- CCryptSystem:Init finished", L"2 (rsa aes provider)- provider: %s",
      L"2 (rsa aes provider)- providertype: %d"},
     L"2 - CCryptSystem:Init finished", L"2 of 2 - Can't acquire new context, error code [%lx]",
     L"2 of 2 - Can't acquire context, error code [%lx]"},
};

}  // namespace

CCryptSystem::~CCryptSystem() {
  // The engine always closes; this only guards against a handle left by a
  // path that did not. A release that failed is never tried again (the
  // owner is empty after it): the platform may have freed the handle all the
  // same, and a second release of a freed handle can release another
  // thread's provider.
  if (m_bInitialized && m_provider) Close();
}

ResultCode CCryptSystem::Init() {
  m_provider.Reset();
  theLog.Trace(L"CCryptSystem:Init start");
  m_bInitialized = false;
  for (const ProviderAttempt& a : kAttempts) {
    theLog.Trace(a.before.label);
    theLog.Trace(a.before.provider, a.name);
    theLog.Trace(a.before.type, static_cast<int>(a.type));
    // Each attempt acquires into its own variable: a failed call leaves
    // nothing for the owner to release.
    HCRYPTPROV acquired = 0;
    if (CryptAcquireContextW(&acquired, nullptr, a.name, a.type, 0)) {
      m_provider.Reset(acquired);
      m_bInitialized = true;
      theLog.Trace(a.success);
      return rc::kOk;
    }
    DWORD error = GetLastError();
    bool noKeyset = error == static_cast<DWORD>(NTE_BAD_KEYSET) ||
                    (a.retryOnKeysetNotDefined && error == static_cast<DWORD>(NTE_KEYSET_NOT_DEF));
    if (noKeyset) {
      acquired = 0;
      if (CryptAcquireContextW(&acquired, nullptr, a.name, a.type, CRYPT_NEWKEYSET)) {
        m_provider.Reset(acquired);
        m_bInitialized = true;
        theLog.Trace(a.success);
        return rc::kOk;
      }
      theLog.Error(a.newKeysetFailed, GetLastError());
    } else {
      theLog.Error(a.acquireFailed, error);
    }
  }
  theLog.Error(L"NONE 2 of 2 - Can't acquire context, error code [%lx]", GetLastError());
  return rc::kContextNotAcquired;
}

void CCryptSystem::Close() {
  if (!m_bInitialized || !m_provider) return;
  if (m_provider.CloseReporting()) {
    theLog.Debug(L"The context has been released.");
    m_bInitialized = false;
  } else {
    theLog.Warning(L"The context could not be released.");
  }
}
