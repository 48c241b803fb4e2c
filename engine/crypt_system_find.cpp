// Finding and enumerating certificates of the current user's system stores.
#include <cwchar>

#include "certutil/crypt_handles.h"
#include "certutil/heap.h"
#include "certutil/visitors.h"
#include "diag/log.h"
#include "engine/crypt_system.h"
#include "engine/hash_algorithms.h"
#include "engine/signing_usage.h"

namespace {

const DWORD kEncoding = X509_ASN_ENCODING | PKCS_7_ASN_ENCODING;

// The signing-usage test with the system provider's warning.
bool MaySign(PCCERT_CONTEXT cert) {
  SigningUsage usage = TestSigningUsage(cert);
  if (usage.verdict == SigningUsage::kQueryFailed)
    theLog.Warning(L"Can't get intended key usage for certificate in system store, error code [%lx]", usage.error);
  return usage.verdict == SigningUsage::kPasses;
}

// The store is opened without the engine's provider handle: a store given a
// provider releases it when it closes (the platform's documented default),
// and the engine releases the same handle again when it closes, which frees
// it twice; the second release may then hit another thread's provider. The
// platform needs no provider to open a system store.
HCERTSTORE OpenSystemStore(const wchar_t* name) { return CertOpenSystemStoreW(0, name); }

// A store a caller names: opened only when it exists, and read-only, since
// the enumeration only reads. Opening a system store by name creates it
// (registry keys under the user's SystemCertificates) unless told to open an
// existing one, and a page could fill the user's registry that way. A name
// with a backslash is no system store of this user (it would name a store
// on another computer or a path below a store), and an empty one names
// none. "MY", the personal store the engine itself works on, opens as the
// engine opens it.
HCERTSTORE OpenNamedStore(const wchar_t* name) {
  if (_wcsicmp(name, L"MY") == 0) return OpenSystemStore(name);
  if (!*name || wcschr(name, L'\\')) {
    SetLastError(ERROR_INVALID_NAME);
    return nullptr;
  }
  return CertOpenStore(CERT_STORE_PROV_SYSTEM_W, 0, 0,
                       CERT_SYSTEM_STORE_CURRENT_USER | CERT_STORE_OPEN_EXISTING_FLAG | CERT_STORE_READONLY_FLAG,
                       name);
}

}  // namespace

ResultCode CCryptSystem::FindCertificate(const wchar_t* serial, const wchar_t* thumbprint, const wchar_t* algorithm,
                                         PCCERT_CONTEXT* cert) {
  theLog.Trace(L"CCryptSystem:FindCertificate start");
  theLog.Trace(L"CCryptSystem:FindCertificate CertOpenSystemStore");
  ScopedCertStore store(OpenSystemStore(L"MY"));
  if (!store) {
    theLog.Error(L"Can't open system store MY, error code [%lx]", GetLastError());
    theLog.Trace(L"CCryptSystem:FindCertificate finished");
    return rc::kStoreNotOpened;
  }
  theLog.Trace(L"CCryptSystem:FindCertificate String2Binary");
  DWORD findType = IsMd5ThumbprintName(algorithm) ? CERT_FIND_MD5_HASH : CERT_FIND_SHA1_HASH;
  BYTE* raw = nullptr;
  DWORD length = 0;
  ResultCode code = String2Binary(thumbprint, &raw, &length);
  if (code != rc::kOk) {
    theLog.Error(L"Can't convert thumbprint to binary");
    store.Reset();
    theLog.Trace(L"CCryptSystem:FindCertificate finished");
    return code;
  }
  MallocPtr<BYTE> hash(raw);
  *cert = nullptr;
  theLog.Trace(L"CCryptSystem:FindCertificate CertFindCertificateInStore");
  CRYPT_HASH_BLOB blob = {length, hash.get()};
  PCCERT_CONTEXT candidate = nullptr;
  bool found = false;
  while ((candidate = CertFindCertificateInStore(store.Get(), kEncoding, 0, findType, &blob, candidate)) != nullptr) {
    if (CheckSerial(candidate, serial) != rc::kOk) {
      theLog.Warning(L"Serial number check failed");
      continue;
    }
    theLog.Trace(L"CCryptSystem:FindCertificate CertGetIntendedKeyUsage");
    found = MaySign(candidate);
    theLog.Trace(L"CCryptSystem:FindCertificate [%s]", found ? L"found" : L"not found");
    if (found) break;
  }
  *cert = candidate;
  hash.reset();
  theLog.Trace(L"CCryptSystem:FindCertificate CertCloseStore");
  store.Reset();
  theLog.Trace(L"CCryptSystem:FindCertificate finished, found [%s]", found ? L"TRUE" : L"FALSE");
  return found ? rc::kOk : rc::kCertNotFound;
}

ResultCode CCryptSystem::FindCertificateInStore(PCCERT_CONTEXT given, PCCERT_CONTEXT* cert) {
  theLog.Trace(L"CCryptSystem:FindCertificateInStore start");
  theLog.Trace(L"CCryptSystem:FindCertificateInStore CertOpenSystemStore");
  ScopedCertStore store(OpenSystemStore(L"MY"));
  if (!store) {
    theLog.Error(L"Can't open system store MY, error code [%lx]", GetLastError());
    theLog.Trace(L"CCryptSystem:FindCertificate finished");
    return rc::kStoreNotOpened;
  }
  *cert = nullptr;
  theLog.Trace(L"CCryptSystem:FindCertificateInStore CertFindCertificateInStore");
  PCCERT_CONTEXT candidate = nullptr;
  bool found = false;
  while ((candidate = CertFindCertificateInStore(store.Get(), kEncoding, 0, CERT_FIND_SUBJECT_CERT,
                                                 given->pCertInfo, candidate)) != nullptr) {
    theLog.Trace(L"CCryptSystem:FindCertificate CertGetIntendedKeyUsage");
    found = MaySign(candidate);
    theLog.Trace(L"CCryptSystem:FindCertificateInStore [%s]", found ? L"found" : L"not found");
    if (found) break;
  }
  *cert = candidate;
  theLog.Trace(L"CCryptSystem:FindCertificateInStore CertCloseStore");
  store.Reset();
  theLog.Trace(L"CCryptSystem:FindCertificateInStore finished, found [%s]", found ? L"TRUE" : L"FALSE");
  return found ? rc::kOk : rc::kCertNotFound;
}

ResultCode CCryptSystem::EnumCertificates(CCertCallback& visitor, const wchar_t* storeName, bool all) {
  theLog.Trace(L"CCryptSystem:EnumCertificates start");
  theLog.Trace(L"CCryptSystem:EnumCertificates CertOpenSystemStore");
  ScopedCertStore store(storeName ? OpenNamedStore(storeName) : nullptr);
  if (!store) {
    theLog.Error(L"Can't open system store [%s], error code [%lx]", storeName, GetLastError());
    theLog.Trace(L"CCryptSystem:EnumCertificates finished");
    return rc::kStoreNotOpened;
  }
  theLog.Trace(L"CCryptSystem:EnumCertificates CertFindCertificateInStore");
  int count = 0;
  // The walk frees the context it is handed and returns the next one; the
  // current one is owned here, so an exception of the visitor frees it too.
  ScopedCertContext cert;
  for (;;) {
    cert.Reset(CertEnumCertificatesInStore(store.Get(), cert.Detach()));
    if (!cert) break;
    bool hand = all;
    if (!all) {
      theLog.Trace(L"CCryptSystem:EnumCertificates CertGetIntendedKeyUsage");
      hand = MaySign(cert.Get());
    }
    if (hand) {
      ++count;
      visitor.OnCertificate(cert.Get());
    }
    theLog.Trace(L"CCryptSystem:EnumCertificates [count: %d]", count);
  }
  theLog.Trace(L"CCryptSystem:EnumCertificates CertCloseStore");
  store.Reset();
  theLog.Trace(L"CCryptSystem:EnumCertificates finished, found [count: %d]", count);
  return rc::kOk;
}
