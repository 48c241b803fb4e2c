#include "tests/host/pki_stores.h"

#include "tests/support/files.h"

#include <windows.h>
#include <wincrypt.h>

#include <vector>

namespace {

std::wstring PkiFile(const std::wstring& file) {
  wchar_t dir[1024] = {};
  GetEnvironmentVariableW(L"TESSARN_PKI", dir, 1024);
  return std::wstring(dir) + L"\\" + file;
}

}  // namespace

std::vector<BYTE> ReadFileBytes(const std::wstring& path) { return ReadByteVector(path); }

namespace {

std::vector<BYTE> PkiDer(const std::wstring& name) {
  std::vector<BYTE> b64 = ReadFileBytes(PkiFile(name + L".b64"));
  std::vector<BYTE> der;
  if (b64.empty()) return der;
  b64.push_back(0);
  DWORD size = 0;
  const char* text = reinterpret_cast<const char*>(b64.data());
  if (!CryptStringToBinaryA(text, 0, CRYPT_STRING_BASE64, nullptr, &size, nullptr, nullptr)) return der;
  der.resize(size);
  CryptStringToBinaryA(text, 0, CRYPT_STRING_BASE64, der.data(), &size, nullptr, nullptr);
  return der;
}

}  // namespace

// Wine's PFX import puts every key into the user's one default container,
// in a provider without SHA-2; each test key gets a container of its own in
// the AES provider instead. rsaenh writes a container out only when its
// context is released, which happens before the certificate points to it.
bool ImportWithKey(const std::wstring& name) {
  std::vector<BYTE> blob = ReadFileBytes(PkiFile(name + L".keyblob"));
  if (blob.empty()) return false;
  std::wstring container = L"tessarn-test-" + name;
  HCRYPTPROV prov = 0;
  if (!CryptAcquireContextW(&prov, container.c_str(), MS_ENH_RSA_AES_PROV_W, PROV_RSA_AES, CRYPT_NEWKEYSET) &&
      !CryptAcquireContextW(&prov, container.c_str(), MS_ENH_RSA_AES_PROV_W, PROV_RSA_AES, 0))
    return false;
  HCRYPTKEY key = 0;
  bool imported = CryptImportKey(prov, blob.data(), static_cast<DWORD>(blob.size()), 0, 0, &key) != FALSE;
  if (key) CryptDestroyKey(key);
  CryptReleaseContext(prov, 0);
  if (!imported) return false;

  // The link to the key is set before the certificate goes into the store,
  // which then keeps it with the certificate.
  std::vector<BYTE> der = PkiDer(name);
  PCCERT_CONTEXT cert = CertCreateCertificateContext(X509_ASN_ENCODING, der.data(), static_cast<DWORD>(der.size()));
  if (!cert) return false;
  CRYPT_KEY_PROV_INFO info = {};
  info.pwszContainerName = const_cast<wchar_t*>(container.c_str());
  info.pwszProvName = const_cast<wchar_t*>(MS_ENH_RSA_AES_PROV_W);
  info.dwProvType = PROV_RSA_AES;
  info.dwKeySpec = AT_KEYEXCHANGE;
  bool linked = CertSetCertificateContextProperty(cert, CERT_KEY_PROV_INFO_PROP_ID, 0, &info) != FALSE;
  HCERTSTORE my = CertOpenSystemStoreW(0, L"MY");
  linked = linked && my && CertAddCertificateContextToStore(my, cert, CERT_STORE_ADD_REPLACE_EXISTING, nullptr);
  if (my) CertCloseStore(my, 0);
  CertFreeCertificateContext(cert);
  return linked;
}

bool AddCertificate(const std::wstring& store, const std::wstring& name) {
  std::vector<BYTE> der = PkiDer(name);
  if (der.empty()) return false;
  DWORD size = static_cast<DWORD>(der.size());
  HCERTSTORE s = CertOpenSystemStoreW(0, store.c_str());
  if (!s) return false;
  bool ok = CertAddEncodedCertificateToStore(s, X509_ASN_ENCODING, der.data(), size, CERT_STORE_ADD_REPLACE_EXISTING,
                                             nullptr) != FALSE;
  CertCloseStore(s, 0);
  return ok;
}
