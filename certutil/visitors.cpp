#include "certutil/visitors.h"

#include <shlwapi.h>

#include <string>

#include "certutil/cert_format.h"
#include "certutil/criteria.h"
#include "certutil/encoding.h"
#include "certutil/crypt_handles.h"
#include "certutil/heap.h"
#include "certutil/result_array.h"

using namespace norelCertInfoUtl;

bool CCertCallback::OnCertificate(PCCERT_CONTEXT) { return false; }

bool CCertCallbackList::IsMatch(PCCERT_CONTEXT) { return false; }

bool CCertCallbackList::OnCertificate(PCCERT_CONTEXT cert) {
  if (!IsMatch(cert)) return false;
  wchar_t* raw = nullptr;
  // A certificate the platform cannot encode is left out rather than
  // appended as an undefined text.
  if (nrlCertInfoToStringBase64(cert, &raw) != rc::kOk) return false;
  MallocPtr<wchar_t> text(raw);
  nrlAppendText(m_result, text.get());
  return false;
}

bool CCertCallbackEnum::IsMatch(PCCERT_CONTEXT cert) { return nrlCertIsValid(cert, m_criteria) == rc::kOk; }

bool CCertCallbackLookupAll::IsMatch(PCCERT_CONTEXT) { return true; }

bool CCertCallbackLookupHash::IsMatch(PCCERT_CONTEXT cert) {
  std::wstring thumbprint;
  nrlCertThumbprintToStr(cert, thumbprint);
  return m_search && StrStrIW(thumbprint.c_str(), m_search) != nullptr;
}

bool CCertCallbackLookupIssuer::IsMatch(PCCERT_CONTEXT cert) {
  MallocPtr<wchar_t> issuer;
  nrlCertNameToStr(&cert->pCertInfo->Issuer, OutParam(issuer));
  return issuer && m_search && StrStrIW(issuer.get(), m_search) != nullptr;
}
