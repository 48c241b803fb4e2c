#include "engine/key_for_signing.h"

#include "diag/log.h"

bool KeyForSigning::Acquire(PCCERT_CONTEXT cert) {
  HCRYPTPROV_OR_NCRYPT_KEY_HANDLE handle = 0;
  BOOL callerFrees = FALSE;
  m_owned.Reset();
  m_provider = 0;
  m_keySpec = AT_SIGNATURE;
  if (!CryptAcquireCertificatePrivateKey(cert, CRYPT_ACQUIRE_USE_PROV_INFO_FLAG, nullptr, &handle, &m_keySpec,
                                         &callerFrees))
    return false;
  m_provider = handle;
  if (callerFrees) m_owned.Reset(handle);
  return true;
}

void KeyForSigning::ResetPins() const {
  if (!CryptSetProvParam(m_provider, PP_SIGNATURE_PIN, nullptr, 0))
    theLog.Warning(L"Can't reset signature PIN, error code [%lx]", GetLastError());
  if (!CryptSetProvParam(m_provider, PP_KEYEXCHANGE_PIN, nullptr, 0))
    theLog.Warning(L"Can't reset exchange PIN, error code [%lx]", GetLastError());
  if (!CryptSetProvParam(m_provider, PP_ADMIN_PIN, nullptr, 0))
    theLog.Warning(L"Can't reset admin PIN, error code [%lx]", GetLastError());
}

DWORD DigestLength(ALG_ID algorithm) {
  switch (algorithm) {
    case CALG_MD5: return 16;
    case CALG_SHA1: return 20;
    case CALG_SHA_256: return 32;
    case CALG_SHA_384: return 48;
    case CALG_SHA_512: return 64;
    default: return 0;
  }
}
