#pragma once
#include <windows.h>

#include "certutil/crypt_common.h"
#include "certutil/result_code.h"
#include "engine/crypt_smart_card.h"
#include "engine/crypt_system.h"

// The engine: the system store provider and the smart-card provider behind
// one set of operations. Each method call of the control makes its own.
class CCrypt : public CCryptCommon {
 public:
  CCrypt() = default;
  CCrypt(const CCrypt&) = delete;
  CCrypt& operator=(const CCrypt&) = delete;

  ResultCode Init();
  ResultCode Close();
  void ReleaseCertificate(PCCERT_CONTEXT cert);
  static ResultCode CheckOSVersion();

 private:
  CCryptSystem m_system;
  CCryptSmartCard m_smartCard;
};
