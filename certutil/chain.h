#pragma once
#include <windows.h>
#include <wincrypt.h>

#include "certutil/result_code.h"

namespace norelCertInfoUtl {

// A chain trust status mapped by its exact value: the code, and the log
// line and its level letter (null for a status with no line).
struct ChainVerdict {
  ResultCode code;
  wchar_t level;
  const wchar_t* line;
};
ChainVerdict ChainStatusVerdict(DWORD errorStatus);

// Builds the certificate's chain to a trusted root, as of now, and answers
// 0, 18, 19, 20 to 31, or 42 for any status that is not exactly one known
// bit.
ResultCode nrlCertChainIsValid(PCCERT_CONTEXT cert);

// Releases the chain engine the checks keep for the module's life; the
// module calls it when it unloads. A later check would make a new one.
void nrlReleaseChainEngine();

}  // namespace norelCertInfoUtl
