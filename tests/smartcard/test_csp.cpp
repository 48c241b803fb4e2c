// A cryptographic service provider for test cards. It is opened as
// "\\.\READER\" for a reader of the test's scenario that holds a card, and
// serves that card: its container name, its signature and key-exchange keys
// (either may be missing) with the certificates stored with them, and real
// RSA signatures made with the card keys. The key arithmetic is delegated
// to the platform's own provider, in a verify-only context that persists
// nothing, so the keys exist nowhere but on this "card". Faults from the
// scenario can be injected at acquisition, container name, user key and key
// parameter.
#include <windows.h>
#include <wincrypt.h>

#include <cstring>
#include <string>
#include <vector>

#include "tests/smartcard/scenario.h"

namespace {

struct Key {
  DWORD spec;
  HCRYPTKEY inner;
  std::vector<BYTE> certificate;
};

struct Provider {
  HCRYPTPROV inner = 0;
  bool verifyOnly = false;
  std::string container;  // "\\.\READER\"
  std::vector<Key> keys;
  size_t enumPosition = 0;
};

std::string Narrow(const std::wstring& w) {
  std::string s;
  for (wchar_t c : w) s += static_cast<char>(c < 128 ? c : '?');
  return s;
}

std::string ContainerOf(const CardReader& r) { return "\\\\.\\" + Narrow(r.name) + "\\"; }

bool Fail(DWORD error) {
  SetLastError(error);
  return false;
}

bool CopyOut(const void* data, DWORD size, BYTE* out, DWORD* outSize) {
  if (!outSize) return Fail(ERROR_INVALID_PARAMETER);
  if (!out) {
    *outSize = size;
    return true;
  }
  if (*outSize < size) {
    *outSize = size;
    return Fail(ERROR_MORE_DATA);
  }
  memcpy(out, data, size);
  *outSize = size;
  return true;
}

// Imports a PKI key into the inner context as the card key of `spec`.
bool ImportCardKey(Provider* p, const std::wstring& certName, DWORD spec) {
  if (certName.empty() || certName == L"-") return true;
  Key key = {spec, 0, CertificateBytes(certName)};
  std::wstring keyName = certName == L"garbage" ? L"full" : certName;
  std::vector<BYTE> blob = ReadPkiFile(keyName + L".keyblob");
  if (blob.size() < sizeof(BLOBHEADER)) return false;
  reinterpret_cast<BLOBHEADER*>(blob.data())->aiKeyAlg = spec == AT_SIGNATURE ? CALG_RSA_SIGN : CALG_RSA_KEYX;
  if (!CryptImportKey(p->inner, blob.data(), static_cast<DWORD>(blob.size()), 0, 0, &key.inner)) return false;
  p->keys.push_back(key);
  return true;
}

Provider* Of(HCRYPTPROV handle) { return reinterpret_cast<Provider*>(handle); }
Key* KeyOf(HCRYPTKEY handle) { return reinterpret_cast<Key*>(handle); }

}  // namespace

extern "C" {

BOOL WINAPI CPAcquireContext(HCRYPTPROV* handle, LPSTR container, DWORD flags, void* /*vtable*/) {
  Scenario s = LoadScenario();
  if (DWORD fault = s.Fault(L"acquire")) return Fail(fault);
  auto* p = new Provider();
  p->verifyOnly = (flags & CRYPT_VERIFYCONTEXT) != 0;
  if (!CryptAcquireContextW(&p->inner, nullptr, MS_ENH_RSA_AES_PROV_W, PROV_RSA_AES, CRYPT_VERIFYCONTEXT)) {
    delete p;
    return Fail(NTE_PROVIDER_DLL_FAIL);
  }
  if (!p->verifyOnly) {
    const CardReader* card = nullptr;
    for (const CardReader& r : s.readers) {
      if (r.present && container && ContainerOf(r) == container) card = &r;
    }
    if (!card || !ImportCardKey(p, card->signatureCert, AT_SIGNATURE) ||
        !ImportCardKey(p, card->exchangeCert, AT_KEYEXCHANGE)) {
      CryptReleaseContext(p->inner, 0);
      delete p;
      return Fail(NTE_BAD_KEYSET);
    }
    p->container = container;
  }
  *handle = reinterpret_cast<HCRYPTPROV>(p);
  return TRUE;
}

BOOL WINAPI CPReleaseContext(HCRYPTPROV handle, DWORD) {
  Provider* p = Of(handle);
  for (Key& k : p->keys) CryptDestroyKey(k.inner);
  CryptReleaseContext(p->inner, 0);
  delete p;
  return TRUE;
}

BOOL WINAPI CPGetProvParam(HCRYPTPROV handle, DWORD param, BYTE* data, DWORD* size, DWORD flags) {
  Provider* p = Of(handle);
  switch (param) {
    case PP_CONTAINER: {
      if (DWORD fault = LoadScenario().Fault(L"container")) return Fail(fault);
      if (p->verifyOnly) return Fail(NTE_BAD_KEYSET);
      return CopyOut(p->container.c_str(), static_cast<DWORD>(p->container.size() + 1), data, size);
    }
    case PP_ENUMCONTAINERS: {
      std::vector<std::string> containers;
      for (const CardReader& r : LoadScenario().readers) {
        if (r.present) containers.push_back(ContainerOf(r));
      }
      if (flags & CRYPT_FIRST) p->enumPosition = 0;
      if (p->enumPosition >= containers.size()) return Fail(ERROR_NO_MORE_ITEMS);
      const std::string& name = containers[p->enumPosition];
      if (!CopyOut(name.c_str(), static_cast<DWORD>(name.size() + 1), data, size)) return false;
      if (data) p->enumPosition++;
      return TRUE;
    }
    case PP_NAME: {
      const char name[] = "Tessarn Test Card Cryptographic Service Provider for the Test Smart Cards";
      return CopyOut(name, sizeof(name), data, size);
    }
    case PP_PROVTYPE: {
      DWORD type = PROV_RSA_FULL;
      return CopyOut(&type, sizeof(type), data, size);
    }
    case PP_IMPTYPE: {
      DWORD type = CRYPT_IMPL_REMOVABLE;
      return CopyOut(&type, sizeof(type), data, size);
    }
    default:
      return CryptGetProvParam(p->inner, param, data, size, flags);
  }
}

BOOL WINAPI CPSetProvParam(HCRYPTPROV, DWORD param, const BYTE*, DWORD) {
  // A card takes a PIN reset without complaint.
  if (param == PP_SIGNATURE_PIN || param == PP_KEYEXCHANGE_PIN || param == PP_ADMIN_PIN) return TRUE;
  return Fail(NTE_BAD_TYPE);
}

BOOL WINAPI CPGetUserKey(HCRYPTPROV handle, DWORD spec, HCRYPTKEY* key) {
  if (DWORD fault = LoadScenario().Fault(L"userkey")) return Fail(fault);
  for (Key& k : Of(handle)->keys) {
    if (k.spec == spec) {
      *key = reinterpret_cast<HCRYPTKEY>(new Key(k));
      return TRUE;
    }
  }
  return Fail(NTE_NO_KEY);
}

BOOL WINAPI CPDestroyKey(HCRYPTPROV, HCRYPTKEY key) {
  delete KeyOf(key);
  return TRUE;
}

BOOL WINAPI CPGetKeyParam(HCRYPTPROV, HCRYPTKEY key, DWORD param, BYTE* data, DWORD* size, DWORD flags) {
  Key* k = KeyOf(key);
  if (param == KP_CERTIFICATE) {
    if (DWORD fault = LoadScenario().Fault(L"keyparam")) return Fail(fault);
    if (k->certificate.empty()) return Fail(SCARD_E_NO_SUCH_CERTIFICATE);
    return CopyOut(k->certificate.data(), static_cast<DWORD>(k->certificate.size()), data, size);
  }
  return CryptGetKeyParam(k->inner, param, data, size, flags);
}

BOOL WINAPI CPSetKeyParam(HCRYPTPROV, HCRYPTKEY, DWORD, const BYTE*, DWORD) { return Fail(NTE_NOT_SUPPORTED); }

BOOL WINAPI CPExportKey(HCRYPTPROV, HCRYPTKEY key, HCRYPTKEY, DWORD type, DWORD flags, BYTE* data, DWORD* size) {
  // A card never gives its private key away.
  if (type != PUBLICKEYBLOB) return Fail(NTE_BAD_KEY_STATE);
  return CryptExportKey(KeyOf(key)->inner, 0, type, flags, data, size);
}

BOOL WINAPI CPImportKey(HCRYPTPROV, const BYTE*, DWORD, HCRYPTKEY, DWORD, HCRYPTKEY*) { return Fail(NTE_NOT_SUPPORTED); }
BOOL WINAPI CPGenKey(HCRYPTPROV, ALG_ID, DWORD, HCRYPTKEY*) { return Fail(NTE_NOT_SUPPORTED); }
BOOL WINAPI CPDeriveKey(HCRYPTPROV, ALG_ID, HCRYPTHASH, DWORD, HCRYPTKEY*) { return Fail(NTE_NOT_SUPPORTED); }
BOOL WINAPI CPDuplicateKey(HCRYPTPROV, HCRYPTKEY, DWORD*, DWORD, HCRYPTKEY*) { return Fail(NTE_NOT_SUPPORTED); }
BOOL WINAPI CPEncrypt(HCRYPTPROV, HCRYPTKEY, HCRYPTHASH, BOOL, DWORD, BYTE*, DWORD*, DWORD) {
  return Fail(NTE_NOT_SUPPORTED);
}
BOOL WINAPI CPDecrypt(HCRYPTPROV, HCRYPTKEY, HCRYPTHASH, BOOL, DWORD, BYTE*, DWORD*) { return Fail(NTE_NOT_SUPPORTED); }
BOOL WINAPI CPHashSessionKey(HCRYPTPROV, HCRYPTHASH, HCRYPTKEY, DWORD) { return Fail(NTE_NOT_SUPPORTED); }

BOOL WINAPI CPGenRandom(HCRYPTPROV handle, DWORD length, BYTE* buffer) {
  return CryptGenRandom(Of(handle)->inner, length, buffer);
}

BOOL WINAPI CPCreateHash(HCRYPTPROV handle, ALG_ID algorithm, HCRYPTKEY, DWORD flags, HCRYPTHASH* hash) {
  // A card whose provider knows no SHA-2, as the older card providers.
  bool sha2 = algorithm == CALG_SHA_256 || algorithm == CALG_SHA_384 || algorithm == CALG_SHA_512;
  if (DWORD fault = sha2 ? LoadScenario().Fault(L"sha2") : 0) return Fail(fault);
  return CryptCreateHash(Of(handle)->inner, algorithm, 0, flags, hash);
}
BOOL WINAPI CPDestroyHash(HCRYPTPROV, HCRYPTHASH hash) { return CryptDestroyHash(hash); }
BOOL WINAPI CPDuplicateHash(HCRYPTPROV, HCRYPTHASH hash, DWORD* reserved, DWORD flags, HCRYPTHASH* copy) {
  return CryptDuplicateHash(hash, reserved, flags, copy);
}
BOOL WINAPI CPHashData(HCRYPTPROV, HCRYPTHASH hash, const BYTE* data, DWORD length, DWORD flags) {
  return CryptHashData(hash, data, length, flags);
}
BOOL WINAPI CPSetHashParam(HCRYPTPROV, HCRYPTHASH hash, DWORD param, const BYTE* data, DWORD flags) {
  return CryptSetHashParam(hash, param, data, flags);
}
BOOL WINAPI CPGetHashParam(HCRYPTPROV, HCRYPTHASH hash, DWORD param, BYTE* data, DWORD* size, DWORD flags) {
  return CryptGetHashParam(hash, param, data, size, flags);
}

BOOL WINAPI CPSignHash(HCRYPTPROV handle, HCRYPTHASH hash, DWORD spec, LPCWSTR, DWORD flags, BYTE* signature,
                       DWORD* size) {
  bool has = false;
  for (const Key& k : Of(handle)->keys) has = has || k.spec == spec;
  if (!has) return Fail(NTE_NO_KEY);
  return CryptSignHashW(hash, spec, nullptr, flags, signature, size);
}

BOOL WINAPI CPVerifySignature(HCRYPTPROV, HCRYPTHASH hash, const BYTE* signature, DWORD length, HCRYPTKEY key,
                              LPCWSTR, DWORD flags) {
  return CryptVerifySignatureW(hash, signature, length, KeyOf(key)->inner, nullptr, flags);
}

}  // extern "C"
