// The checks a certificate must pass before the raw signing methods use it.
// Several log lines are in Czech, as support staff know them.
#include "certutil/chain.h"
#include "certutil/crypt_common.h"
#include "certutil/crypt_handles.h"
#include "certutil/ksp_key.h"
#include "diag/log.h"

namespace {
// A key of a key storage provider is only opened, without any dialog, and
// freed at once: CryptoAPI's two tests cannot see such keys.
bool KspKeyReachable(const KspKeyLink& link, const wchar_t* prefix) {
  theLog.Info(L"%sVALIDATE_PRIVATEKEY, NCryptOpenKey [%s][%s]", prefix, link.provider.c_str(), link.key.c_str());
  KspKey key;
  const wchar_t* step = L"";
  SECURITY_STATUS status = key.Open(link, true, &step);
  if (status != ERROR_SUCCESS) {
    if (status == NTE_SILENT_CONTEXT)
      theLog.Warning(L"%sVALIDATE_PRIVATEKEY failed, NTE_SILENT_CONTEXT nebyl pozadovan - nicmene je to chyba!", prefix);
    theLog.Error(L"%sVALIDATE_PRIVATEKEY %s chyba [%lx], rv=%d.", prefix, step, static_cast<unsigned long>(status), 0);
    return false;
  }
  status = key.Close();
  if (status != ERROR_SUCCESS)
    theLog.Warning(L"%sVALIDATE_PRIVATEKEY, NCryptFreeObject chyba [%lx]", prefix, static_cast<unsigned long>(status));
  return true;
}
}  // namespace

bool CCryptCommon::ValidateCertificatePrivateKey(PCCERT_CONTEXT cert) const {
  const wchar_t kPrefix[] = L"CCryptCommon::ValidateCertificatePrivateKey - ";
  bool valid = false;
  if (!cert) {
    theLog.Error(L"CCryptCommon::ValidateCertifiatePrivateKey - certcontext NULL!");
  } else {
    theLog.Trace(L"%stestuje se VALIDATE_PRIVATEKEY.", kPrefix);
    KspKeyLink kspLink;
    bool inKsp = ReadKspKeyLink(cert, &kspLink);
    bool keyFound = false;
    if (inKsp) {
      keyFound = KspKeyReachable(kspLink, kPrefix);
    } else {
      theLog.Info(L"%sVALIDATE_PRIVATEKEY, CryptAcquireCertificatePrivateKey:", kPrefix);
      theLog.Info(L"%sVALIDATE_PRIVATEKEY, CryptFindCertificateKeyProvInfo - test 1", kPrefix);
      // Both tests only look for the key: neither may show a provider's
      // dialog (a card reader's "insert your card", a PIN prompt).
      keyFound = CryptFindCertificateKeyProvInfo(cert, CRYPT_FIND_USER_KEYSET_FLAG | CRYPT_FIND_SILENT_KEYSET_FLAG,
                                                 nullptr) != FALSE;
    }
    if (!keyFound && !inKsp) {
      theLog.Warning(L"%sVALIDATE_PRIVATEKEY chyba [%lx], bude test 2", kPrefix, GetLastError());
      theLog.Info(L"%sVALIDATE_PRIVATEKEY, CryptAcquireCertificatePrivateKey - test 2", kPrefix);
      HCRYPTPROV_OR_NCRYPT_KEY_HANDLE provider = 0;
      DWORD keySpec = 0;
      BOOL callerFrees = FALSE;
      if (CryptAcquireCertificatePrivateKey(cert, CRYPT_ACQUIRE_USE_PROV_INFO_FLAG | CRYPT_ACQUIRE_SILENT_FLAG, nullptr,
                                            &provider, &keySpec, &callerFrees)) {
        keyFound = true;
        // Only looked for: released at once when it is ours to release.
        ScopedCryptProv acquired(callerFrees ? provider : 0);
      } else {
        DWORD error = GetLastError();
        if (error == static_cast<DWORD>(NTE_SILENT_CONTEXT))
          theLog.Warning(L"%sVALIDATE_PRIVATEKEY failed, NTE_SILENT_CONTEXT nebyl pozadovan - nicmene je to chyba!",
                         kPrefix);
        theLog.Error(L"%sVALIDATE_PRIVATEKEY chyba [%lx], rv=%d.", kPrefix, error, 0);
      }
    }
    if (keyFound) {
      theLog.Trace(L"%stestuje se VALIDATE_INTENDPROP.", kPrefix);
      BYTE usage[2] = {0, 0};
      if (!CertGetIntendedKeyUsage(X509_ASN_ENCODING | PKCS_7_ASN_ENCODING, cert->pCertInfo, usage, sizeof(usage))) {
        theLog.Error(L"%sNot found, cert has not (CERT_DIGITAL_SIGNATURE_KEY_USAGE or CERT_NON_REPUDIATION_KEY_USAGE) "
                     L"set [%lx], rv=%d.",
                     kPrefix, GetLastError(), 0);
      } else if (!(usage[0] & (CERT_DIGITAL_SIGNATURE_KEY_USAGE | CERT_NON_REPUDIATION_KEY_USAGE))) {
        theLog.Error(L"%sVALIDATE_INTENDPROP, chyba CertGetIntededKeyUsage, rv=%d.", kPrefix, 0);
      } else {
        theLog.Info(L"%sVALIDATE_INTENDPROP OK, rv=%d.", kPrefix, 1);
        theLog.Trace(L"%sValid private key found OK", kPrefix);
        valid = true;
      }
    }
  }
  if (!valid) theLog.Error(L"%sPrivate key not valid or not found!", kPrefix);
  return valid;
}

ResultCode CCryptCommon::VerifyCertificate(PCCERT_CONTEXT cert) const {
  theLog.Trace(L"CCryptCommon:VerifyCertificate start");
  theLog.Trace(L"CCryptCommon::VerifyCertificatePrivateKey");
  if (!ValidateCertificatePrivateKey(cert)) {
    theLog.Error(L"Nelze proverit privatni klic certifikatu!");
    return rc::kKeyNotUsable;
  }
  ResultCode code = norelCertInfoUtl::nrlCertChainIsValid(cert);
  theLog.Trace(L"CCryptCommon:VerifyCertificate finished (%d)", code);
  return code;
}
