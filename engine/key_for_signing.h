#pragma once
#include <windows.h>
#include <wincrypt.h>

#include "certutil/crypt_handles.h"

// The private key of a certificate, reached through the certificate's own
// key provider information; the provider is released on every path when
// the platform says the caller must free it.
class KeyForSigning {
 public:
  KeyForSigning() = default;
  KeyForSigning(const KeyForSigning&) = delete;
  KeyForSigning& operator=(const KeyForSigning&) = delete;
  ~KeyForSigning() = default;

  bool Acquire(PCCERT_CONTEXT cert);
  HCRYPTPROV Provider() const { return m_provider; }
  DWORD KeySpec() const { return m_keySpec; }
  // For a key of one of Microsoft's software RSA providers of type
  // PROV_RSA_FULL (Base, Strong, Enhanced), which have no SHA-2: opens the
  // same key container through the Enhanced RSA and AES provider, which
  // shares their key storage, and signs with that from now on. False, and
  // the key as it was, for every other provider (a smart card's above all:
  // its container is never opened under another provider's name).
  bool ReopenWithSha2(PCCERT_CONTEXT cert);
  // Clears any cached PIN of the key's provider before the real signing
  // call, so that the provider asks for it; failures are only warnings.
  void ResetPins() const;

 private:
  HCRYPTPROV m_provider = 0;
  // Holds the provider only when the platform hands its release to us; a
  // provider cached with the certificate stays the platform's.
  ScopedCryptProv m_owned;
  ScopedCryptProv m_sha2;
  DWORD m_keySpec = AT_SIGNATURE;
};

// The digest length of a hash algorithm, 0 for an unknown one.
DWORD DigestLength(ALG_ID algorithm);
