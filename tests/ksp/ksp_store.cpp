// Fills a test prefix's "MY" store with certificates of the test PKI whose
// keys live where the arguments say, as enrolment on Windows leaves them:
//   ksp:NAME:PROVIDER:KEY[:machine]  the key-provider property names a key
//                                    storage provider (type 0)
//   full:NAME   NAME.keyblob imported into a container of the Enhanced
//               Cryptographic Provider, of type PROV_RSA_FULL
//   csp:NAME:PROVIDER:TYPE:CONTAINER  a key of a CryptoAPI provider (a
//               card's: the signature key of the container)
// Usage: ksp_store.exe ENTRY...
#include <windows.h>
#include <wincrypt.h>

#include <cstdio>
#include <string>
#include <vector>

#include "tests/host/pki_stores.h"

namespace {

std::wstring PkiFile(const std::wstring& file) {
  wchar_t dir[1024] = {};
  GetEnvironmentVariableW(L"TESSARN_PKI", dir, 1024);
  return std::wstring(dir) + L"\\" + file;
}

PCCERT_CONTEXT PkiCert(const std::wstring& name) {
  std::vector<BYTE> b64 = ReadFileBytes(PkiFile(name + L".b64"));
  if (b64.empty()) return nullptr;
  b64.push_back(0);
  DWORD size = 0;
  const char* text = reinterpret_cast<const char*>(b64.data());
  if (!CryptStringToBinaryA(text, 0, CRYPT_STRING_BASE64, nullptr, &size, nullptr, nullptr)) return nullptr;
  std::vector<BYTE> der(size);
  if (!CryptStringToBinaryA(text, 0, CRYPT_STRING_BASE64, der.data(), &size, nullptr, nullptr)) return nullptr;
  return CertCreateCertificateContext(X509_ASN_ENCODING, der.data(), size);
}

bool AddLinked(const std::wstring& name, CRYPT_KEY_PROV_INFO* info) {
  PCCERT_CONTEXT cert = PkiCert(name);
  if (!cert) return false;
  bool ok = CertSetCertificateContextProperty(cert, CERT_KEY_PROV_INFO_PROP_ID, 0, info) != FALSE;
  HCERTSTORE my = CertOpenSystemStoreW(0, L"MY");
  ok = ok && my && CertAddCertificateContextToStore(my, cert, CERT_STORE_ADD_REPLACE_EXISTING, nullptr);
  if (my) CertCloseStore(my, 0);
  CertFreeCertificateContext(cert);
  return ok;
}

std::vector<std::wstring> Split(const std::wstring& s) {
  std::vector<std::wstring> parts;
  size_t start = 0;
  for (;;) {
    size_t at = s.find(L':', start);
    parts.push_back(s.substr(start, at == std::wstring::npos ? std::wstring::npos : at - start));
    if (at == std::wstring::npos) return parts;
    start = at + 1;
  }
}

bool AddKsp(const std::vector<std::wstring>& p) {
  if (p.size() < 4) return false;
  CRYPT_KEY_PROV_INFO info = {};
  info.pwszContainerName = const_cast<wchar_t*>(p[3].c_str());
  info.pwszProvName = const_cast<wchar_t*>(p[2].c_str());
  info.dwProvType = 0;
  info.dwFlags = p.size() > 4 && p[4] == L"machine" ? CRYPT_MACHINE_KEYSET : 0;
  info.dwKeySpec = 0;
  return AddLinked(p[1], &info);
}

bool AddCsp(const std::vector<std::wstring>& p) {
  if (p.size() != 5) return false;
  CRYPT_KEY_PROV_INFO info = {};
  info.pwszContainerName = const_cast<wchar_t*>(p[4].c_str());
  info.pwszProvName = const_cast<wchar_t*>(p[2].c_str());
  info.dwProvType = wcstoul(p[3].c_str(), nullptr, 10);
  info.dwKeySpec = AT_SIGNATURE;
  return AddLinked(p[1], &info);
}

bool AddFull(const std::wstring& name) {
  std::vector<BYTE> blob = ReadFileBytes(PkiFile(name + L".keyblob"));
  if (blob.empty()) return false;
  std::wstring container = L"tessarn-full-" + name;
  HCRYPTPROV prov = 0;
  if (!CryptAcquireContextW(&prov, container.c_str(), MS_ENHANCED_PROV_W, PROV_RSA_FULL, CRYPT_NEWKEYSET) &&
      !CryptAcquireContextW(&prov, container.c_str(), MS_ENHANCED_PROV_W, PROV_RSA_FULL, 0))
    return false;
  HCRYPTKEY key = 0;
  bool imported = CryptImportKey(prov, blob.data(), static_cast<DWORD>(blob.size()), 0, 0, &key) != FALSE;
  if (key) CryptDestroyKey(key);
  CryptReleaseContext(prov, 0);
  if (!imported) return false;
  CRYPT_KEY_PROV_INFO info = {};
  info.pwszContainerName = const_cast<wchar_t*>(container.c_str());
  info.pwszProvName = const_cast<wchar_t*>(MS_ENHANCED_PROV_W);
  info.dwProvType = PROV_RSA_FULL;
  info.dwKeySpec = AT_KEYEXCHANGE;
  return AddLinked(name, &info);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (!AddCertificate(L"Root", L"root") || !AddCertificate(L"CA", L"ca")) {
    fwprintf(stderr, L"ksp_store: cannot add the test CA\n");
    return 1;
  }
  for (int i = 1; i < argc; ++i) {
    std::vector<std::wstring> p = Split(argv[i]);
    bool ok = p[0] == L"ksp"                      ? AddKsp(p)
              : p[0] == L"csp"                    ? AddCsp(p)
              : p[0] == L"full" && p.size() == 2 ? AddFull(p[1])
                                                  : false;
    if (!ok) {
      fwprintf(stderr, L"ksp_store: cannot add %ls (error %lx)\n", argv[i], GetLastError());
      return 1;
    }
  }
  return 0;
}
