// CertEnum, CertLookup, CertIsValid, CertHasPrivateKey, CertChainIsValid
// and CertDisplay: finding certificates and judging them.
#include <windows.h>

#include <cwchar>

#include "certutil/chain.h"
#include "certutil/criteria.h"
#include "certutil/crypt_handles.h"
#include "certutil/encoding.h"
#include "certutil/result_array.h"
#include "certutil/visitors.h"
#include "control/method_frame.h"
#include "control/tessarn_ctrl.h"
#include "engine/crypt.h"

using namespace norelCertInfoUtl;

namespace {

enum LookupKind : unsigned long { kLookupAll = 0, kLookupHash = 1, kLookupIssuer = 2, kLookupEvery = 3 };

// The judgement of a certificate's "MY" copy: CertIsValid and
// CertHasPrivateKey differ only in the judgement.
template <class Judge>
ResultCode JudgeStoreCopy(const wchar_t* certificate, Judge judge) {
  CCrypt crypt;
  ResultCode code = crypt.Init();
  if (code != rc::kOk) return code;
  ScopedCertContext decoded;
  code = nrlStringBase64ToCertContext(certificate, OutParam(decoded));
  if (code == rc::kOk) {
    ScopedCertContext copy;
    code = crypt.FindCertificateInStore(decoded.Get(), OutParam(copy));
    if (code == rc::kOk) {
      code = judge(copy.Get());
      crypt.ReleaseCertificate(copy.Detach());
    }
    crypt.ReleaseCertificate(decoded.Detach());
  }
  crypt.Close();
  return code;
}

// The platform's certificate viewer, modal until the user closes it.
// CryptUI is loaded only when a page shows a certificate: it is large, and
// every other method does without it. It is loaded by its full path in the
// system directory: a bare name is searched for in the host program's
// directory and the current directory first, where anyone may have put a
// file of that name.
void ShowCertificate(PCCERT_CONTEXT cert) {
  using ViewContext = BOOL(WINAPI*)(DWORD, const void*, HWND, LPCWSTR, DWORD, void*);
  wchar_t path[MAX_PATH + 16] = {};
  UINT length = GetSystemDirectoryW(path, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return;
  wcscat(path, L"\\cryptui.dll");
  ScopedModule cryptui(LoadLibraryW(path));
  if (!cryptui) return;
  auto view =
      reinterpret_cast<ViewContext>(reinterpret_cast<void*>(GetProcAddress(cryptui.Get(), "CryptUIDlgViewContext")));
  if (view) view(CERT_STORE_CERTIFICATE_CONTEXT, cert, nullptr, nullptr, 0, nullptr);
}

}  // namespace

void CTessarnCtrl::CertEnum(long certCriteria, VARIANT* answer) {
  MethodFrame frame;
  theLog.Info(L"CTessarnCtrl::CertEnum [%d]", certCriteria);
  CCrypt crypt;
  ResultCode code = crypt.Init();
  framework::COleSafeArray result;
  nrlCOleSafeArrayCreate(result, rc::kChainMultipleFaults);
  if (code != rc::kOk) {
    theLog.Error(L"CryptInit failed! (rv=%d)", code);
  } else {
    CCertCallbackEnum visitor(result, certCriteria);
    code = crypt.EnumCertificates(visitor, L"MY", false);
    crypt.Close();
  }
  nrlCOleSafeArraySetRes(result, code);
  theLog.Trace(L"CTessarnCtrl::CertEnum - result stored (retCode=%d)\r\n", code);
  result.Detach(answer);
}

void CTessarnCtrl::CertLookup(const wchar_t* storeName, long flag, const wchar_t* value, VARIANT* answer) {
  MethodFrame frame;
  theLog.Info(L"CTessarnCtrl::CertLookup [%s] [%d] [%s]", storeName, flag, value);
  CCrypt crypt;
  ResultCode code = crypt.Init();
  framework::COleSafeArray result;
  nrlCOleSafeArrayCreate(result, code);
  if (code != rc::kOk) {
    theLog.Error(L"CryptInit failed! (rv=%d)", code);
  } else {
    switch (static_cast<unsigned long>(flag)) {
      case kLookupAll:
      case kLookupEvery: {
        CCertCallbackLookupAll visitor(result);
        code = crypt.EnumCertificates(visitor, storeName, flag == kLookupEvery);
        break;
      }
      case kLookupHash: {
        CCertCallbackLookupHash visitor(result, value);
        code = crypt.EnumCertificates(visitor, storeName, false);
        break;
      }
      case kLookupIssuer: {
        CCertCallbackLookupIssuer visitor(result, value);
        code = crypt.EnumCertificates(visitor, storeName, false);
        break;
      }
      default:
        code = rc::kBadLookupKind;
    }
    crypt.Close();
  }
  nrlCOleSafeArraySetRes(result, code);
  theLog.Trace(L"CTessarnCtrl::CertLookup - result stored (retCode=%d)\r\n", code);
  result.Detach(answer);
}

long CTessarnCtrl::CertIsValid(const wchar_t* certificate, long certCriteria) {
  MethodFrame frame;
  theLog.Info(L"CTessarnCtrl::CertIsValid [%s] [%d]", certificate, certCriteria);
  ResultCode code =
      JudgeStoreCopy(certificate, [certCriteria](PCCERT_CONTEXT copy) { return nrlCertIsValid(copy, certCriteria); });
  theLog.Trace(L"CTessarnCtrl::CertIsValid - result=%d\r\n", code);
  return code;
}

long CTessarnCtrl::CertHasPrivateKey(const wchar_t* certificate) {
  MethodFrame frame;
  theLog.Info(L"CTessarnCtrl::CertHasPrivateKey [%s]", certificate);
  ResultCode code = JudgeStoreCopy(certificate, [](PCCERT_CONTEXT copy) { return nrlCertHasPrivateKey(copy); });
  theLog.Trace(L"CTessarnCtrl::CertHasPrivateKey - result=%d\r\n", code);
  return code;
}

long CTessarnCtrl::CertChainIsValid(const wchar_t* certificate) {
  MethodFrame frame;
  theLog.Info(L"CTessarnCtrl::CertChainIsValid [%s]", certificate);
  CCrypt crypt;
  ResultCode code = crypt.Init();
  if (code == rc::kOk) {
    ScopedCertContext decoded;
    code = nrlStringBase64ToCertContext(certificate, OutParam(decoded));
    if (code == rc::kOk) code = nrlCertChainIsValid(decoded.Get());
    decoded.Reset();
    crypt.Close();
  }
  theLog.Trace(L"CTessarnCtrl::CertChainIsValid - result=%d\r\n", code);
  return code;
}

long CTessarnCtrl::CertDisplay(const wchar_t* certificate) {
  MethodFrame frame;
  theLog.Info(L"CTessarnCtrl::CertDisplay [%s]", certificate);
  ScopedCertContext decoded;
  ResultCode code = nrlStringBase64ToCertContext(certificate, OutParam(decoded));
  if (code == rc::kOk) ShowCertificate(decoded.Get());
  return code;
}
