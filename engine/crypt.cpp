#include "engine/crypt.h"

#include "diag/log.h"
#include "engine/hash_algorithms.h"

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

ResultCode CCrypt::FindCertificate(const wchar_t* serial, const wchar_t* thumbprint, wchar_t* algorithm,
                                   PCCERT_CONTEXT* cert) {
  theLog.Trace(L"CCrypt::FindCertificate start");
  theLog.Trace(L"CCrypt:FindCertificate IsHashAlgValid?");
  if (!IsHashAlgValid(algorithm)) {
    theLog.Error(L"Invalid hash algorithm specified [%s]!", algorithm);
    return rc::kBadHashAlgorithm;
  }
  theLog.Trace(L"CCrypt:FindCertificate IsHashAlgValid? YES = it is valid.");
  if (m_system.FindCertificate(serial, thumbprint, algorithm, cert) == rc::kOk) {
    theLog.Trace(L"CCrypt::FindCertificate (System) finished with [%ld]", 0L);
    return rc::kOk;
  }
  if (m_smartCard.IsInitialized() && m_smartCard.FindCertificate(serial, thumbprint, algorithm, cert) == rc::kOk) {
    theLog.Trace(L"CCrypt::FindCertificate (SmartCard) finished with [%ld]", 0L);
    return rc::kOk;
  }
  theLog.Trace(L"CCrypt::FindCertificate failed with [%ld]", 1L);
  return rc::kCertNotFound;
}

ResultCode CCrypt::FindCertificateInStore(PCCERT_CONTEXT given, PCCERT_CONTEXT* cert) {
  theLog.Trace(L"CCrypt::FindCertificateInStore start");
  if (m_system.FindCertificateInStore(given, cert) == rc::kOk) {
    theLog.Trace(L"CCrypt::FindCertificateInStore (System) finished with [%ld]", 0L);
    return rc::kOk;
  }
  theLog.Trace(L"CCrypt::FindCertificateInStore failed with [%ld]", 1L);
  return rc::kCertNotFound;
}

ResultCode CCrypt::EnumCertificates(CCertCallback& visitor, const wchar_t* storeName, bool all) {
  theLog.Trace(L"CCrypt::EnumCertificates start");
  ResultCode code = m_system.EnumCertificates(visitor, storeName, all);
  if (code != rc::kOk) {
    theLog.Error(L"CCrypt::EnumCertificates (System) failed with [%ld]", static_cast<long>(code));
    return code;
  }
  if (m_smartCard.IsInitialized()) {
    code = m_smartCard.EnumCertificates(visitor, all);
    if (code != rc::kOk) {
      theLog.Error(L"CCrypt::EnumCertificates (SmartCard) failed with [%ld]", static_cast<long>(code));
      return code;
    }
  }
  theLog.Trace(L"CCrypt::EnumCertificates finished with [%ld]", 0L);
  return rc::kOk;
}
