#pragma once
#include <windows.h>
#include <wincrypt.h>
#include <ncrypt.h>

#include <string>

#include "certutil/crypt_handles.h"

// A certificate whose key-provider property names a key storage provider
// (provider type 0) has its private key in CNG, which CryptoAPI's provider
// functions cannot reach: such keys are opened and used through NCrypt.
struct KspKeyLink {
  std::wstring provider;
  std::wstring key;
  // NCRYPT_MACHINE_KEY_FLAG when the property names a machine key.
  DWORD scope = 0;
  // AT_SIGNATURE or AT_KEYEXCHANGE for a key also known to CryptoAPI, else 0.
  DWORD legacyKeySpec = 0;
};

// True when the certificate's key-provider property names a key storage
// provider; the property's contents then fill *link.
bool ReadKspKeyLink(PCCERT_CONTEXT cert, KspKeyLink* link);

// The provider and the key of a link, both freed when the object goes.
class KspKey {
 public:
  KspKey() = default;
  KspKey(const KspKey&) = delete;
  KspKey& operator=(const KspKey&) = delete;

  // The platform's status of the failing step; `silent` forbids any
  // dialog. *failedStep names that step ("NCryptOpenStorageProvider" or
  // "NCryptOpenKey") for the caller's log line.
  SECURITY_STATUS Open(const KspKeyLink& link, bool silent, const wchar_t** failedStep);
  NCRYPT_KEY_HANDLE Handle() const { return m_key.Get(); }
  // Frees the key, then its provider, and answers the first failure.
  SECURITY_STATUS Close();

 private:
  ScopedNCryptProv m_provider;
  ScopedNCryptKey m_key;
};
