// CertGetInfo: what a certificate says, item by item.
#include <string>

#include "certutil/cert_format.h"
#include "certutil/crypt_handles.h"
#include "certutil/encoding.h"
#include "certutil/heap.h"
#include "certutil/result_array.h"
#include "control/method_frame.h"
#include "control/tessarn_ctrl.h"
#include "engine/crypt.h"

using namespace norelCertInfoUtl;

namespace {

constexpr long kItemCount = 12;

// Appends a heap text made by a formatter, with the item's three log lines.
void AppendFormatted(framework::COleSafeArray& result, int item, const wchar_t* formatter,
                     ResultCode (*make)(PCCERT_CONTEXT, wchar_t**), PCCERT_CONTEXT cert) {
  theLog.Trace(L"CTessarnCtrl::CertGetInfo %d- %s", item, formatter);
  MallocPtr<wchar_t> text;
  make(cert, OutParam(text));
  theLog.Trace(L"CTessarnCtrl::CertGetInfo %d- nrlCOleSafeArrayAppend", item);
  nrlAppendText(result, text.get());
  theLog.Trace(L"CTessarnCtrl::CertGetInfo %d- freestr", item);
}

ResultCode SubjectName(PCCERT_CONTEXT c, wchar_t** t) { return nrlCertNameToStr(&c->pCertInfo->Subject, t); }
ResultCode IssuerName(PCCERT_CONTEXT c, wchar_t** t) { return nrlCertNameToStr(&c->pCertInfo->Issuer, t); }
ResultCode NotBefore(PCCERT_CONTEXT c, wchar_t** t) { return nrlFileTimeToStr(&c->pCertInfo->NotBefore, t); }
ResultCode NotAfter(PCCERT_CONTEXT c, wchar_t** t) { return nrlFileTimeToStr(&c->pCertInfo->NotAfter, t); }
ResultCode Policies(PCCERT_CONTEXT c, wchar_t** t) {
  *t = nullptr;
  nrlCertExtensionToStr(c, szOID_CERT_POLICIES, t);
  return rc::kOk;
}

void AppendAltName(framework::COleSafeArray& result, PCCERT_CONTEXT cert) {
  theLog.Trace(L"CTessarnCtrl::CertGetInfo 10- nrlCertGetAltNameInfo");
  MallocPtr<CERT_ALT_NAME_INFO> info;
  nrlCertGetAltNameInfo(cert, OutParam(info));
  theLog.Trace(L"CTessarnCtrl::CertGetInfo 10- nrlCOleSafeArrayAppend");
  if (!info || info->cAltEntry == 0) {
    nrlAppendText(result, nullptr);
    return;
  }
  const CERT_ALT_NAME_ENTRY& first = info->rgAltEntry[0];
  VARIANT value;
  VariantInit(&value);
  V_VT(&value) = VT_I4;
  V_I4(&value) = static_cast<LONG>(first.dwAltNameChoice);
  if (first.dwAltNameChoice == CERT_ALT_NAME_RFC822_NAME) {
    theLog.Trace(L"CTessarnCtrl::CertGetInfo 10- pwszRfc822Name");
    V_VT(&value) = VT_BSTR;
    V_BSTR(&value) = (first.pwszRfc822Name && *first.pwszRfc822Name) ? SysAllocString(first.pwszRfc822Name) : nullptr;
  } else if (first.dwAltNameChoice == CERT_ALT_NAME_OTHER_NAME) {
    theLog.Trace(L"CTessarnCtrl::CertGetInfo 10- nrlConvBinaryToString");
    wchar_t* hex = nullptr;
    if (first.pOtherName)
      nrlConvBinaryToString(first.pOtherName->Value.pbData, first.pOtherName->Value.cbData, kHex, &hex);
    MallocPtr<wchar_t> text(hex);
    theLog.Trace(L"CTessarnCtrl::CertGetInfo 10- to COleVariant");
    V_VT(&value) = VT_BSTR;
    V_BSTR(&value) = (text && *text) ? SysAllocString(text.get()) : nullptr;
    theLog.Trace(L"CTessarnCtrl::CertGetInfo 10- freestr");
  }
  theLog.Trace(L"CTessarnCtrl::CertGetInfo 10- nrlCOleSafeArrayAppend");
  nrlCOleSafeArrayAppend(result, &value);
}

void AppendItems(framework::COleSafeArray& result, PCCERT_CONTEXT cert, long attribute) {
  auto wanted = [attribute](long item) { return attribute == 0 || attribute == item; };
  if (wanted(1)) AppendFormatted(result, 1, L"nrlCertNameToStr", SubjectName, cert);
  if (wanted(2)) AppendFormatted(result, 2, L"nrlCertEmailToStr", nrlCertEmailToStr, cert);
  if (wanted(3)) AppendFormatted(result, 3, L"nrlCertNameToStr", nrlCertSubjectNameSimpleToStr, cert);
  if (wanted(4)) AppendFormatted(result, 4, L"nrlCertNameToStr", IssuerName, cert);
  if (wanted(5)) AppendFormatted(result, 5, L"nrlCertIssuerNameSimpleToStr", nrlCertIssuerNameSimpleToStr, cert);
  if (wanted(6)) {
    theLog.Trace(L"CTessarnCtrl::CertGetInfo 6- nrlCertSerialNumberToStr");
    std::wstring serial;
    nrlCertSerialNumberToStr(&cert->pCertInfo->SerialNumber, serial);
    theLog.Trace(L"CTessarnCtrl::CertGetInfo 6- nrlCOleSafeArrayAppend");
    nrlAppendText(result, serial.c_str());
  }
  if (wanted(7)) {
    theLog.Trace(L"CTessarnCtrl::CertGetInfo 7- nrlCertThumbprintToStr");
    std::wstring thumbprint;
    nrlCertThumbprintToStr(cert, thumbprint);
    theLog.Trace(L"CTessarnCtrl::CertGetInfo 7- nrlCOleSafeArrayAppend");
    nrlAppendText(result, thumbprint.c_str());
  }
  if (wanted(8)) AppendFormatted(result, 8, L"nrlFileTimeToStr", NotBefore, cert);
  if (wanted(9)) AppendFormatted(result, 9, L"nrlFileTimeToStr", NotAfter, cert);
  if (wanted(10)) AppendAltName(result, cert);
  if (wanted(11)) AppendFormatted(result, 11, L"nrlCertExtensionToStr", Policies, cert);
  if (wanted(12)) {
    theLog.Trace(L"CTessarnCtrl::CertGetInfo 12- nrlCOleSafeArrayAppend");
    MallocPtr<wchar_t> text;
    nrlCertKeyUsageToStr(cert, OutParam(text));
    theLog.Trace(L"CTessarnCtrl::CertGetInfo 12- nrlCertKeyUsageToStr");
    nrlAppendText(result, text.get());
    theLog.Trace(L"CTessarnCtrl::CertGetInfo 12- freestr");
  }
}

}  // namespace

void CTessarnCtrl::CertGetInfo(const wchar_t* certificate, long attribute, VARIANT* answer) {
  MethodFrame frame;
  theLog.Info(L"CTessarnCtrl::CertGetInfo [%s] [%d]", certificate, attribute);
  CCrypt crypt;
  ResultCode code = crypt.Init();
  theLog.Trace(L"CTessarnCtrl::CertGetInfo Allocating result variant");
  framework::COleSafeArray result;
  nrlCOleSafeArrayCreate(result, code);
  if (code == rc::kOk) {
    theLog.Trace(L"CTessarnCtrl::CertGetInfo nrlStringBase64ToCertContext");
    PCCERT_CONTEXT raw = nullptr;
    code = nrlStringBase64ToCertContext(certificate, &raw);
    ScopedCertContext cert(raw);
    theLog.Trace(L"CTessarnCtrl::CertGetInfo nrlStringBase64ToCertContext [%d]", code);
    if (code == rc::kOk) {
      if (attribute >= 0 && attribute <= kItemCount) AppendItems(result, cert.Get(), attribute);
      theLog.Trace(L"CTessarnCtrl::CertGetInfo CertFreeCertificateContext");
      cert.Reset();
    }
    crypt.Close();
  }
  theLog.Trace(L"CTessarnCtrl::CertGetInfo nrlCOleSafeArraySetRes");
  nrlCOleSafeArraySetRes(result, code);
  theLog.Trace(L"CTessarnCtrl::CertGetInfo - result stored (retCode=%d)\r\n", code);
  result.Detach(answer);
}
