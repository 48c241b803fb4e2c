#include "engine/key_for_signing.h"

#include <cwchar>
#include <vector>

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

bool KeyForSigning::ReopenWithSha2(PCCERT_CONTEXT cert) {
  DWORD size = 0;
  if (!CertGetCertificateContextProperty(cert, CERT_KEY_PROV_INFO_PROP_ID, nullptr, &size) ||
      size < sizeof(CRYPT_KEY_PROV_INFO))
    return false;
  std::vector<ULONGLONG> block((size + sizeof(ULONGLONG) - 1) / sizeof(ULONGLONG));
  if (!CertGetCertificateContextProperty(cert, CERT_KEY_PROV_INFO_PROP_ID, block.data(), &size)) return false;
  const auto* info = reinterpret_cast<const CRYPT_KEY_PROV_INFO*>(block.data());
  if (info->dwProvType != PROV_RSA_FULL || !info->pwszProvName || !info->pwszContainerName) return false;
  const wchar_t* const kSoftwareProviders[] = {MS_DEF_PROV_W, MS_STRONG_PROV_W, MS_ENHANCED_PROV_W};
  bool software = false;
  for (const wchar_t* name : kSoftwareProviders) software = software || _wcsicmp(name, info->pwszProvName) == 0;
  if (!software) return false;
  theLog.Info(L"CCrypt::SignHash provider [%s] has no SHA-2, container [%s] through [%s]", info->pwszProvName,
              info->pwszContainerName, MS_ENH_RSA_AES_PROV_W);
  if (!CryptAcquireContextW(m_sha2.Receive(), info->pwszContainerName, MS_ENH_RSA_AES_PROV_W, PROV_RSA_AES,
                            info->dwFlags & CRYPT_MACHINE_KEYSET)) {
    theLog.Error(L"Can't acquire container [%s] through [%s], error code [%lx]", info->pwszContainerName,
                 MS_ENH_RSA_AES_PROV_W, GetLastError());
    (void)m_sha2.Detach();
    return false;
  }
  m_provider = m_sha2.Get();
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
