#include "engine/signing_usage.h"

SigningUsage TestSigningUsage(PCCERT_CONTEXT cert) {
  BYTE usage[2] = {0, 0};
  SetLastError(0);
  if (CertGetIntendedKeyUsage(X509_ASN_ENCODING | PKCS_7_ASN_ENCODING, cert->pCertInfo, usage, sizeof(usage))) {
    bool signs = (usage[0] & (CERT_DIGITAL_SIGNATURE_KEY_USAGE | CERT_NON_REPUDIATION_KEY_USAGE)) != 0;
    return SigningUsage{signs ? SigningUsage::kPasses : SigningUsage::kNoSigning, usage[0], 0};
  }
  DWORD error = GetLastError();
  // No key-usage extension: a false answer with no error.
  if (error == 0) return SigningUsage{SigningUsage::kPasses, 0, 0};
  return SigningUsage{SigningUsage::kQueryFailed, 0, error};
}
