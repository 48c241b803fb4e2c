#include "engine/ksp_pkcs7.h"

#include <cstring>
#include <vector>

#include "certutil/signed_data.h"
#include "diag/log.h"
#include "engine/key_for_signing.h"
#include "engine/ksp_sign.h"

namespace {

struct Identifiers {
  ALG_ID id;
  const char* digest;
  const char* ecdsa;  // null: no ECDSA signature with this hash (refused before signing)
};

const Identifiers kIdentifiers[] = {
    {CALG_MD5, "1.2.840.113549.2.5", nullptr},
    {CALG_SHA1, "1.3.14.3.2.26", "1.2.840.10045.4.1"},
    {CALG_SHA_256, "2.16.840.1.101.3.4.2.1", "1.2.840.10045.4.3.2"},
    {CALG_SHA_384, "2.16.840.1.101.3.4.2.2", "1.2.840.10045.4.3.3"},
    {CALG_SHA_512, "2.16.840.1.101.3.4.2.3", "1.2.840.10045.4.3.4"},
};
const char kRsaEncryption[] = "1.2.840.113549.1.1.1";

bool Digest(ALG_ID id, const BYTE* data, DWORD length, signed_data::Bytes* out) {
  DWORD size = DigestLength(id);
  out->assign(size ? size : 1, 0);
  if (!CryptHashCertificate(0, id, 0, data, length, out->data(), &size) || size != DigestLength(id)) return false;
  out->resize(size);
  return true;
}

}  // namespace

ResultCode SignDataWithKsp(const KspKeyLink& link, const BYTE* data, DWORD length, ALG_ID id, const wchar_t* algorithm,
                           PCCERT_CONTEXT cert, MallocPtr<BYTE>* message, DWORD* messageLength) {
  const Identifiers* ids = nullptr;
  for (const Identifiers& i : kIdentifiers)
    if (i.id == id) ids = &i;
  if (!ids) {
    theLog.Error(L"Can't find hash algrithm (%s).", algorithm);
    return rc::kBadHashAlgorithm;
  }
  theLog.Trace(L"CCrypt::SignData CryptHashCertificate (param == %d)", static_cast<int>(id));
  signed_data::Bytes contentDigest;
  if (!Digest(id, data, length, &contentDigest)) {
    theLog.Error(L"Can't hash data, error code [%lx]", GetLastError());
    return rc::kPkcs7Failed;
  }
  SYSTEMTIME now;
  GetSystemTime(&now);
  signed_data::UtcTime time = {now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond};
  signed_data::Bytes attributes = signed_data::SignedAttributes(contentDigest, time);
  signed_data::Bytes attributesDigest;
  if (!Digest(id, attributes.data(), static_cast<DWORD>(attributes.size()), &attributesDigest)) {
    theLog.Error(L"Can't hash data, error code [%lx]", GetLastError());
    return rc::kPkcs7Failed;
  }
  KspSignature made;
  ResultCode code = SignHashWithKsp(L"CCrypt::SignData", link, id, algorithm, attributesDigest.data(),
                                    static_cast<DWORD>(attributesDigest.size()), &made);
  // The message's own codes: a key that cannot be reached or a hash that
  // does not suit it keep theirs; every other failure is no message.
  if (code != rc::kOk)
    return code == rc::kPrivateKeyNotObtained || code == rc::kBadHashAlgorithm || code == rc::kNoMemory
               ? code
               : rc::kPkcs7Failed;
  signed_data::Bytes signature = made.ec ? signed_data::EcdsaSignatureDer(made.bytes.get(), made.length)
                                         : signed_data::Bytes(made.bytes.get(), made.bytes.get() + made.length);
  signed_data::SignerParams signer;
  signer.certificate.assign(cert->pbCertEncoded, cert->pbCertEncoded + cert->cbCertEncoded);
  const CERT_INFO* info = cert->pCertInfo;
  signer.issuer.assign(info->Issuer.pbData, info->Issuer.pbData + info->Issuer.cbData);
  // CryptoAPI keeps the serial number least significant byte first.
  signer.serial.assign(info->SerialNumber.pbData, info->SerialNumber.pbData + info->SerialNumber.cbData);
  std::vector<uint8_t>(signer.serial.rbegin(), signer.serial.rend()).swap(signer.serial);
  signer.digestOid = ids->digest;
  // SignHashWithKsp refuses an EC key with MD5 before it signs.
  if (made.ec && !ids->ecdsa) return rc::kBadHashAlgorithm;
  signer.signatureOid = made.ec ? ids->ecdsa : kRsaEncryption;
  signer.signatureParamsNull = !made.ec;
  theLog.Trace(L"CCrypt::SignData encoding signed message");
  signed_data::Bytes encoded = signed_data::SignedDataMessage(signed_data::Bytes(data, data + length), signer,
                                                              attributes, signature);
  if (encoded.empty()) {
    theLog.Error(L"Can't encode signed message");
    return rc::kPkcs7Failed;
  }
  auto block = AllocZeroed<BYTE>(encoded.size());
  if (!block) {
    theLog.Error(L"Can't allocate memory for signature");
    return rc::kNoMemory;
  }
  memcpy(block.get(), encoded.data(), encoded.size());
  *message = std::move(block);
  *messageLength = static_cast<DWORD>(encoded.size());
  return rc::kOk;
}
