// Which platform calls keep handles: each call that the soak's methods make,
// alone, in a loop, with nothing of the control in the process. For each,
// the handles the process holds after the loop against before it (after a
// warm-up), per 1,000 calls, and the time of one call.
//
//   handle_probe [--calls N]
//
// Prints one line per call:
//   probe|CALL|HANDLES_PER_1000_CALLS|MICROSECONDS_PER_CALL
// Each probe's body is the call and what releases what it made; whatever
// the loop keeps, the platform kept. A call that fails ends the run.
#include <windows.h>
#include <wincrypt.h>
#include <winscard.h>

#include <cstddef>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "tests/bench/bare_jobs.h"
#include "tests/bench/process_counters.h"
#include "tests/certutil/pki.h"
#include "tests/host/pki_stores.h"

namespace {

const DWORD kEncoding = X509_ASN_ENCODING | PKCS_7_ASN_ENCODING;
int g_calls = 100;

double Now() {
  LARGE_INTEGER f, t;
  QueryPerformanceFrequency(&f);
  QueryPerformanceCounter(&t);
  return static_cast<double>(t.QuadPart) * 1e6 / static_cast<double>(f.QuadPart);
}

// Handle values are given out from the lowest free one, and this process
// holds a few thousand at most: the values below 65,536 hold them all. A run
// of a few calls (the suite's smoke test) only shows that the probe works:
// it counts the first values alone.
unsigned long Handles() { return bench::CountHandles(g_calls < 50 ? (1u << 12) : (1u << 16)); }

void Probe(const char* name, const std::function<bool()>& call) {
  for (int i = 0; i < (g_calls < 50 ? 1 : 10); ++i) {
    if (!call()) {
      fprintf(stderr, "handle_probe: %s failed (%lx)\n", name, GetLastError());
      ExitProcess(3);
    }
  }
  unsigned long before = Handles();
  double start = Now();
  for (int i = 0; i < g_calls; ++i) call();
  double perCall = (Now() - start) / g_calls;
  long kept = static_cast<long>(Handles()) - static_cast<long>(before);
  printf("probe|%s|%ld|%.1f\n", name, kept * 1000 / g_calls, perCall);
  fflush(stdout);
}

// One rendering as the criteria and the certificate fields make it: the
// size, then the text, with room for a terminator beyond the size, as the
// control makes it. Wine answers the size of this certificate's alternative
// name and then fails to render it into that room (ERROR_MORE_DATA), which
// the control meets by rendering the DER itself: the calls are made all the
// same, so only a missing extension counts as a failure here.
bool Format(PCCERT_CONTEXT cert, const char* oid) {
  PCERT_EXTENSION ext = CertFindExtension(oid, cert->pCertInfo->cExtension, cert->pCertInfo->rgExtension);
  DWORD size = 0;
  if (!ext) return false;
  if (CryptFormatObject(kEncoding, 0, 0, nullptr, oid, ext->Value.pbData, ext->Value.cbData, nullptr, &size)) {
    std::vector<BYTE> text(size + sizeof(wchar_t));
    CryptFormatObject(kEncoding, 0, 0, nullptr, oid, ext->Value.pbData, ext->Value.cbData, text.data(), &size);
  }
  return true;
}

// The certificate's key acquired as the signing methods acquire it, `use`
// run with it, and the key released when the platform says the caller must.
bool WithKey(PCCERT_CONTEXT cert, const std::function<bool(HCRYPTPROV, DWORD)>& use = {}) {
  HCRYPTPROV_OR_NCRYPT_KEY_HANDLE p = 0;
  DWORD spec = 0;
  BOOL free = FALSE;
  if (!CryptAcquireCertificatePrivateKey(cert, CRYPT_ACQUIRE_USE_PROV_INFO_FLAG, nullptr, &p, &spec, &free))
    return false;
  bool ok = !use || use(p, spec);
  return (!free || CryptReleaseContext(p, 0)) && ok;
}

// A hash value signed with a key, as RawSign signs: the size, then the
// signature.
bool SignHash(HCRYPTPROV key, DWORD spec, ALG_ID algorithm) {
  HCRYPTHASH h = 0;
  BYTE hash[64] = {0x11};
  DWORD size = 0;
  bool ok = CryptCreateHash(key, algorithm, 0, 0, &h) && CryptSetHashParam(h, HP_HASHVAL, hash, 0) &&
            CryptSignHashW(h, spec, nullptr, 0, nullptr, &size);
  std::vector<BYTE> signature(size);
  ok = ok && CryptSignHashW(h, spec, nullptr, 0, signature.data(), &size);
  return (!h || CryptDestroyHash(h)) && ok;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  for (int i = 1; i + 1 < argc; ++i)
    if (wcscmp(argv[i], L"--calls") == 0) g_calls = _wtoi(argv[++i]);
  if (g_calls < 1) g_calls = 1;
  if (!AddCertificate(L"Root", L"root") || !AddCertificate(L"CA", L"ca") || !ImportWithKey(L"full")) {
    fprintf(stderr, "handle_probe: cannot fill the stores\n");
    return 2;
  }
  const std::string thumb = PkiText(L"full.sha1");
  HCERTSTORE my = CertOpenSystemStoreW(0, L"MY");
  PCCERT_CONTEXT cert = bare::FindByThumbprint(my, thumb);  // the store's copy, bound to its key
  PCCERT_CONTEXT given = PkiCert(L"full");                   // decoded from the text a page passes
  if (!cert || !given) {
    fprintf(stderr, "handle_probe: no certificate\n");
    return 2;
  }
  std::vector<BYTE> der(given->pbCertEncoded, given->pbCertEncoded + given->cbCertEncoded);

  // The engine's start, as every engine method makes it; the engine
  // creates the user's default container when it is missing.
  HCRYPTPROV container = 0;
  if (CryptAcquireContextW(&container, nullptr, MS_ENH_RSA_AES_PROV_W, PROV_RSA_AES, CRYPT_NEWKEYSET))
    CryptReleaseContext(container, 0);
  Probe("CryptAcquireContext (default container) + CryptReleaseContext", [] {
    HCRYPTPROV p = 0;
    return CryptAcquireContextW(&p, nullptr, MS_ENH_RSA_AES_PROV_W, PROV_RSA_AES, 0) && CryptReleaseContext(p, 0);
  });
  Probe("SCardEstablishContext + SCardReleaseContext", [] {
    SCARDCONTEXT c = 0;
    if (SCardEstablishContext(SCARD_SCOPE_USER, nullptr, nullptr, &c) != SCARD_S_SUCCESS) return true;  // no service
    return SCardReleaseContext(c) == SCARD_S_SUCCESS;
  });
  // Finding a certificate.
  Probe("the engine's start: CryptAcquireContext, SCardEstablishContext, SCardListReaders, releases", [] {
    bare::EngineStart();
    return true;
  });
  Probe("CertOpenSystemStore(MY) + CertCloseStore", [] {
    HCERTSTORE s = CertOpenSystemStoreW(0, L"MY");
    return s && CertCloseStore(s, 0);
  });
  Probe("CertFindCertificateInStore (thumbprint) + CertFreeCertificateContext", [&] {
    PCCERT_CONTEXT c = bare::FindByThumbprint(my, thumb);
    return c && CertFreeCertificateContext(c);
  });
  Probe("CertFindCertificateInStore (subject certificate) + CertFreeCertificateContext", [&] {
    PCCERT_CONTEXT c = CertFindCertificateInStore(my, kEncoding, 0, CERT_FIND_SUBJECT_CERT, given->pCertInfo, nullptr);
    return c && CertFreeCertificateContext(c);
  });
  Probe("CertCreateCertificateContext + CertFreeCertificateContext", [&] {
    PCCERT_CONTEXT c = CertCreateCertificateContext(kEncoding, der.data(), static_cast<DWORD>(der.size()));
    return c && CertFreeCertificateContext(c);
  });
  // The key checks before raw signing, and the signing key.
  Probe("CryptFindCertificateKeyProvInfo", [&] {
    CryptFindCertificateKeyProvInfo(cert, CRYPT_FIND_USER_KEYSET_FLAG, nullptr);  // answer as the platform has it
    return true;
  });
  Probe("CryptAcquireCertificatePrivateKey + CryptReleaseContext", [&] { return WithKey(cert); });
  // The methods find a new context in the store at every call, and the
  // platform keeps what it learns about a key with the context: the same
  // key calls, each on a context found afresh and freed after it.
  Probe("CryptFindCertificateKeyProvInfo, on a context found afresh", [&] {
    PCCERT_CONTEXT fresh = bare::FindByThumbprint(my, thumb);
    if (!fresh) return false;
    CryptFindCertificateKeyProvInfo(fresh, CRYPT_FIND_USER_KEYSET_FLAG, nullptr);
    return CertFreeCertificateContext(fresh) != FALSE;
  });
  Probe("CryptAcquireCertificatePrivateKey + CryptReleaseContext, on a context found afresh", [&] {
    PCCERT_CONTEXT fresh = bare::FindByThumbprint(my, thumb);
    if (!fresh) return false;
    bool ok = WithKey(fresh);
    return CertFreeCertificateContext(fresh) && ok;
  });
  Probe("CryptFindCertificateKeyProvInfo, in a store opened afresh", [&] {
    HCERTSTORE store = CertOpenSystemStoreW(0, L"MY");
    PCCERT_CONTEXT fresh = store ? bare::FindByThumbprint(store, thumb) : nullptr;
    if (fresh) CryptFindCertificateKeyProvInfo(fresh, CRYPT_FIND_USER_KEYSET_FLAG, nullptr);
    bool ok = fresh && CertFreeCertificateContext(fresh);
    return store && CertCloseStore(store, 0) && ok;
  });
  Probe("CryptAcquireCertificatePrivateKey, then a SHA-256 hash signed with the key, releases",
        [&] { return WithKey(cert, [](HCRYPTPROV key, DWORD spec) { return SignHash(key, spec, CALG_SHA_256); }); });
  Probe("CryptFindCertificateKeyProvInfo, then CryptAcquireCertificatePrivateKey + CryptReleaseContext", [&] {
    CryptFindCertificateKeyProvInfo(cert, CRYPT_FIND_USER_KEYSET_FLAG, nullptr);
    return WithKey(cert);
  });
  // The whole raw signing job as its baseline makes it, for the sum.
  Probe("RawSign's bare job (SHA-256)", [&] {
    return bare::RawSign(thumb, CALG_SHA_256, std::vector<BYTE>(32, 0x22));
  });
  HCRYPTPROV_OR_NCRYPT_KEY_HANDLE key = 0;
  DWORD keySpec = 0;
  BOOL keyFree = FALSE;
  CryptAcquireCertificatePrivateKey(cert, CRYPT_ACQUIRE_USE_PROV_INFO_FLAG, nullptr, &key, &keySpec, &keyFree);
  Probe("CryptCreateHash + CryptSetHashParam + CryptSignHash (twice) + CryptDestroyHash",
        [&] { return SignHash(key, keySpec, CALG_SHA1); });
  Probe("CryptSetProvParam (the three PINs reset)", [&] {
    for (DWORD param : {PP_SIGNATURE_PIN, PP_KEYEXCHANGE_PIN, PP_ADMIN_PIN}) CryptSetProvParam(key, param, nullptr, 0);
    return true;
  });
  if (keyFree) CryptReleaseContext(key, 0);
  // Chain validation.
  Probe("CertGetNameString (simple display name)", [&] {
    wchar_t name[256];
    return CertGetNameStringW(cert, CERT_NAME_SIMPLE_DISPLAY_TYPE, 0, nullptr, name, 256) != 0;
  });
  Probe("CertGetCertificateChain (default engine) + CertFreeCertificateChain", [&] { return bare::ChainIsTrusted(cert); });
  Probe("CertCreateCertificateChainEngine + CertFreeCertificateChainEngine", [] {
    bare::ChainEngine();
    return true;
  });
  // The criteria and the certificate's fields.
  Probe("CertVerifyTimeValidity + CertGetCertificateContextProperty (key provider)", [&] {
    DWORD size = 0;
    return CertVerifyTimeValidity(nullptr, cert->pCertInfo) == 0 &&
           CertGetCertificateContextProperty(cert, CERT_KEY_PROV_INFO_PROP_ID, nullptr, &size);
  });
  Probe("CryptFormatObject (enhanced key usage)", [&] { return Format(cert, szOID_ENHANCED_KEY_USAGE); });
  Probe("CryptFormatObject (subject alternative name)", [&] { return Format(cert, szOID_SUBJECT_ALT_NAME2); });
  Probe("CryptFormatObject (certificate policies)", [&] { return Format(cert, szOID_CERT_POLICIES); });
  Probe("CertNameToStr (subject and issuer)", [&] {
    wchar_t text[1024];
    return CertNameToStrW(X509_ASN_ENCODING, &cert->pCertInfo->Subject, CERT_X500_NAME_STR, text, 1024) &&
           CertNameToStrW(X509_ASN_ENCODING, &cert->pCertInfo->Issuer, CERT_X500_NAME_STR, text, 1024);
  });
  Probe("CertGetNameString (e-mail, friendly names)", [&] {
    wchar_t text[1024];
    CertGetNameStringW(cert, CERT_NAME_EMAIL_TYPE, 0, nullptr, text, 1024);
    CertGetNameStringW(cert, CERT_NAME_FRIENDLY_DISPLAY_TYPE, 0, nullptr, text, 1024);
    CertGetNameStringW(cert, CERT_NAME_FRIENDLY_DISPLAY_TYPE, CERT_NAME_ISSUER_FLAG, nullptr, text, 1024);
    return true;
  });
  Probe("CryptBinaryToString (base64 of the certificate)",
        [&] { return !bare::Base64(cert->pbCertEncoded, cert->cbCertEncoded).empty(); });
  // The signed message.
  std::vector<BYTE> payload(1024, 0x41);
  Probe("CryptSignMessage (1 KB, the size then the message)", [&] {
    std::vector<BYTE> message;
    return bare::SignAttached(cert, payload, &message);
  });
  Probe("CryptSignMessage (1 KB, the size then the message), on a context found afresh", [&] {
    PCCERT_CONTEXT fresh = bare::FindByThumbprint(my, thumb);
    if (!fresh) return false;
    std::vector<BYTE> message;
    bool ok = bare::SignAttached(fresh, payload, &message);
    return CertFreeCertificateContext(fresh) && ok;
  });

  CertFreeCertificateContext(given);
  CertFreeCertificateContext(cert);
  CertCloseStore(my, 0);
  return 0;
}
