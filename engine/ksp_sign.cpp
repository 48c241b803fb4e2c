#include "engine/ksp_sign.h"

#include <bcrypt.h>
#include <ncrypt.h>

#include <cwchar>

#include "diag/log.h"
#include "engine/key_for_signing.h"

namespace {

const wchar_t* CngHashName(ALG_ID id) {
  switch (id) {
    case CALG_MD5: return BCRYPT_MD5_ALGORITHM;
    case CALG_SHA1: return BCRYPT_SHA1_ALGORITHM;
    case CALG_SHA_256: return BCRYPT_SHA256_ALGORITHM;
    case CALG_SHA_384: return BCRYPT_SHA384_ALGORITHM;
    case CALG_SHA_512: return BCRYPT_SHA512_ALGORITHM;
    default: return nullptr;
  }
}

ResultCode Sign(const wchar_t* caller, KspKey& key, ALG_ID id, const wchar_t* algorithm, const BYTE* hash,
                DWORD length, KspSignature* out) {
  wchar_t group[64] = {};
  DWORD got = 0;
  theLog.Trace(L"%s NCryptGetProperty (%s)", caller, NCRYPT_ALGORITHM_GROUP_PROPERTY);
  SECURITY_STATUS status = NCryptGetProperty(key.Handle(), NCRYPT_ALGORITHM_GROUP_PROPERTY,
                                             reinterpret_cast<BYTE*>(group), sizeof(group) - sizeof(wchar_t), &got, 0);
  if (status != ERROR_SUCCESS) {
    theLog.Error(L"Can't get key algorithm, error code [%lx]", static_cast<unsigned long>(status));
    return rc::kPrivateKeyNotObtained;
  }
  group[got / sizeof(wchar_t) < 63 ? got / sizeof(wchar_t) : 63] = L'\0';
  bool rsa = wcscmp(group, NCRYPT_RSA_ALGORITHM_GROUP) == 0;
  bool ec = wcscmp(group, NCRYPT_ECDSA_ALGORITHM_GROUP) == 0 || wcscmp(group, NCRYPT_ECDH_ALGORITHM_GROUP) == 0;
  theLog.Trace(L"%s key algorithm [%s]", caller, group);
  if (!rsa && !ec) {
    theLog.Error(L"Key algorithm [%s] can't sign a hash", group);
    return rc::kPrivateKeyNotObtained;
  }
  // ECDSA with MD5 has no signature algorithm identifier anywhere: nobody
  // could verify it.
  if (ec && id == CALG_MD5) {
    theLog.Error(L"Can't sign with hash algorithm (%s) and key algorithm [%s]", algorithm, group);
    return rc::kBadHashAlgorithm;
  }
  DWORD bits = 0;
  theLog.Trace(L"%s NCryptGetProperty (%s)", caller, NCRYPT_LENGTH_PROPERTY);
  status = NCryptGetProperty(key.Handle(), NCRYPT_LENGTH_PROPERTY, reinterpret_cast<BYTE*>(&bits), sizeof(bits),
                             &got, 0);
  if (status != ERROR_SUCCESS || got != sizeof(bits) || bits == 0) {
    theLog.Error(L"Can't get key length, error code [%lx]", static_cast<unsigned long>(status));
    return rc::kPrivateKeyNotObtained;
  }
  DWORD expected = ec ? 2 * ((bits + 7) / 8) : (bits + 7) / 8;
  if (length != DigestLength(id)) {
    theLog.Error(L"Can't set hash data, hash length [%ld] is not the digest length [%ld]", static_cast<long>(length),
                 static_cast<long>(DigestLength(id)));
    return rc::kHashNotSet;
  }
  theLog.Trace(L"%s Hash Sign with key storage provider (param == %d)", caller, static_cast<int>(id));
  BCRYPT_PKCS1_PADDING_INFO padding = {CngHashName(id)};
  void* paddingInfo = rsa ? &padding : nullptr;
  DWORD flags = rsa ? BCRYPT_PAD_PKCS1 : 0;
  // The provider reads the hash through a non-const pointer it does not
  // write through.
  BYTE* hashBytes = const_cast<BYTE*>(hash);
  DWORD size = 0;
  theLog.Trace(L"%s NCryptSignHash", caller);
  status = NCryptSignHash(key.Handle(), paddingInfo, hashBytes, length, nullptr, 0, &size, flags);
  if (status != ERROR_SUCCESS) {
    theLog.Error(L"Can't get signature length, error code [%lx]", static_cast<unsigned long>(status));
    return rc::kNoSignature;
  }
  auto buffer = AllocZeroed<BYTE>(size);
  if (!buffer) {
    theLog.Error(L"Can't allocate memory for signature");
    return rc::kNoMemory;
  }
  DWORD written = 0;
  status = NCryptSignHash(key.Handle(), paddingInfo, hashBytes, length, buffer.get(), size, &written, flags);
  if (status != ERROR_SUCCESS) {
    theLog.Error(L"Can't get signature, error code [%lx]", static_cast<unsigned long>(status));
    return rc::kNoSignature;
  }
  // A signature of any other length is not this key's: never hand it on.
  if (written != expected || written > size) {
    theLog.Error(L"Can't get signature, signature length [%ld] is not the key's [%ld]", static_cast<long>(written),
                 static_cast<long>(expected));
    return rc::kNoSignature;
  }
  out->bytes = std::move(buffer);
  out->length = written;
  out->ec = ec;
  return rc::kOk;
}

}  // namespace

ResultCode SignHashWithKsp(const wchar_t* caller, const KspKeyLink& link, ALG_ID id, const wchar_t* algorithm,
                           const BYTE* hash, DWORD length, KspSignature* out) {
  theLog.Trace(L"%s NCryptOpenKey [%s][%s] (flags %lx)", caller, link.provider.c_str(), link.key.c_str(),
               static_cast<unsigned long>(link.scope));
  KspKey key;
  const wchar_t* step = L"";
  SECURITY_STATUS status = key.Open(link, false, &step);
  if (status != ERROR_SUCCESS) {
    theLog.Error(L"%s %s failed [%s][%s]", caller, step, link.provider.c_str(), link.key.c_str());
    theLog.Error(L"Can't acquire private key, error code [%lx]", static_cast<unsigned long>(status));
    return rc::kPrivateKeyNotObtained;
  }
  ResultCode code = Sign(caller, key, id, algorithm, hash, length, out);
  status = key.Close();
  if (status != ERROR_SUCCESS)
    theLog.Warning(L"Can't free key, error code [%lx]", static_cast<unsigned long>(status));
  return code;
}
