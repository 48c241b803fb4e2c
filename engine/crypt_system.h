#pragma once
#include <windows.h>
#include <wincrypt.h>

#include "certutil/crypt_common.h"
#include "certutil/crypt_handles.h"
#include "certutil/result_code.h"

class CCertCallback;

// The certificate provider of the current user's system stores. It holds
// one CryptoAPI provider handle for the life of the engine object.
class CCryptSystem : public CCryptCommon {
 public:
  CCryptSystem() = default;
  CCryptSystem(const CCryptSystem&) = delete;
  CCryptSystem& operator=(const CCryptSystem&) = delete;
  ~CCryptSystem();

  ResultCode Init();
  void Close();
  // Finds the "MY" certificate with this thumbprint (MD5 for the name "MD5",
  // otherwise SHA-1) and serial number whose key may sign.
  ResultCode FindCertificate(const wchar_t* serial, const wchar_t* thumbprint, const wchar_t* algorithm,
                             PCCERT_CONTEXT* cert);
  // Finds the "MY" copy (same issuer and serial number) of a certificate.
  ResultCode FindCertificateInStore(PCCERT_CONTEXT given, PCCERT_CONTEXT* cert);
  // Hands the visitor every certificate of the store (all) or those whose
  // key may sign.
  ResultCode EnumCertificates(CCertCallback& visitor, const wchar_t* storeName, bool all);
  bool IsInitialized() const { return m_bInitialized; }
  HCRYPTPROV Provider() const { return m_provider.Get(); }

 private:
  ScopedCryptProv m_provider;
  bool m_bInitialized = false;
};
