// Raw signatures of a caller's hash and PKCS #7 signed messages, made with
// the private key of a certificate the engine found.
#include <cstddef>
#include <cstring>
#include <cwchar>

#include "certutil/crypt_handles.h"
#include "certutil/encoding.h"
#include "certutil/heap.h"
#include "diag/log.h"
#include "engine/crypt.h"
#include "engine/hash_algorithms.h"
#include "engine/key_for_signing.h"
#include "engine/ksp_pkcs7.h"
#include "engine/ksp_sign.h"
#include "engine/sized_fetch.h"

using namespace norelCertInfoUtl;

namespace {
// A raw signature and a signed message are fetched with the same lines.
const SizedFetchTexts kSignatureTexts = {
    nullptr,
    nullptr,
    nullptr,
    L"Can't get signature length, error code [%lx]",
    L"Can't allocate memory for signature",
    L"Can't get signature, error code [%lx]",
};
}  // namespace

ResultCode CCrypt::SignHash(const BYTE* hash, DWORD length, wchar_t* algorithm, PCCERT_CONTEXT cert,
                            BYTE** signature, DWORD* signatureLength) {
  theLog.Trace(L"CCrypt::SignHash start");
  theLog.Trace(L"CCrypt::SignHash IsHashAlgValid");
  if (!IsHashAlgValid(algorithm)) {
    theLog.Error(L"Can't find hash algrithm (%s)", algorithm);
    return rc::kBadHashAlgorithm;
  }
  theLog.Trace(L"CCrypt::SignHash GetHashAlgId (%s)", algorithm);
  ALG_ID id = GetHashAlgId(algorithm);
  if (id == static_cast<ALG_ID>(-1)) {
    theLog.Error(L"Can't find hash algrithm (%s).", algorithm);
    return rc::kBadHashAlgorithm;
  }
  theLog.Trace(L"CCrypt::SignHash GetHashAlgId (%s)=%d", algorithm, static_cast<int>(id));
  *signature = nullptr;
  *signatureLength = 0;
  KspKeyLink kspLink;
  if (ReadKspKeyLink(cert, &kspLink)) {
    KspSignature made;
    ResultCode code = SignHashWithKsp(L"CCrypt::SignHash", kspLink, id, algorithm, hash, length, &made);
    if (code != rc::kOk) return code;
    // Handed out in CryptoAPI's order, least significant byte first, as
    // every caller of this operation expects: mirrored once more, an RSA
    // signature reads in PKCS #1 order and an EC one as r followed by s.
    BinaryMirror(made.bytes.get(), made.length);
    *signatureLength = made.length;
    *signature = made.bytes.release();
    theLog.Trace(L"CCrypt::SignHash finished, signature length [%ld]", static_cast<long>(*signatureLength));
    return rc::kOk;
  }
  theLog.Trace(L"CCrypt::SignHash CryptAcquireCertificatePrivateKey");
  KeyForSigning key;
  if (!key.Acquire(cert)) {
    theLog.Error(L"Can't acquire private key, error code [%lx]", GetLastError());
    return rc::kPrivateKeyNotObtained;
  }
  theLog.Trace(L"CCrypt::SignHash Hash Compute with Microsoft CSP (param == %d)", static_cast<int>(id));
  ScopedCryptHash hashObject;
  if (!CryptCreateHash(key.Provider(), id, 0, 0, hashObject.Receive())) {
    DWORD error = GetLastError();
    (void)hashObject.Detach();
    // The older RSA providers have no SHA-2; the same key signs with it
    // through the provider that has.
    bool sha2 = id == CALG_SHA_256 || id == CALG_SHA_384 || id == CALG_SHA_512;
    if (sha2 && error == static_cast<DWORD>(NTE_BAD_ALGID) && key.ReopenWithSha2(cert)) {
      if (!CryptCreateHash(key.Provider(), id, 0, 0, hashObject.Receive())) {
        error = GetLastError();
        (void)hashObject.Detach();
      }
    }
    if (!hashObject) {
      theLog.Error(L"Can't create hash, error code [%lx]", error);
      return rc::kHashNotCreated;
    }
  }
  // The provider reads the algorithm's digest length from the bytes it is
  // given: a hash of any other length cannot be the hash value, and a
  // shorter one would let it read past the caller's bytes.
  if (length != DigestLength(id)) {
    theLog.Error(L"Can't set hash data, hash length [%ld] is not the digest length [%ld]", static_cast<long>(length),
                 static_cast<long>(DigestLength(id)));
    return rc::kHashNotSet;
  }
  if (!CryptSetHashParam(hashObject.Get(), HP_HASHVAL, hash, 0)) {
    theLog.Error(L"Can't set hash data, error code [%lx]", GetLastError());
    return rc::kHashNotSet;
  }
  DWORD size = 0;
  MallocPtr<BYTE> buffer;
  ResultCode fetched = FetchSized(
      kSignatureTexts, nullptr, rc::kNoSignature, false,
      [&](BYTE* out, DWORD* length) { return CryptSignHashW(hashObject.Get(), key.KeySpec(), nullptr, 0, out, length); },
      [&] { key.ResetPins(); }, &buffer, &size);
  if (fetched != rc::kOk) return fetched;
  *signature = buffer.release();
  *signatureLength = size;
  theLog.Trace(L"CCrypt::SignHash finished, signature length [%ld]", static_cast<long>(size));
  return rc::kOk;
}

ResultCode CCrypt::SignRaw(const wchar_t* hashText, wchar_t* algorithm, PCCERT_CONTEXT cert, wchar_t** signature) {
  *signature = nullptr;
  theLog.Trace(L"CCrypt:SignRaw start");
  theLog.Trace(L"CCrypt::SignRaw IsHashAlgValid");
  if (!IsHashAlgValid(algorithm)) {
    theLog.Error(L"Can't find hash algrithm (%s)", algorithm);
    return rc::kBadHashAlgorithm;
  }
  BYTE* raw = nullptr;
  DWORD length = 0;
  ResultCode code = String2Binary(hashText, &raw, &length);
  if (code != rc::kOk) {
    theLog.Error(L"Can't convert hash to binary, error code [%ld]", static_cast<long>(code));
    theLog.Trace(L"CCrypt:SignRaw finished");
    return code;
  }
  MallocPtr<BYTE> hash(raw);
  BYTE* rawSignature = nullptr;
  DWORD signatureLength = 0;
  code = SignHash(hash.get(), length, algorithm, cert, &rawSignature, &signatureLength);
  if (code != rc::kOk) {
    theLog.Error(L"Can't sign hash, error code [%ld]", static_cast<long>(code));
    theLog.Trace(L"CCrypt:SignRaw finished");
    return code;
  }
  hash.reset();
  MallocPtr<BYTE> bytes(rawSignature);
  // CryptoAPI gives the signature least significant byte first; PKCS #1
  // reads it the other way round.
  BinaryMirror(bytes.get(), signatureLength);
  wchar_t* rawText = nullptr;
  code = Binary2String(bytes.get(), signatureLength, &rawText);
  if (code != rc::kOk) {
    theLog.Error(L"Can't convert signature to string, error code [%ld]", static_cast<long>(code));
    theLog.Trace(L"CCrypt:SignRaw finished");
    return code;
  }
  MallocPtr<wchar_t> text(rawText);
  code = Trim(text.get(), signature);
  if (code != rc::kOk) {
    theLog.Warning(L"Returning untrimmed signature");
    *signature = text.release();
  }
  theLog.Trace(L"CCrypt:SignRaw finished");
  return code;
}

ResultCode CCrypt::SignData(const BYTE* data, DWORD length, wchar_t* algorithm, PCCERT_CONTEXT cert, BYTE** message,
                            DWORD* messageLength) {
  theLog.Trace(L"CCrypt::SignData start [lenData %d] [hashalg %s]", static_cast<int>(length), algorithm);
  theLog.Trace(L"CCrypt::SignData IsHashAlgValid");
  if (!IsHashAlgValid(algorithm)) {
    theLog.Error(L"Can't find hash algrithm (%s)", algorithm);
    return rc::kBadHashAlgorithm;
  }
  theLog.Trace(L"CCrypt::SignData GetHashAlgId (%s)", algorithm);
  const char* oid = GetHashAlgOid(algorithm);
  if (!oid) {
    theLog.Error(L"Can't find hash algrithm (%s).", algorithm);
    return rc::kBadHashAlgorithm;
  }
  theLog.Trace(L"CCrypt::SignData GetHashAlgId (%s)=%hs", algorithm, oid);
  *message = nullptr;
  *messageLength = 0;
  KspKeyLink kspLink;
  if (ReadKspKeyLink(cert, &kspLink)) {
    MallocPtr<BYTE> made;
    DWORD size = 0;
    ResultCode code = SignDataWithKsp(kspLink, data, length, GetHashAlgId(algorithm), algorithm, cert, &made, &size);
    if (code != rc::kOk) return code;
    *message = made.release();
    *messageLength = size;
    theLog.Trace(L"CCryptCommon::SignData finished, signature length [%ld]", static_cast<long>(size));
    return rc::kOk;
  }
  theLog.Trace(L"CCrypt::SignData CryptAcquireCertificatePrivateKey");
  KeyForSigning key;
  if (!key.Acquire(cert)) {
    theLog.Error(L"Can't acquire private key, error code [%lx]", GetLastError());
    return rc::kPrivateKeyNotObtained;
  }
  theLog.Trace(L"CCrypt::SignData Hash Compute with Microsoft CSP (param == %hs)", oid);

  CRYPT_SIGN_MESSAGE_PARA para = {};
  // The structure without its optional CMS fields (68 bytes in the 32-bit
  // build); platforms refuse a size that does not match their layout.
  para.cbSize = offsetof(CRYPT_SIGN_MESSAGE_PARA, dwInnerContentType) + sizeof(para.dwInnerContentType);
  para.dwMsgEncodingType = PKCS_7_ASN_ENCODING;
  para.pSigningCert = cert;
  para.HashAlgorithm.pszObjId = const_cast<char*>(oid);
  PCCERT_CONTEXT messageCerts[1] = {cert};
  para.cMsgCert = 1;
  para.rgpMsgCert = messageCerts;

  SYSTEMTIME now;
  FILETIME signingTime;
  GetSystemTime(&now);
  SystemTimeToFileTime(&now, &signingTime);
  DWORD timeSize = 0;
  MallocPtr<BYTE> encodedTime;
  CRYPT_ATTR_BLOB timeValue = {};
  CRYPT_ATTRIBUTE timeAttribute = {const_cast<char*>(szOID_RSA_signingTime), 1, &timeValue};
  if (CryptEncodeObject(PKCS_7_ASN_ENCODING, szOID_RSA_signingTime, &signingTime, nullptr, &timeSize)) {
    encodedTime = AllocZeroed<BYTE>(timeSize);
    // Without room for the encoded time the message would carry an
    // attribute pointing at nothing: fail instead.
    if (!encodedTime) {
      theLog.Error(L"Can't allocate memory for signing time");
      return rc::kNoMemory;
    }
    if (CryptEncodeObject(PKCS_7_ASN_ENCODING, szOID_RSA_signingTime, &signingTime, encodedTime.get(), &timeSize)) {
      timeValue.cbData = timeSize;
      timeValue.pbData = encodedTime.get();
      para.cAuthAttr = 1;
      para.rgAuthAttr = &timeAttribute;
    }
  }

  const BYTE* content[1] = {data};
  DWORD contentLength[1] = {length};
  DWORD size = 0;
  MallocPtr<BYTE> buffer;
  ResultCode fetched = FetchSized(
      kSignatureTexts, nullptr, rc::kPkcs7Failed, false,
      [&](BYTE* out, DWORD* length) { return CryptSignMessage(&para, FALSE, 1, content, contentLength, out, length); },
      [&] { key.ResetPins(); }, &buffer, &size);
  if (fetched != rc::kOk) return fetched;
  *message = buffer.release();
  *messageLength = size;
  theLog.Trace(L"CCryptCommon::SignData finished, signature length [%ld]", static_cast<long>(size));
  return rc::kOk;
}

ResultCode CCrypt::SignPKCS7(const wchar_t* dataText, wchar_t* algorithm, PCCERT_CONTEXT cert, wchar_t** messageText) {
  *messageText = nullptr;
  theLog.Trace(L"CCrypt::SignPKCS7 start");
  theLog.Trace(L"CCrypt::SignPKCS7 IsHashAlgValid");
  if (!IsHashAlgValid(algorithm)) {
    theLog.Error(L"Can't find hash algrithm (%s)", algorithm);
    return rc::kBadHashAlgorithm;
  }
  BYTE* raw = nullptr;
  DWORD length = 0;
  ResultCode code = nrlConvStringToBinary(dataText, kBase64, &raw, &length);
  if (code != rc::kOk) {
    theLog.Error(L"Can't convert data to binary, error code [%ld]", static_cast<long>(code));
    theLog.Trace(L"CCrypt::SignPKCS7 finished");
    return code;
  }
  MallocPtr<BYTE> data(raw);
  BYTE* rawMessage = nullptr;
  DWORD messageLength = 0;
  code = SignData(data.get(), length, algorithm, cert, &rawMessage, &messageLength);
  if (code != rc::kOk) {
    theLog.Error(L"Can't sign data, error code [%ld]", static_cast<long>(code));
    theLog.Trace(L"CCrypt::SignPKCS7 finished");
    return code;
  }
  data.reset();
  MallocPtr<BYTE> message(rawMessage);
  code = nrlConvBinaryToString(message.get(), messageLength, kBase64OneLine, messageText);
  if (code != rc::kOk) {
    theLog.Error(L"Can't convert signature to base64, error code [%ld]", static_cast<long>(code));
    theLog.Trace(L"CCrypt::SignPKCS7 finished");
    return code;
  }
  theLog.Trace(L"CCrypt::SignPKCS7 finished");
  return rc::kOk;
}
