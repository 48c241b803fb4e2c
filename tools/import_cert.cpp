// tessarn-import-cert: puts a test certificate with its private key into
// the current user's stores, so that a developer can try the control
// without a smart card:
//
//   tessarn-import-cert CERTIFICATE KEY.blob [CA-CERTIFICATE...]
//
// CERTIFICATE is PEM or DER; KEY.blob its RSA private key as a CryptoAPI
// PRIVATEKEYBLOB (`openssl rsa -in key.pem -outform MSBLOB -out key.blob`).
// The key goes into a container of its own in the RSA and AES provider,
// which signs SHA-2 hashes, and the certificate into "MY" linked to it. A
// self-signed CA certificate goes into "Root" (Windows asks the user before
// it trusts a root), every other CA into "CA". Nothing needs administrator
// rights. Exit code 0 when everything went in.
#include <windows.h>
#include <wincrypt.h>

#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

#include "certutil/crypt_handles.h"

namespace {

std::vector<BYTE> ReadWholeFile(const wchar_t* path) {
  std::vector<BYTE> bytes;
  ScopedFileHandle file(CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
  if (!file) return bytes;
  LARGE_INTEGER size = {};
  if (!GetFileSizeEx(file.Get(), &size) || size.QuadPart <= 0 || size.QuadPart > (64 << 20)) return bytes;
  bytes.resize(static_cast<size_t>(size.QuadPart));
  DWORD read = 0;
  if (!ReadFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr) || read != bytes.size())
    bytes.clear();
  return bytes;
}

std::wstring SubjectOf(PCCERT_CONTEXT cert) {
  wchar_t name[512] = {};
  CertGetNameStringW(cert, CERT_NAME_SIMPLE_DISPLAY_TYPE, 0, nullptr, name, 512);
  return name;
}

// Whether the certificate says it is a CA.
bool IsCa(PCCERT_CONTEXT cert) {
  PCERT_EXTENSION ext = CertFindExtension(szOID_BASIC_CONSTRAINTS2, cert->pCertInfo->cExtension,
                                          cert->pCertInfo->rgExtension);
  if (!ext) return false;
  CERT_BASIC_CONSTRAINTS2_INFO info = {};
  DWORD size = sizeof(info);
  return CryptDecodeObjectEx(X509_ASN_ENCODING, X509_BASIC_CONSTRAINTS2, ext->Value.pbData, ext->Value.cbData, 0,
                             nullptr, &info, &size) &&
         info.fCA;
}

bool HasKey(PCCERT_CONTEXT cert) {
  DWORD size = 0;
  return CertGetCertificateContextProperty(cert, CERT_KEY_PROV_INFO_PROP_ID, nullptr, &size) != FALSE ||
         CertGetCertificateContextProperty(cert, CERT_KEY_CONTEXT_PROP_ID, nullptr, &size) != FALSE;
}

bool SelfSigned(PCCERT_CONTEXT cert) {
  return CertCompareCertificateName(X509_ASN_ENCODING, &cert->pCertInfo->Subject, &cert->pCertInfo->Issuer) != FALSE;
}

// Imports the key into a container named for the certificate's thumbprint
// and links the certificate to it (the store keeps the link).
bool ImportKeyFor(PCCERT_CONTEXT cert, const std::vector<BYTE>& blob) {
  BYTE thumb[20] = {};
  DWORD thumbSize = sizeof(thumb);
  if (!CertGetCertificateContextProperty(cert, CERT_SHA1_HASH_PROP_ID, thumb, &thumbSize)) return false;
  std::wstring container = L"tessarn-test-";
  for (DWORD i = 0; i < thumbSize; ++i) {
    wchar_t hex[3];
    swprintf(hex, 3, L"%02x", thumb[i]);
    container += hex;
  }
  ScopedCryptProv prov;
  if (!CryptAcquireContextW(prov.Receive(), container.c_str(), MS_ENH_RSA_AES_PROV_W, PROV_RSA_AES, CRYPT_NEWKEYSET) &&
      !CryptAcquireContextW(prov.Receive(), container.c_str(), MS_ENH_RSA_AES_PROV_W, PROV_RSA_AES, 0))
    return false;
  ScopedCryptKey key;
  if (!CryptImportKey(prov.Get(), blob.data(), static_cast<DWORD>(blob.size()), 0, 0, key.Receive())) return false;
  // The blob names the key's specification in its algorithm.
  ALG_ID alg = 0;
  DWORD algSize = sizeof(alg);
  if (!CryptGetKeyParam(key.Get(), KP_ALGID, reinterpret_cast<BYTE*>(&alg), &algSize, 0)) return false;
  CRYPT_KEY_PROV_INFO info = {};
  info.pwszContainerName = const_cast<wchar_t*>(container.c_str());
  info.pwszProvName = const_cast<wchar_t*>(MS_ENH_RSA_AES_PROV_W);
  info.dwProvType = PROV_RSA_AES;
  info.dwKeySpec = alg == CALG_RSA_SIGN ? AT_SIGNATURE : AT_KEYEXCHANGE;
  return CertSetCertificateContextProperty(cert, CERT_KEY_PROV_INFO_PROP_ID, 0, &info) != FALSE;
}

const wchar_t* StoreFor(PCCERT_CONTEXT cert) {
  if (!IsCa(cert)) return HasKey(cert) ? L"MY" : nullptr;
  return SelfSigned(cert) ? L"Root" : L"CA";
}

bool Add(PCCERT_CONTEXT cert) {
  const wchar_t* storeName = StoreFor(cert);
  if (!storeName) {
    wprintf(L"skipped: %ls (neither a CA nor with its key)\n", SubjectOf(cert).c_str());
    return true;
  }
  ScopedCertStore store(CertOpenStore(CERT_STORE_PROV_SYSTEM_W, 0, 0, CERT_SYSTEM_STORE_CURRENT_USER, storeName));
  PCCERT_CONTEXT toAdd = cert;
  ScopedCertContext bare;
  if (wcscmp(storeName, L"MY") != 0) {
    // A CA goes in without any key link.
    bare.Reset(CertCreateCertificateContext(X509_ASN_ENCODING, cert->pbCertEncoded, cert->cbCertEncoded));
    toAdd = bare.Get();
  }
  bool added = store && toAdd && CertAddCertificateContextToStore(store.Get(), toAdd, CERT_STORE_ADD_REPLACE_EXISTING, nullptr);
  wprintf(L"%ls: %ls into %ls\n", added ? L"added" : L"FAILED", SubjectOf(cert).c_str(), storeName);
  return added;
}

// A certificate file, PEM or DER.
ScopedCertContext ReadCertificate(const wchar_t* path) {
  std::vector<BYTE> bytes = ReadWholeFile(path);
  ScopedCertContext cert;
  if (bytes.empty()) return cert;
  DWORD size = 0;
  std::vector<BYTE> der;
  if (CryptStringToBinaryA(reinterpret_cast<const char*>(bytes.data()), static_cast<DWORD>(bytes.size()),
                           CRYPT_STRING_BASE64HEADER, nullptr, &size, nullptr, nullptr)) {
    der.resize(size);
    if (!CryptStringToBinaryA(reinterpret_cast<const char*>(bytes.data()), static_cast<DWORD>(bytes.size()),
                              CRYPT_STRING_BASE64HEADER, der.data(), &size, nullptr, nullptr))
      der.clear();
  } else {
    der = bytes;
  }
  if (!der.empty())
    cert.Reset(CertCreateCertificateContext(X509_ASN_ENCODING, der.data(), static_cast<DWORD>(der.size())));
  return cert;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 3) {
    fwprintf(stderr, L"usage: tessarn-import-cert CERTIFICATE KEY.blob [CA-CERTIFICATE...]\n");
    return 2;
  }
  ScopedCertContext cert = ReadCertificate(argv[1]);
  if (!cert || IsCa(cert.Get())) {
    fwprintf(stderr, L"tessarn-import-cert: %ls is not an end-entity certificate\n", argv[1]);
    return 1;
  }
  std::vector<BYTE> blob = ReadWholeFile(argv[2]);
  bool keyed = !blob.empty() && ImportKeyFor(cert.Get(), blob);
  SecureZeroMemory(blob.data(), blob.size());
  if (!keyed) {
    fwprintf(stderr, L"tessarn-import-cert: the key in %ls could not be imported (error 0x%08lx)\n", argv[2],
             GetLastError());
    return 1;
  }
  int failures = Add(cert.Get()) ? 0 : 1;
  for (int i = 3; i < argc; ++i) {
    ScopedCertContext ca = ReadCertificate(argv[i]);
    if (!ca || !IsCa(ca.Get())) {
      fwprintf(stderr, L"tessarn-import-cert: %ls is not a CA certificate\n", argv[i]);
      ++failures;
      continue;
    }
    if (!Add(ca.Get())) ++failures;
  }
  return failures ? 1 : 0;
}
