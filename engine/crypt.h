#pragma once
#include <windows.h>

#include "certutil/crypt_common.h"
#include "certutil/result_code.h"
#include "engine/crypt_smart_card.h"
#include "engine/crypt_system.h"

class CCertCallback;

// The engine: the system store provider and the smart-card provider behind
// one set of operations. Each method call of the control makes its own.
class CCrypt : public CCryptCommon {
 public:
  CCrypt() = default;
  CCrypt(const CCrypt&) = delete;
  CCrypt& operator=(const CCrypt&) = delete;

  ResultCode Init();
  ResultCode Close();
  // 0 found, 1 not found, 33 invalid algorithm name. The algorithm name is
  // upper-cased in place.
  ResultCode FindCertificate(const wchar_t* serial, const wchar_t* thumbprint, wchar_t* algorithm,
                             PCCERT_CONTEXT* cert);
  ResultCode FindCertificateInStore(PCCERT_CONTEXT given, PCCERT_CONTEXT* cert);
  ResultCode EnumCertificates(CCertCallback& visitor, const wchar_t* storeName, bool all);

  // Signs a hash given as hexadecimal text; the signature as hexadecimal
  // text, most significant byte first.
  ResultCode SignRaw(const wchar_t* hash, wchar_t* algorithm, PCCERT_CONTEXT cert, wchar_t** signature);
  ResultCode SignHash(const BYTE* hash, DWORD length, wchar_t* algorithm, PCCERT_CONTEXT cert, BYTE** signature,
                      DWORD* signatureLength);
  // Signs a payload given as base64 into an attached PKCS #7 message, as
  // one line of base64.
  ResultCode SignPKCS7(const wchar_t* data, wchar_t* algorithm, PCCERT_CONTEXT cert, wchar_t** message);
  ResultCode SignData(const BYTE* data, DWORD length, wchar_t* algorithm, PCCERT_CONTEXT cert, BYTE** message,
                      DWORD* messageLength);
  void ReleaseCertificate(PCCERT_CONTEXT cert);
  static ResultCode CheckOSVersion();

 private:
  CCryptSystem m_system;
  CCryptSmartCard m_smartCard;
};
