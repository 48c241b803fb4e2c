#include "tests/certutil/pki.h"

#include "tests/support/files.h"

#include <vector>

std::wstring PkiPath(const std::wstring& file) {
  wchar_t buf[1024] = {};
  GetEnvironmentVariableW(L"TESSARN_PKI", buf, 1024);
  return std::wstring(buf) + L"\\" + file;
}

std::string PkiText(const std::wstring& file) {
  return ReadBytes(PkiPath(file));
}

std::wstring PkiWide(const std::wstring& file) {
  std::string t = PkiText(file);
  return std::wstring(t.begin(), t.end());
}

PCCERT_CONTEXT PkiCert(const std::wstring& name) {
  std::string b64 = PkiText(name + L".b64");
  DWORD size = 0;
  if (!CryptStringToBinaryA(b64.c_str(), 0, CRYPT_STRING_BASE64, nullptr, &size, nullptr, nullptr)) return nullptr;
  std::vector<BYTE> der(size);
  CryptStringToBinaryA(b64.c_str(), 0, CRYPT_STRING_BASE64, der.data(), &size, nullptr, nullptr);
  return CertCreateCertificateContext(X509_ASN_ENCODING | PKCS_7_ASN_ENCODING, der.data(), size);
}

bool AddToStore(const wchar_t* store, const std::wstring& name) {
  PCCERT_CONTEXT cert = PkiCert(name);
  if (!cert) return false;
  HCERTSTORE s = CertOpenSystemStoreW(0, store);
  bool ok = s && CertAddCertificateContextToStore(s, cert, CERT_STORE_ADD_REPLACE_EXISTING, nullptr);
  if (s) CertCloseStore(s, 0);
  CertFreeCertificateContext(cert);
  return ok;
}
