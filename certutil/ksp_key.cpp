#include "certutil/ksp_key.h"

#include <vector>

bool ReadKspKeyLink(PCCERT_CONTEXT cert, KspKeyLink* link) {
  DWORD size = 0;
  if (!cert || !CertGetCertificateContextProperty(cert, CERT_KEY_PROV_INFO_PROP_ID, nullptr, &size) ||
      size < sizeof(CRYPT_KEY_PROV_INFO))
    return false;
  // The property is a structure with its texts behind it: held in blocks
  // of its own alignment.
  std::vector<ULONGLONG> block((size + sizeof(ULONGLONG) - 1) / sizeof(ULONGLONG));
  if (!CertGetCertificateContextProperty(cert, CERT_KEY_PROV_INFO_PROP_ID, block.data(), &size)) return false;
  const auto* info = reinterpret_cast<const CRYPT_KEY_PROV_INFO*>(block.data());
  if (info->dwProvType != 0) return false;
  link->provider = info->pwszProvName ? info->pwszProvName : L"";
  link->key = info->pwszContainerName ? info->pwszContainerName : L"";
  link->scope = (info->dwFlags & CRYPT_MACHINE_KEYSET) ? NCRYPT_MACHINE_KEY_FLAG : 0;
  link->legacyKeySpec =
      (info->dwKeySpec == AT_SIGNATURE || info->dwKeySpec == AT_KEYEXCHANGE) ? info->dwKeySpec : 0;
  return true;
}

SECURITY_STATUS KspKey::Open(const KspKeyLink& link, bool silent, const wchar_t** failedStep) {
  Close();
  *failedStep = L"NCryptOpenStorageProvider";
  // A property without a provider name means the platform's software
  // provider, as for the platform's own lookups.
  const wchar_t* provider = link.provider.empty() ? MS_KEY_STORAGE_PROVIDER : link.provider.c_str();
  SECURITY_STATUS status = NCryptOpenStorageProvider(m_provider.Receive(), provider, 0);
  if (status != ERROR_SUCCESS) {
    // The platform leaves the slot untouched on failure; never free what
    // it did not hand out.
    (void)m_provider.Detach();
    return status;
  }
  *failedStep = L"NCryptOpenKey";
  status = NCryptOpenKey(m_provider.Get(), m_key.Receive(), link.key.c_str(), link.legacyKeySpec,
                         link.scope | (silent ? NCRYPT_SILENT_FLAG : 0));
  if (status != ERROR_SUCCESS) {
    (void)m_key.Detach();
    m_provider.Reset();
  }
  return status;
}

SECURITY_STATUS KspKey::Close() {
  SECURITY_STATUS key = m_key ? m_key.CloseReporting() : ERROR_SUCCESS;
  SECURITY_STATUS provider = m_provider ? m_provider.CloseReporting() : ERROR_SUCCESS;
  return key != ERROR_SUCCESS ? key : provider;
}
