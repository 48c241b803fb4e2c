// The bare NCrypt work of a raw signature with a key of a key storage
// provider, the baseline of RawSign with such a key.
#include <windows.h>
#include <wincrypt.h>
#include <bcrypt.h>
#include <ncrypt.h>

#include <vector>

#include "tests/bench/bare_jobs.h"

namespace bare {

namespace {

// Opens the key the certificate's key-provider property names.
bool OpenKey(PCCERT_CONTEXT cert, DWORD extraFlags, NCRYPT_PROV_HANDLE* provider, NCRYPT_KEY_HANDLE* key) {
  DWORD size = 0;
  if (!CertGetCertificateContextProperty(cert, CERT_KEY_PROV_INFO_PROP_ID, nullptr, &size)) return false;
  std::vector<ULONGLONG> block((size + 7) / 8);
  if (!CertGetCertificateContextProperty(cert, CERT_KEY_PROV_INFO_PROP_ID, block.data(), &size)) return false;
  const auto* info = reinterpret_cast<const CRYPT_KEY_PROV_INFO*>(block.data());
  if (NCryptOpenStorageProvider(provider, info->pwszProvName, 0) != ERROR_SUCCESS) return false;
  DWORD scope = (info->dwFlags & CRYPT_MACHINE_KEYSET) ? NCRYPT_MACHINE_KEY_FLAG : 0;
  if (NCryptOpenKey(*provider, key, info->pwszContainerName, 0, scope | extraFlags) != ERROR_SUCCESS) {
    NCryptFreeObject(*provider);
    return false;
  }
  return true;
}

}  // namespace

bool KspRawSign(const std::string& thumb, const std::vector<BYTE>& hash) {
  HCERTSTORE my = CertOpenSystemStoreW(0, L"MY");
  PCCERT_CONTEXT cert = FindByThumbprint(my, thumb);
  if (!cert) {
    CertCloseStore(my, 0);
    return false;
  }
  // What the control's answer needs besides the signature: the signing
  // usage, the key looked for without a dialog, the chain.
  BYTE usage[2] = {};
  CertGetIntendedKeyUsage(X509_ASN_ENCODING | PKCS_7_ASN_ENCODING, cert->pCertInfo, usage, 2);
  NCRYPT_PROV_HANDLE provider = 0;
  NCRYPT_KEY_HANDLE key = 0;
  if (OpenKey(cert, NCRYPT_SILENT_FLAG, &provider, &key)) {
    NCryptFreeObject(key);
    NCryptFreeObject(provider);
  }
  ChainIsTrusted(cert);
  bool signed_ = false;
  if (OpenKey(cert, 0, &provider, &key)) {
    BCRYPT_PKCS1_PADDING_INFO padding = {BCRYPT_SHA256_ALGORITHM};
    std::vector<BYTE> value(hash);
    DWORD size = 0;
    if (NCryptSignHash(key, &padding, value.data(), static_cast<DWORD>(value.size()), nullptr, 0, &size,
                       BCRYPT_PAD_PKCS1) == ERROR_SUCCESS) {
      std::vector<BYTE> signature(size);
      signed_ = NCryptSignHash(key, &padding, value.data(), static_cast<DWORD>(value.size()), signature.data(), size,
                               &size, BCRYPT_PAD_PKCS1) == ERROR_SUCCESS &&
                size > 0;
    }
    NCryptFreeObject(key);
    NCryptFreeObject(provider);
  }
  CertFreeCertificateContext(cert);
  CertCloseStore(my, 0);
  return signed_;
}

}  // namespace bare
