#pragma once
#include <windows.h>
#include <wincrypt.h>
#include <winscard.h>

#include "certutil/crypt_common.h"
#include "certutil/crypt_handles.h"
#include "certutil/result_code.h"

class CCertCallback;

// The certificate provider of the smart cards in the connected readers.
class CCryptSmartCard : public CCryptCommon {
 public:
  CCryptSmartCard() = default;
  CCryptSmartCard(const CCryptSmartCard&) = delete;
  CCryptSmartCard& operator=(const CCryptSmartCard&) = delete;
  ~CCryptSmartCard();

  ResultCode Init();
  void Close();
  ResultCode FindCertificate(const wchar_t* serial, const wchar_t* thumbprint, const wchar_t* algorithm,
                             PCCERT_CONTEXT* cert);
  ResultCode EnumCertificates(CCertCallback& visitor, bool all);
  ResultCode GetCertificateFromReader(HCRYPTPROV provider, const wchar_t* serial, const wchar_t* thumbprint,
                                      const wchar_t* algorithm, PCCERT_CONTEXT* cert);
  ResultCode EnumCertificatesFromReader(HCRYPTPROV provider, CCertCallback& visitor, bool all);
  // Connected readers, or a negative number when none can be listed.
  int GetReaderCount() const;
  bool IsInitialized() const { return m_bInitialized; }

 private:
  struct ScanTexts;
  // The reader scan shared by FindCertificate (find = true) and
  // EnumCertificates; `perCard` runs with each card's provider handle and
  // answers true to end the scan.
  template <class PerCard>
  ResultCode Scan(const ScanTexts& texts, bool find, PerCard perCard);

  ScopedCardContext m_context;
  bool m_bInitialized = false;
};
