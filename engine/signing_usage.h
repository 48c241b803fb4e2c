#pragma once
#include <windows.h>
#include <wincrypt.h>

// The test both certificate providers apply before they hand a certificate
// out: its key may sign (digital signature or non-repudiation), or it has
// no key-usage extension at all.
struct SigningUsage {
  enum Verdict { kPasses, kNoSigning, kQueryFailed } verdict;
  BYTE firstByte;  // the first key-usage byte read
  DWORD error;     // the platform's error when the query failed
};
SigningUsage TestSigningUsage(PCCERT_CONTEXT cert);
