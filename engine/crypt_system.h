#pragma once
#include <windows.h>
#include <wincrypt.h>

#include "certutil/crypt_common.h"
#include "certutil/result_code.h"

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
  bool IsInitialized() const { return m_bInitialized; }
  HCRYPTPROV Provider() const { return m_hProv; }

 private:
  HCRYPTPROV m_hProv = 0;
  bool m_bInitialized = false;
};
