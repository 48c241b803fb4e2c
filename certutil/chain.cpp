#include "certutil/chain.h"

#include <cstddef>

#include "certutil/crypt_handles.h"
#include "diag/log.h"

namespace norelCertInfoUtl {
namespace {

struct StatusRow {
  DWORD status;
  ChainVerdict verdict;
};

const StatusRow kStatusTable[] = {
    {CERT_TRUST_NO_ERROR, {rc::kOk, L'D', L"No error found for this certificate or chain"}},
    {CERT_TRUST_IS_NOT_TIME_VALID,
     {rc::kNotTimeValid, L'E',
      L"This certificate or one of the certificates in the certificate chain is not time-valid"}},
    {CERT_TRUST_IS_NOT_TIME_NESTED,
     {rc::kNotTimeNested, L'E', L"Certificates in the chain are not properly time-nested"}},
    {CERT_TRUST_IS_REVOKED,
     {rc::kRevoked, L'E',
      L"Trust for this certificate or one of the certificates in the certificate chain has been revoked"}},
    {CERT_TRUST_IS_NOT_SIGNATURE_VALID,
     {rc::kSignatureNotValid, L'E',
      L"The certificate or one of the certificates in the certificate chain does not have a valid signature"}},
    {CERT_TRUST_IS_NOT_VALID_FOR_USAGE,
     {rc::kWrongUsage, L'E', L"The certificate or certificate chain is not valid in its proposed usage"}},
    {CERT_TRUST_IS_UNTRUSTED_ROOT,
     {rc::kUntrustedRoot, L'E', L"The certificate or certificate chain is based on an untrusted root"}},
    {CERT_TRUST_REVOCATION_STATUS_UNKNOWN,
     {rc::kRevocationUnknown, L'E',
      L"The revocation status of the certificate or one of the certificates in the certificate chain is unknown"}},
    {CERT_TRUST_IS_CYCLIC,
     {rc::kCyclic, L'E',
      L"One of the certificates in the chain was issued by a certification authority that the original "
      L"certificate had certified"}},
    {CERT_TRUST_IS_PARTIAL_CHAIN, {rc::kPartialChain, L'E', L"The certificate chain is not complete"}},
    {CERT_TRUST_CTL_IS_NOT_TIME_VALID,
     {rc::kCtlNotTimeValid, L'E', L"A CTL used to create this chain was not time-valid"}},
    {CERT_TRUST_CTL_IS_NOT_SIGNATURE_VALID,
     {rc::kCtlSignature, L'E', L"A CTL used to create this chain did not have a valid signature"}},
    {CERT_TRUST_CTL_IS_NOT_VALID_FOR_USAGE,
     {rc::kCtlUsage, L'E', L"A CTL used to create this chain is not valid for this usage"}},
};

// The chain engine of the module. A check answers 18 when none can be made,
// and that answer is all the engine is for: the chain itself is built by the
// user's default engine. An engine opens the user's stores, so under Wine it
// costs as much as a chain check and more as the stores grow; it is
// therefore made once, by the first check that needs it, kept for the
// module's life and released when the module unloads. A failure to make it
// is tried again by the next check. Checks may run on several threads (one
// control per apartment), so the first ones take turns.
class ModuleChainEngine {
 public:
  static bool Ensure() {
    AcquireSRWLockExclusive(&s_lock);
    bool ready = s_engine != nullptr;
    if (!ready) {
      theLog.Trace(L"nrlCertChainIsValid CertCreateCertificateChainEngine");
      CERT_CHAIN_ENGINE_CONFIG config = {};
      // The structure without the fields newer platforms added.
      config.cbSize = offsetof(CERT_CHAIN_ENGINE_CONFIG, CycleDetectionModulus) + sizeof(config.CycleDetectionModulus);
      config.dwFlags = CERT_CHAIN_CACHE_END_CERT;
      HCERTCHAINENGINE engine = nullptr;
      if (CertCreateCertificateChainEngine(&config, &engine)) {
        s_engine = engine;
        ready = true;
      } else {
        theLog.Error(L"The engine creation function failed, error code [%lx]", GetLastError());
      }
    }
    ReleaseSRWLockExclusive(&s_lock);
    return ready;
  }

  static void Release() {
    // Freed by its owner after the lock is given back.
    ScopedChainEngine engine;
    AcquireSRWLockExclusive(&s_lock);
    engine.Reset(std::exchange(s_engine, nullptr));
    ReleaseSRWLockExclusive(&s_lock);
  }

 private:
  static SRWLOCK s_lock;
  static HCERTCHAINENGINE s_engine;
};

SRWLOCK ModuleChainEngine::s_lock = SRWLOCK_INIT;
HCERTCHAINENGINE ModuleChainEngine::s_engine = nullptr;

}  // namespace

void nrlReleaseChainEngine() { ModuleChainEngine::Release(); }

ChainVerdict ChainStatusVerdict(DWORD errorStatus) {
  for (const StatusRow& row : kStatusTable) {
    if (row.status == errorStatus) return row.verdict;
  }
  return ChainVerdict{rc::kChainMultipleFaults, 0, nullptr};
}

ResultCode nrlCertChainIsValid(PCCERT_CONTEXT cert) {
  theLog.Trace(L"nrlCertChainIsValid start");
  if (!ModuleChainEngine::Ensure()) return rc::kChainEngine;
  theLog.Trace(L"nrlCertChainIsValid CertGetNameString");
  wchar_t name[256] = {};
  if (CertGetNameStringW(cert, CERT_NAME_SIMPLE_DISPLAY_TYPE, 0, nullptr, name, 256) != 0)
    theLog.Info(L"Verifying certificate [%s]", name);
  else
    theLog.Warning(L"Can't get certificate display name");
  theLog.Trace(L"nrlCertChainIsValid CertGetCertificateChain");
  CERT_CHAIN_PARA para = {};
  para.cbSize = offsetof(CERT_CHAIN_PARA, RequestedUsage) + sizeof(para.RequestedUsage);
  para.RequestedUsage.dwType = USAGE_MATCH_TYPE_AND;
  ScopedChainContext chain;
  if (!CertGetCertificateChain(nullptr, cert, nullptr, nullptr, &para, 0, nullptr, chain.Receive())) {
    theLog.Error(L"The chain could not be created, error code [%lx]", GetLastError());
    return rc::kChainNotBuilt;
  }
  ChainVerdict verdict = ChainStatusVerdict(chain.Get()->TrustStatus.dwErrorStatus);
  if (verdict.line) {
    if (verdict.level == L'D') theLog.Debug(L"%s", verdict.line);
    else theLog.Error(L"%s", verdict.line);
  }
  theLog.Trace(L"nrlCertChainIsValid finished (%d)", verdict.code);
  return verdict.code;
}

}  // namespace norelCertInfoUtl
