#include "tests/bench/bench_stores.h"

#include <cstdio>
#include <vector>

#include "tests/certutil/pki.h"
#include "tests/host/pki_stores.h"


void EmptyPersonalStore() {
  // The store's registry data itself: deleting through a system store
  // handle does not always reach the registry.
  RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\Microsoft\\SystemCertificates\\My\\Certificates");
}

bool FillPersonalStore(int count) {
  EmptyPersonalStore();
  if (!ImportWithKey(L"full")) return false;  // the key container, and one certificate
  std::vector<BYTE> blob = ReadFileBytes(PkiPath(L"ca.keyblob"));
  HCRYPTPROV ca = 0;
  if (!CryptAcquireContextW(&ca, nullptr, MS_ENH_RSA_AES_PROV_W, PROV_RSA_AES, CRYPT_VERIFYCONTEXT)) return false;
  HCRYPTKEY key = 0;
  CryptImportKey(ca, blob.data(), static_cast<DWORD>(blob.size()), 0, 0, &key);
  PCCERT_CONTEXT full = PkiCert(L"full");
  CRYPT_KEY_PROV_INFO info = {};
  info.pwszContainerName = const_cast<wchar_t*>(L"tessarn-test-full");
  info.pwszProvName = const_cast<wchar_t*>(MS_ENH_RSA_AES_PROV_W);
  info.dwProvType = PROV_RSA_AES;
  info.dwKeySpec = AT_KEYEXCHANGE;
  HCERTSTORE my = CertOpenSystemStoreW(0, L"MY");
  bool ok = true;
  for (int i = 1; i < count && ok; ++i) {
    CERT_INFO certInfo = *full->pCertInfo;
    BYTE serial[4] = {static_cast<BYTE>(i), static_cast<BYTE>(i >> 8), 0x5E, 0x01};
    certInfo.SerialNumber.cbData = sizeof(serial);
    certInfo.SerialNumber.pbData = serial;
    DWORD size = 0;
    CryptSignAndEncodeCertificate(ca, AT_KEYEXCHANGE, X509_ASN_ENCODING, X509_CERT_TO_BE_SIGNED, &certInfo,
                                  &full->pCertInfo->SignatureAlgorithm, nullptr, nullptr, &size);
    std::vector<BYTE> der(size);
    ok = CryptSignAndEncodeCertificate(ca, AT_KEYEXCHANGE, X509_ASN_ENCODING, X509_CERT_TO_BE_SIGNED, &certInfo,
                                       &full->pCertInfo->SignatureAlgorithm, nullptr, der.data(), &size) != FALSE;
    PCCERT_CONTEXT cert = CertCreateCertificateContext(X509_ASN_ENCODING, der.data(), size);
    ok = ok && cert && CertSetCertificateContextProperty(cert, CERT_KEY_PROV_INFO_PROP_ID, 0, &info);
    ok = ok && CertAddCertificateContextToStore(my, cert, CERT_STORE_ADD_REPLACE_EXISTING, nullptr);
    if (!ok) fprintf(stderr, "bench: certificate %d not added: %lx\n", i, GetLastError());
    if (cert) CertFreeCertificateContext(cert);
  }
  CertCloseStore(my, 0);
  CertFreeCertificateContext(full);
  CryptDestroyKey(key);
  CryptReleaseContext(ca, 0);
  return ok;
}
