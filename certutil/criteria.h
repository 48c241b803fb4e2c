#pragma once
#include <windows.h>
#include <wincrypt.h>

#include "certutil/result_code.h"

// The certificate criteria bit mask of CertEnum and CertIsValid.
constexpr long CRITERIA_ALTNAME_OID = 0x001;
constexpr long CRITERIA_EKU_OID = 0x002;
constexpr long CRITERIA_NEITHER_OID = 0x080;
constexpr long CRITERIA_NO_VALIDATION = 0x100;

namespace norelCertInfoUtl {

// 0 when the certificate passes the criteria; 20, 1, 13, a chain code or 43
// otherwise.
ResultCode nrlCertIsValid(PCCERT_CONTEXT cert, long criteria);
// 0 bound to a key, 1 no key information, 13 the property cannot be read.
ResultCode nrlCertHasPrivateKey(PCCERT_CONTEXT cert);

}  // namespace norelCertInfoUtl
