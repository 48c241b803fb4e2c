#include "certutil/criteria.h"

#include <shlwapi.h>

#include "certutil/cert_format.h"
#include "certutil/chain.h"
#include "certutil/crypt_handles.h"
#include "certutil/heap.h"
#include "diag/log.h"

namespace norelCertInfoUtl {
namespace {

const wchar_t kEkuMarker[] = L"1.2.203.6947.2.3.1.1.1";
const wchar_t kAltNameMarkerVariant[] = L"1.3.3.6.1.4.1.11801.2.1";
const wchar_t kAltNameMarker[] = L"1.3.6.1.4.1.11801.2.1";

// Whether the extension's rendered text contains one of the markers.
bool ExtensionCarries(PCCERT_CONTEXT cert, const char* oid, const wchar_t* first, const wchar_t* second) {
  MallocPtr<wchar_t> text;
  if (!nrlCertExtensionToStr(cert, oid, OutParam(text))) return false;
  if (StrStrIW(text.get(), first)) return true;
  return second && StrStrIW(text.get(), second);
}

}  // namespace

ResultCode nrlCertHasPrivateKey(PCCERT_CONTEXT cert) {
  DWORD size = 0;
  if (CertGetCertificateContextProperty(cert, CERT_KEY_PROV_INFO_PROP_ID, nullptr, &size)) return rc::kOk;
  DWORD error = GetLastError();
  if (error == ERROR_MORE_DATA) return rc::kOk;
  if (error == static_cast<DWORD>(CRYPT_E_NOT_FOUND)) return rc::kCertNotFound;
  return rc::kThumbprintNotRead;
}

ResultCode nrlCertIsValid(PCCERT_CONTEXT cert, long criteria) {
  if (!(criteria & CRITERIA_NO_VALIDATION)) {
    if (CertVerifyTimeValidity(nullptr, cert->pCertInfo) != 0) return rc::kNotTimeValid;
    ResultCode code = nrlCertHasPrivateKey(cert);
    if (code != rc::kOk) return code;
    code = nrlCertChainIsValid(cert);
    if (code != rc::kOk) return code;
  }
  // With every selection bit set a certificate passes whichever markers it
  // carries, so the extension texts decide nothing: they are rendered only
  // for the trace lines the rendering writes, when the log would write them.
  const long everySelection = CRITERIA_ALTNAME_OID | CRITERIA_EKU_OID | CRITERIA_NEITHER_OID;
  if ((criteria & everySelection) == everySelection && !theLog.Writes(L'T')) return rc::kOk;
  bool eku = ExtensionCarries(cert, szOID_ENHANCED_KEY_USAGE, kEkuMarker, nullptr);
  if (eku && (criteria & CRITERIA_EKU_OID)) return rc::kOk;
  bool altName = ExtensionCarries(cert, szOID_SUBJECT_ALT_NAME2, kAltNameMarkerVariant, kAltNameMarker);
  if (altName && (criteria & CRITERIA_ALTNAME_OID)) return rc::kOk;
  if ((criteria & CRITERIA_NEITHER_OID) && !eku && !altName) return rc::kOk;
  return rc::kCriteriaNotMet;
}

}  // namespace norelCertInfoUtl
