// RawSignCheck, RawSign, SignRaw and SignPKCS7: signatures with the private
// key of a personal certificate.
#include <vector>

#include "certutil/crypt_handles.h"
#include "certutil/encoding.h"
#include "certutil/heap.h"
#include "certutil/result_array.h"
#include "control/method_frame.h"
#include "control/result_codes.h"
#include "control/tessarn_ctrl.h"
#include "engine/crypt.h"
#include "framework/ole_exception.h"

using namespace norelCertInfoUtl;

namespace {

// The engine folds algorithm names to upper case in place; it works on the
// method's own copy of the caller's text.
class MutableText {
 public:
  explicit MutableText(const wchar_t* text) {
    if (text) m_chars.assign(text, text + wcslen(text) + 1);
  }
  wchar_t* Get() { return m_chars.empty() ? nullptr : m_chars.data(); }

 private:
  std::vector<wchar_t> m_chars;
};

// Finds the certificate by serial number and thumbprint and checks that its
// key may sign and its chain is trusted; *cert holds what was found.
ResultCode FindVerified(CCrypt& crypt, const wchar_t* serial, const wchar_t* thumbprint, wchar_t* algorithm,
                        ScopedCertContext& cert) {
  ResultCode code = crypt.FindCertificate(serial, thumbprint, algorithm, OutParam(cert));
  if (code == rc::kOk) code = crypt.VerifyCertificate(cert.Get());
  return code;
}

// SignRaw and SignPKCS7: sign with the "MY" copy of a certificate given as
// base64. `sign` makes the signature text.
template <class Sign>
void SignWithGivenCertificate(const wchar_t* certificate, const wchar_t* resultLine, Sign sign, VARIANT* answer) {
  CCrypt crypt;
  ResultCode code = crypt.Init();
  framework::COleSafeArray result;
  nrlCOleSafeArrayCreate(result, code);
  if (code == rc::kOk) {
    // Scoped, so that an exception of the answer array releases them too.
    ScopedCertContext decoded;
    code = nrlStringBase64ToCertContext(certificate, OutParam(decoded));
    if (code == rc::kOk) {
      ScopedCertContext copy;
      code = crypt.FindCertificateInStore(decoded.Get(), OutParam(copy));
      if (code == rc::kOk) {
        MallocPtr<wchar_t> signature;
        code = sign(crypt, copy.Get(), OutParam(signature));
        crypt.ReleaseCertificate(copy.Detach());
        nrlAppendText(result, signature.get());
      }
      crypt.ReleaseCertificate(decoded.Detach());
    }
    crypt.Close();
  }
  nrlCOleSafeArraySetRes(result, code);
  theLog.Trace(resultLine, code);
  result.Detach(answer);
}

}  // namespace

long CTessarnCtrl::RawSignCheck(const wchar_t* certSerialNumber, const wchar_t* certThumbprint,
                                const wchar_t* certThumbprintAlg) {
  MethodFrame frame;
  theLog.Info(L"CTessarnCtrl::RawSignCheck [%s][%s][%s]", certSerialNumber, certThumbprint, certThumbprintAlg);
  MutableText algorithm(certThumbprintAlg);
  CCrypt crypt;
  ResultCode code = crypt.Init();
  if (code != rc::kOk) {
    theLog.Error(L"CryptInit failed! (rv=%d)", code);
  } else {
    ScopedCertContext cert;
    code = FindVerified(crypt, certSerialNumber, certThumbprint, algorithm.Get(), cert);
    crypt.ReleaseCertificate(cert.Detach());
    crypt.Close();
  }
  theLog.Trace(L"CTessarnCtrl::RawSignCheck finished (retCode=%d)\r\n", code);
  return code;
}

void CTessarnCtrl::RawSign(const wchar_t* hashToSign, const wchar_t* certSerialNumber, const wchar_t* certThumbprint,
                           const wchar_t* certThumbprintAlg, VARIANT* answer) {
  MethodFrame frame;
  theLog.Info(L"CTessarnCtrl::RawSign [%s][%s][%s][%s]", hashToSign, certSerialNumber, certThumbprint,
              certThumbprintAlg);
  MutableText algorithm(certThumbprintAlg);
  MallocPtr<wchar_t> signature;
  theLog.Trace(L"CTessarnCtrl::RawSign - initializing");
  CCrypt crypt;
  ResultCode code = crypt.Init();
  if (code == rc::kOk) {
    theLog.Trace(L"CTessarnCtrl::RawSign - finding certificate");
    ScopedCertContext cert;
    code = FindVerified(crypt, certSerialNumber, certThumbprint, algorithm.Get(), cert);
    if (code == rc::kOk) {
      theLog.Trace(L"CTessarnCtrl::RawSign - signing hash");
      code = crypt.SignRaw(hashToSign, algorithm.Get(), cert.Get(), OutParam(signature));
    }
    theLog.Trace(L"CTessarnCtrl::RawSign - releasing resources");
    crypt.ReleaseCertificate(cert.Detach());
    crypt.Close();
  }
  theLog.Trace(L"CTessarnCtrl::RawSign - finished (retCode=%d)", code);
  theLog.Trace(L"CTessarnCtrl::RawSign - storing result");
  framework::COleSafeArray result;
  nrlCOleSafeArrayCreate(result, code);
  if (code == rc::kOk) {
    nrlAppendText(result, signature.get());
  } else {
    // A code without a text of its own (42, a chain with several faults)
    // answers an empty text.
    wchar_t text[kResultTextChars];
    LoadResultText(code, text);
    theLog.Trace(L"CTessarnCtrl::RawSign - errtext=%s.", text);
    nrlAppendText(result, text);
  }
  signature.reset();
  theLog.Trace(L"CTessarnCtrl::RawSign - result stored (retCode=%d)\r\n", code);
  result.Detach(answer);
}

void CTessarnCtrl::SignRaw(const wchar_t* certificate, const wchar_t* hashToSign, const wchar_t* digest,
                           VARIANT* answer) {
  MethodFrame frame;
  theLog.Info(L"CTessarnCtrl::SignRaw [%s] [%s] [%s]", certificate, hashToSign, digest);
  MutableText algorithm(digest);
  SignWithGivenCertificate(
      certificate, L"CTessarnCtrl::SignRaw - result=%d\r\n",
      [&](CCrypt& crypt, PCCERT_CONTEXT cert, wchar_t** signature) {
        theLog.Trace(L"CTessarnCtrl::SignRaw - signing hash");
        return crypt.SignRaw(hashToSign, algorithm.Get(), cert, signature);
      },
      answer);
}

void CTessarnCtrl::SignPKCS7(const wchar_t* certificate, const wchar_t* data, const wchar_t* digest,
                             VARIANT* answer) {
  MethodFrame frame;
  theLog.Info(L"CTessarnCtrl::SignPKCS7 [%s] [%s] [%s]", certificate, data, digest);
  MutableText algorithm(digest);
  SignWithGivenCertificate(
      certificate, L"CTessarnCtrl::SignPKCS7 - result=%d\r\n",
      [&](CCrypt& crypt, PCCERT_CONTEXT cert, wchar_t** message) {
        theLog.Trace(L"CTessarnCtrl::SignPKCS7 - signing data");
        return crypt.SignPKCS7(data, algorithm.Get(), cert, message);
      },
      answer);
}
