#include "engine/crypt.h"

#include "diag/log.h"

ResultCode CCrypt::CheckOSVersion() {
  OSVERSIONINFOW info = {};
  info.dwOSVersionInfoSize = sizeof(info);
  GetVersionExW(&info);
  if (info.dwMajorVersion >= 5) return rc::kOk;
  theLog.Error(L"System version %d.%d is not supported", static_cast<int>(info.dwMajorVersion),
               static_cast<int>(info.dwMinorVersion));
  return rc::kUnsupportedOs;
}

ResultCode CCrypt::Init() {
  theLog.Trace(L"CCrypt::Init start");
  ResultCode code = CheckOSVersion();
  if (code != rc::kOk) {
    theLog.Error(L"CCrypt::Init - error - OS invalid!");
    return code;
  }
  code = m_system.Init();
  if (code != rc::kOk) {
    theLog.Error(L"CCrypt::Init - error - cannot connect system certificate storee!");
    return code;
  }
  if (m_smartCard.Init() != rc::kOk) {
    theLog.Warning(L"CCrypt::Init - card reader not found. Ignoring.");
    return rc::kOk;
  }
  theLog.Trace(L"CCrypt::Init finished");
  return rc::kOk;
}

ResultCode CCrypt::Close() {
  theLog.Trace(L"CCrypt::Close start");
  m_smartCard.Close();
  m_system.Close();
  theLog.Trace(L"CCrypt::Close finished");
  return rc::kOk;
}

void CCrypt::ReleaseCertificate(PCCERT_CONTEXT cert) {
  theLog.Trace(L"CCrypt::ReleaseCertificate start");
  if (cert) CertFreeCertificateContext(cert);
  theLog.Trace(L"CCrypt::ReleaseCertificate finished");
}
