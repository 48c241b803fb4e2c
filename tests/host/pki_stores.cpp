#include "tests/host/pki_stores.h"

#include <windows.h>
#include <wincrypt.h>

#include <vector>

namespace {

std::wstring PkiFile(const std::wstring& file) {
  wchar_t dir[1024] = {};
  GetEnvironmentVariableW(L"TESSARN_PKI", dir, 1024);
  return std::wstring(dir) + L"\\" + file;
}

std::vector<BYTE> ReadAll(const std::wstring& path) {
  std::vector<BYTE> bytes;
  HANDLE h = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (h == INVALID_HANDLE_VALUE) return bytes;
  BYTE buf[8192];
  DWORD n;
  while (ReadFile(h, buf, sizeof(buf), &n, nullptr) && n) bytes.insert(bytes.end(), buf, buf + n);
  CloseHandle(h);
  return bytes;
}

}  // namespace

bool ImportPfxToMy(const std::wstring& name) {
  std::vector<BYTE> pfx = ReadAll(PkiFile(name + L".p12"));
  if (pfx.empty()) return false;
  CRYPT_DATA_BLOB blob = {static_cast<DWORD>(pfx.size()), pfx.data()};
  HCERTSTORE temp = PFXImportCertStore(&blob, L"", CRYPT_USER_KEYSET);
  if (!temp) temp = PFXImportCertStore(&blob, nullptr, CRYPT_USER_KEYSET);
  if (!temp) return false;
  HCERTSTORE my = CertOpenSystemStoreW(0, L"MY");
  bool added = false;
  PCCERT_CONTEXT cert = nullptr;
  while (my && (cert = CertEnumCertificatesInStore(temp, cert)) != nullptr) {
    DWORD size = 0;
    if (CertGetCertificateContextProperty(cert, CERT_KEY_PROV_INFO_PROP_ID, nullptr, &size))
      added = CertAddCertificateContextToStore(my, cert, CERT_STORE_ADD_REPLACE_EXISTING, nullptr) || added;
  }
  if (my) CertCloseStore(my, 0);
  CertCloseStore(temp, 0);
  return added;
}

bool AddCertificate(const std::wstring& store, const std::wstring& name) {
  std::vector<BYTE> b64 = ReadAll(PkiFile(name + L".b64"));
  if (b64.empty()) return false;
  b64.push_back(0);
  DWORD size = 0;
  const char* text = reinterpret_cast<const char*>(b64.data());
  if (!CryptStringToBinaryA(text, 0, CRYPT_STRING_BASE64, nullptr, &size, nullptr, nullptr)) return false;
  std::vector<BYTE> der(size);
  CryptStringToBinaryA(text, 0, CRYPT_STRING_BASE64, der.data(), &size, nullptr, nullptr);
  HCERTSTORE s = CertOpenSystemStoreW(0, store.c_str());
  if (!s) return false;
  bool ok = CertAddEncodedCertificateToStore(s, X509_ASN_ENCODING, der.data(), size, CERT_STORE_ADD_REPLACE_EXISTING,
                                             nullptr) != FALSE;
  CertCloseStore(s, 0);
  return ok;
}
