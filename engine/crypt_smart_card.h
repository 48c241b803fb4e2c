#pragma once
#include <windows.h>
#include <winscard.h>

#include "certutil/crypt_common.h"
#include "certutil/result_code.h"

// The certificate provider of the smart cards in the connected readers.
class CCryptSmartCard : public CCryptCommon {
 public:
  CCryptSmartCard() = default;
  CCryptSmartCard(const CCryptSmartCard&) = delete;
  CCryptSmartCard& operator=(const CCryptSmartCard&) = delete;
  ~CCryptSmartCard();

  ResultCode Init();
  void Close();
  // Connected readers, or a negative number when none can be listed.
  int GetReaderCount() const;
  bool IsInitialized() const { return m_bInitialized; }

 private:
  SCARDCONTEXT m_hContext = 0;
  bool m_bInitialized = false;
};
