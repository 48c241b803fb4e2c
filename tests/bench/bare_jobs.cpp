// The bare platform work of each job: what the methods' log-free, control-
// free equivalent costs and keeps.
#include "tests/bench/bare_jobs.h"

#include <oleauto.h>
#include <winscard.h>

#include <cstddef>
#include <cstdlib>

namespace bare {

void EngineStart() {
  HCRYPTPROV prov = 0;
  if (CryptAcquireContextW(&prov, nullptr, MS_ENH_RSA_AES_PROV_W, PROV_RSA_AES, 0)) CryptReleaseContext(prov, 0);
  SCARDCONTEXT card = 0;
  if (SCardEstablishContext(SCARD_SCOPE_USER, nullptr, nullptr, &card) != SCARD_S_SUCCESS) return;
  LPWSTR readers = nullptr;
  DWORD chars = SCARD_AUTOALLOCATE;
  if (SCardListReadersW(card, nullptr, reinterpret_cast<LPWSTR>(&readers), &chars) == SCARD_S_SUCCESS && readers)
    SCardFreeMemory(card, readers);
  SCardReleaseContext(card);
}


PCCERT_CONTEXT FindByThumbprint(HCERTSTORE my, const std::string& sha1Hex) {
  BYTE hash[20];
  for (int i = 0; i < 20; ++i) hash[i] = static_cast<BYTE>(strtoul(sha1Hex.substr(2 * i, 2).c_str(), nullptr, 16));
  CRYPT_HASH_BLOB blob = {20, hash};
  return CertFindCertificateInStore(my, X509_ASN_ENCODING | PKCS_7_ASN_ENCODING, 0, CERT_FIND_SHA1_HASH, &blob,
                                    nullptr);
}

bool ChainIsTrusted(PCCERT_CONTEXT cert) {
  CERT_CHAIN_PARA para = {};
  para.cbSize = sizeof(para);
  PCCERT_CHAIN_CONTEXT chain = nullptr;
  bool ok = CertGetCertificateChain(nullptr, cert, nullptr, nullptr, &para, 0, nullptr, &chain) &&
            chain->TrustStatus.dwErrorStatus == 0;
  if (chain) CertFreeCertificateChain(chain);
  return ok;
}

std::wstring Base64(const BYTE* data, DWORD size) {
  DWORD chars = 0;
  if (!size || !CryptBinaryToStringW(data, size, CRYPT_STRING_BASE64 | CRYPT_STRING_NOCRLF, nullptr, &chars))
    return L"";
  std::wstring text(chars, L'\0');
  CryptBinaryToStringW(data, size, CRYPT_STRING_BASE64 | CRYPT_STRING_NOCRLF, &text[0], &chars);
  text.resize(chars);  // without the terminator the first call counted
  return text;
}

bool DecodeToByteArray(const wchar_t* text, DWORD chars, DWORD flags) {
  DWORD size = 0;
  if (!CryptStringToBinaryW(text, chars, flags, nullptr, &size, nullptr, nullptr)) return false;
  SAFEARRAY* array = SafeArrayCreateVector(VT_UI1, 0, size);
  if (!array) return false;
  void* data = nullptr;
  bool decoded = false;
  if (SUCCEEDED(SafeArrayAccessData(array, &data))) {
    decoded = CryptStringToBinaryW(text, chars, flags, static_cast<BYTE*>(data), &size, nullptr, nullptr) != FALSE;
    SafeArrayUnaccessData(array);
  }
  SafeArrayDestroy(array);
  return decoded;
}

bool EncodeToBstr(const BYTE* data, DWORD size, DWORD flags) {
  DWORD chars = 0;
  if (!CryptBinaryToStringW(data, size, flags, nullptr, &chars) || chars == 0) return false;
  // The count asked for holds the terminator, which a BSTR adds of its own.
  BSTR text = SysAllocStringLen(nullptr, chars - 1);
  if (!text) return false;
  bool encoded = CryptBinaryToStringW(data, size, flags, text, &chars) != FALSE;
  SysFreeString(text);
  return encoded;
}

bool RawSign(const std::string& thumb, ALG_ID alg, const std::vector<BYTE>& hash) {
  HCERTSTORE my = CertOpenSystemStoreW(0, L"MY");
  PCCERT_CONTEXT cert = FindByThumbprint(my, thumb);
  if (!cert) {
    CertCloseStore(my, 0);
    return false;
  }
  BYTE usage[2] = {};
  CertGetIntendedKeyUsage(X509_ASN_ENCODING | PKCS_7_ASN_ENCODING, cert->pCertInfo, usage, 2);
  KeyIsReachable(cert);
  ChainIsTrusted(cert);
  HCRYPTPROV_OR_NCRYPT_KEY_HANDLE prov = 0;
  DWORD spec = 0;
  BOOL mustFree = FALSE;
  CryptAcquireCertificatePrivateKey(cert, CRYPT_ACQUIRE_USE_PROV_INFO_FLAG, nullptr, &prov, &spec, &mustFree);
  HCRYPTHASH h = 0;
  CryptCreateHash(prov, alg, 0, 0, &h);
  CryptSetHashParam(h, HP_HASHVAL, hash.data(), 0);
  DWORD size = 0;
  CryptSignHashW(h, spec, nullptr, 0, nullptr, &size);
  std::vector<BYTE> signature(size);
  BOOL signed_ = CryptSignHashW(h, spec, nullptr, 0, signature.data(), &size);
  CryptDestroyHash(h);
  if (mustFree) CryptReleaseContext(prov, 0);
  CertFreeCertificateContext(cert);
  CertCloseStore(my, 0);
  return signed_ && size > 0;
}

bool KeyIsReachable(PCCERT_CONTEXT cert) {
  if (CryptFindCertificateKeyProvInfo(cert, CRYPT_FIND_USER_KEYSET_FLAG, nullptr)) return true;
  HCRYPTPROV_OR_NCRYPT_KEY_HANDLE prov = 0;
  DWORD spec = 0;
  BOOL mustFree = FALSE;
  if (!CryptAcquireCertificatePrivateKey(cert, CRYPT_ACQUIRE_USE_PROV_INFO_FLAG, nullptr, &prov, &spec, &mustFree))
    return false;
  if (mustFree) CryptReleaseContext(prov, 0);
  return true;
}

bool SignMessage(PCCERT_CONTEXT given, const std::wstring& payloadBase64) {
  DWORD size = 0;
  CryptStringToBinaryW(payloadBase64.c_str(), 0, CRYPT_STRING_BASE64, nullptr, &size, nullptr, nullptr);
  std::vector<BYTE> payload(size);
  CryptStringToBinaryW(payloadBase64.c_str(), 0, CRYPT_STRING_BASE64, payload.data(), &size, nullptr, nullptr);
  HCERTSTORE my = CertOpenSystemStoreW(0, L"MY");
  PCCERT_CONTEXT cert = CertFindCertificateInStore(my, X509_ASN_ENCODING | PKCS_7_ASN_ENCODING, 0,
                                                   CERT_FIND_SUBJECT_CERT, given->pCertInfo, nullptr);
  // The key, reached through the certificate (a card would ask for its
  // PIN around the signing).
  HCRYPTPROV_OR_NCRYPT_KEY_HANDLE prov = 0;
  DWORD spec = 0;
  BOOL mustFree = FALSE;
  CryptAcquireCertificatePrivateKey(cert, CRYPT_ACQUIRE_USE_PROV_INFO_FLAG, nullptr, &prov, &spec, &mustFree);
  std::vector<BYTE> message;
  bool signed_ = SignAttached(cert, payload, &message);
  Base64(message.data(), static_cast<DWORD>(message.size()));
  if (mustFree) CryptReleaseContext(prov, 0);
  CertFreeCertificateContext(cert);
  CertCloseStore(my, 0);
  return signed_;
}

bool SignAttached(PCCERT_CONTEXT cert, const std::vector<BYTE>& payload, std::vector<BYTE>* message) {
  CRYPT_SIGN_MESSAGE_PARA para = {};
  para.cbSize = offsetof(CRYPT_SIGN_MESSAGE_PARA, dwInnerContentType) + sizeof(DWORD);
  para.dwMsgEncodingType = PKCS_7_ASN_ENCODING;
  para.pSigningCert = cert;
  para.HashAlgorithm.pszObjId = const_cast<char*>(szOID_RSA_SHA256RSA);
  para.cMsgCert = 1;
  para.rgpMsgCert = &cert;
  const BYTE* content[1] = {payload.data()};
  DWORD length[1] = {static_cast<DWORD>(payload.size())};
  DWORD out = 0;
  CryptSignMessage(&para, FALSE, 1, content, length, nullptr, &out);
  message->resize(out);
  BOOL signed_ = CryptSignMessage(&para, FALSE, 1, content, length, message->data(), &out);
  message->resize(signed_ ? out : 0);
  return signed_ != FALSE;
}

int Enumerate(bool validate) {
  HCERTSTORE my = CertOpenSystemStoreW(0, L"MY");
  PCCERT_CONTEXT cert = nullptr;
  int listed = 0;
  while ((cert = CertEnumCertificatesInStore(my, cert)) != nullptr) {
    BYTE usage[2] = {};
    CertGetIntendedKeyUsage(X509_ASN_ENCODING | PKCS_7_ASN_ENCODING, cert->pCertInfo, usage, 2);
    if (validate) {
      DWORD size = 0;
      if (CertVerifyTimeValidity(nullptr, cert->pCertInfo) != 0 ||
          !CertGetCertificateContextProperty(cert, CERT_KEY_PROV_INFO_PROP_ID, nullptr, &size) ||
          !ChainIsTrusted(cert))
        continue;
    }
    listed += !Base64(cert->pbCertEncoded, cert->cbCertEncoded).empty();
  }
  CertCloseStore(my, 0);
  return listed;
}

void CriteriaTexts() {
  HCERTSTORE my = CertOpenSystemStoreW(0, L"MY");
  PCCERT_CONTEXT cert = nullptr;
  while ((cert = CertEnumCertificatesInStore(my, cert)) != nullptr) {
    for (const char* oid : {szOID_ENHANCED_KEY_USAGE, szOID_SUBJECT_ALT_NAME2}) {
      PCERT_EXTENSION ext = CertFindExtension(oid, cert->pCertInfo->cExtension, cert->pCertInfo->rgExtension);
      if (!ext) continue;
      DWORD size = 0;
      if (!CryptFormatObject(X509_ASN_ENCODING, 0, 0, nullptr, oid, ext->Value.pbData, ext->Value.cbData, nullptr,
                             &size))
        continue;
      std::vector<BYTE> text(size);
      CryptFormatObject(X509_ASN_ENCODING, 0, 0, nullptr, oid, ext->Value.pbData, ext->Value.cbData, text.data(),
                        &size);
    }
  }
  CertCloseStore(my, 0);
}

void ChainEngine() {
  CERT_CHAIN_ENGINE_CONFIG config = {};
  config.cbSize = offsetof(CERT_CHAIN_ENGINE_CONFIG, CycleDetectionModulus) + sizeof(DWORD);
  config.dwFlags = CERT_CHAIN_CACHE_END_CERT;
  HCERTCHAINENGINE engine = nullptr;
  if (CertCreateCertificateChainEngine(&config, &engine)) CertFreeCertificateChainEngine(engine);
}

int LookupByThumbprint(const std::wstring& prefix) {
  HCERTSTORE my = CertOpenSystemStoreW(0, L"MY");
  PCCERT_CONTEXT cert = nullptr;
  int found = 0;
  while ((cert = CertEnumCertificatesInStore(my, cert)) != nullptr) {
    BYTE usage[2] = {};
    CertGetIntendedKeyUsage(X509_ASN_ENCODING | PKCS_7_ASN_ENCODING, cert->pCertInfo, usage, 2);
    BYTE hash[20];
    DWORD size = 20;
    CertGetCertificateContextProperty(cert, CERT_SHA1_HASH_PROP_ID, hash, &size);
    wchar_t hex[41];
    for (int i = 0; i < 20; ++i) swprintf(hex + 2 * i, 3, L"%02x", hash[i]);
    if (_wcsnicmp(hex, prefix.c_str(), prefix.size()) == 0)
      found += !Base64(cert->pbCertEncoded, cert->cbCertEncoded).empty();
  }
  CertCloseStore(my, 0);
  return found;
}

namespace {

PCCERT_CONTEXT Decode(const std::wstring& b64) {
  DWORD size = 0;
  CryptStringToBinaryW(b64.c_str(), 0, CRYPT_STRING_BASE64, nullptr, &size, nullptr, nullptr);
  std::vector<BYTE> der(size);
  CryptStringToBinaryW(b64.c_str(), 0, CRYPT_STRING_BASE64, der.data(), &size, nullptr, nullptr);
  return CertCreateCertificateContext(X509_ASN_ENCODING | PKCS_7_ASN_ENCODING, der.data(), size);
}

// Whether an extension's text, rendered by the platform (the size, then the
// text), holds `marker`.
bool ExtensionTextHolds(PCCERT_CONTEXT cert, const char* oid, const wchar_t* marker) {
  PCERT_EXTENSION ext = CertFindExtension(oid, cert->pCertInfo->cExtension, cert->pCertInfo->rgExtension);
  DWORD size = 0;
  if (!ext || !CryptFormatObject(X509_ASN_ENCODING, 0, 0, nullptr, oid, ext->Value.pbData, ext->Value.cbData, nullptr,
                                 &size))
    return false;
  std::vector<BYTE> text(size + sizeof(wchar_t));
  CryptFormatObject(X509_ASN_ENCODING, 0, 0, nullptr, oid, ext->Value.pbData, ext->Value.cbData, text.data(), &size);
  return wcsstr(reinterpret_cast<const wchar_t*>(text.data()), marker) != nullptr;
}

}  // namespace

bool CertIsValid(const std::wstring& b64) {
  PCCERT_CONTEXT given = Decode(b64);
  if (!given) return false;
  HCERTSTORE my = CertOpenSystemStoreW(0, L"MY");
  PCCERT_CONTEXT cert =
      CertFindCertificateInStore(my, X509_ASN_ENCODING | PKCS_7_ASN_ENCODING, 0, CERT_FIND_SUBJECT_CERT,
                                 given->pCertInfo, nullptr);
  bool valid = false;
  if (cert) {
    BYTE usage[2] = {};
    CertGetIntendedKeyUsage(X509_ASN_ENCODING | PKCS_7_ASN_ENCODING, cert->pCertInfo, usage, 2);
    DWORD size = 0;
    valid = CertVerifyTimeValidity(nullptr, cert->pCertInfo) == 0 &&
            CertGetCertificateContextProperty(cert, CERT_KEY_PROV_INFO_PROP_ID, nullptr, &size) &&
            ChainIsTrusted(cert);
    // Criteria 0x083 accept a valid certificate with the marker in its
    // enhanced key usage, with the marker in its alternative name, or with
    // neither: the texts are read, the usage's first, the name's only when
    // the usage lacks its marker.
    if (valid && !ExtensionTextHolds(cert, szOID_ENHANCED_KEY_USAGE, L"1.2.203.6947.2.3.1.1.1"))
      ExtensionTextHolds(cert, szOID_SUBJECT_ALT_NAME2, L"1.3.6.1.4.1.11801.2.1");
    CertFreeCertificateContext(cert);
  }
  CertCloseStore(my, 0);
  CertFreeCertificateContext(given);
  return valid;
}

bool ChainOfText(const std::wstring& b64) {
  PCCERT_CONTEXT cert = Decode(b64);
  if (!cert) return false;
  bool trusted = ChainIsTrusted(cert);
  CertFreeCertificateContext(cert);
  return trusted;
}

bool CertInfo(const std::wstring& b64) {
  PCCERT_CONTEXT cert = Decode(b64);
  if (!cert) return false;
  DWORD size = 0;
  wchar_t text[1024];
  CertNameToStrW(X509_ASN_ENCODING, &cert->pCertInfo->Subject, CERT_X500_NAME_STR, text, 1024);
  CertNameToStrW(X509_ASN_ENCODING, &cert->pCertInfo->Issuer, CERT_X500_NAME_STR, text, 1024);
  CertGetNameStringW(cert, CERT_NAME_EMAIL_TYPE, 0, nullptr, text, 1024);
  CertGetNameStringW(cert, CERT_NAME_FRIENDLY_DISPLAY_TYPE, 0, nullptr, text, 1024);
  CertGetNameStringW(cert, CERT_NAME_FRIENDLY_DISPLAY_TYPE, CERT_NAME_ISSUER_FLAG, nullptr, text, 1024);
  BYTE hash[20];
  size = 20;
  CertGetCertificateContextProperty(cert, CERT_SHA1_HASH_PROP_ID, hash, &size);
  FILETIME local;
  SYSTEMTIME st;
  FileTimeToLocalFileTime(&cert->pCertInfo->NotBefore, &local);
  FileTimeToSystemTime(&local, &st);
  FileTimeToLocalFileTime(&cert->pCertInfo->NotAfter, &local);
  FileTimeToSystemTime(&local, &st);
  PCERT_EXTENSION san = CertFindExtension(szOID_SUBJECT_ALT_NAME2, cert->pCertInfo->cExtension,
                                          cert->pCertInfo->rgExtension);
  if (san) {
    size = 0;
    CryptDecodeObject(X509_ASN_ENCODING, szOID_SUBJECT_ALT_NAME2, san->Value.pbData, san->Value.cbData,
                      CRYPT_DECODE_NOCOPY_FLAG, nullptr, &size);
    std::vector<BYTE> decoded(size ? size : 1);
    CryptDecodeObject(X509_ASN_ENCODING, szOID_SUBJECT_ALT_NAME2, san->Value.pbData, san->Value.cbData,
                      CRYPT_DECODE_NOCOPY_FLAG, decoded.data(), &size);
  }
  PCERT_EXTENSION policies = CertFindExtension(szOID_CERT_POLICIES, cert->pCertInfo->cExtension,
                                               cert->pCertInfo->rgExtension);
  if (policies) {
    size = 0;
    if (CryptFormatObject(cert->dwCertEncodingType, 0, 0, nullptr, szOID_CERT_POLICIES, policies->Value.pbData,
                          policies->Value.cbData, nullptr, &size) &&
        size) {
      std::vector<BYTE> out(size + 2);
      CryptFormatObject(cert->dwCertEncodingType, 0, 0, nullptr, szOID_CERT_POLICIES, policies->Value.pbData,
                        policies->Value.cbData, out.data(), &size);
    }
  }
  BYTE usage[2] = {};
  CertGetIntendedKeyUsage(X509_ASN_ENCODING | PKCS_7_ASN_ENCODING, cert->pCertInfo, usage, 2);
  DWORD chars = 0;
  CryptBinaryToStringW(usage, 1, CRYPT_STRING_HEX, nullptr, &chars);
  std::wstring hex(chars, L'\0');
  CryptBinaryToStringW(usage, 1, CRYPT_STRING_HEX, &hex[0], &chars);
  CertFreeCertificateContext(cert);
  return true;
}

void LogEntryFile(const std::wstring& file, bool shared, EntrySteps steps, const std::string& bytes) {
  DWORD share = shared ? FILE_SHARE_READ | FILE_SHARE_WRITE : 0;
  HANDLE h = CreateFileW(file.c_str(), FILE_APPEND_DATA | SYNCHRONIZE, share, nullptr, OPEN_ALWAYS,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return;
  OVERLAPPED region = {};
  region.OffsetHigh = 0x7FFFFFFF;
  bool locked = shared && steps != EntrySteps::kOpenClose &&
                LockFileEx(h, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &region);
  if (steps == EntrySteps::kWhole) {
    DWORD written = 0;
    WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
  }
  if (locked) UnlockFileEx(h, 0, 1, 0, &region);
  CloseHandle(h);
}

}  // namespace bare
