// Every method, called again and again on one control, keeps no more
// handles than the bare platform calls doing the same job keep (Wine's
// provider keeps one for every key container it opens; Windows none).
#include <gtest/gtest.h>
#include <olectl.h>

#include <functional>
#include <string>

#include "tests/bench/bare_jobs.h"
#include "tests/bench/process_counters.h"
#include "tests/certutil/pki.h"
#include "tests/com/test_support.h"
#include "tests/host/pki_stores.h"
#include "tests/support/dispids.h"

using namespace testing_support;

namespace {

unsigned long CountHandles() { return bench::CountHandles(1u << 16); }

// Handles gained over 20 calls, after a few calls for caches and first-use
// work.
long Growth(const std::function<void()>& call) {
  for (int i = 0; i < 3; ++i) call();
  long before = static_cast<long>(CountHandles());
  for (int i = 0; i < 20; ++i) call();
  return static_cast<long>(CountHandles()) - before;
}

// CertLookup in "ROOT" by kind 3 with an empty value.
constexpr long kLookupCode = 0;

TEST(Leaks, NoMethodKeepsHandles) {
  ComScope com;
  ASSERT_TRUE(AddCertificate(L"Root", L"root"));
  ASSERT_TRUE(AddCertificate(L"CA", L"ca"));
  ASSERT_TRUE(ImportWithKey(L"full"));
  ComPtr<IDispatch> control = CreateControl();
  ASSERT_TRUE(control);
  std::string b64 = PkiText(L"full.b64");
  std::wstring cert(b64.begin(), b64.end());
  std::string sha1 = PkiText(L"full.sha1");
  std::wstring thumb(sha1.begin(), sha1.end());
  const std::wstring hash(40, L'a');
  const std::vector<BYTE> hashBytes(20, 0xaa);
  PCCERT_CONTEXT given = PkiCert(L"full");
  ASSERT_TRUE(given);
  // Every call must do its job: a call that fails early keeps nothing and
  // would pass for free. The control's calls must answer S_OK and the
  // code expected; the bare jobs must report success.
  auto answer = [&](DISPID id, std::vector<VARIANT> args) {
    ScopedVariant r;
    HRESULT hr = Call(control.Get(), id, std::move(args), r.Get());
    return SUCCEEDED(hr) ? AnswerCode(*r.Get()) : static_cast<long>(hr);
  };
  auto none = [] { return true; };
  auto engine = [] {
    bare::EngineStart();
    return true;
  };
  auto keyCheck = [&] {
    bare::EngineStart();
    HCERTSTORE my = CertOpenSystemStoreW(0, L"MY");
    PCCERT_CONTEXT found = my ? bare::FindByThumbprint(my, sha1) : nullptr;
    bool done = found && bare::KeyIsReachable(found) && bare::ChainIsTrusted(found);
    if (found) CertFreeCertificateContext(found);
    if (my) CertCloseStore(my, 0);
    return done;
  };
  auto signByKey = [&] {
    bare::EngineStart();
    HCERTSTORE my = CertOpenSystemStoreW(0, L"MY");
    PCCERT_CONTEXT found = my ? bare::FindByThumbprint(my, sha1) : nullptr;
    HCRYPTPROV_OR_NCRYPT_KEY_HANDLE prov = 0;
    DWORD spec = 0;
    BOOL mustFree = FALSE;
    bool done = found && CryptAcquireCertificatePrivateKey(found, CRYPT_ACQUIRE_USE_PROV_INFO_FLAG, nullptr, &prov,
                                                           &spec, &mustFree);
    if (done && mustFree) CryptReleaseContext(prov, 0);
    if (found) CertFreeCertificateContext(found);
    if (my) CertCloseStore(my, 0);
    return done;
  };
  struct Case {
    const char* name;
    std::function<long()> call;
    long code;  // the answer's code
    std::function<bool()> baseline;
    long allowance = 0;  // measured platform handles the baseline does not show
  } cases[] = {
      {"LibGetInfo", [&] { return answer(dispid::kLibGetInfo, {I4(0)}); }, 0, none},
      {"GetLogging", [&] { return answer(dispid::kGetLogging, {}); }, 0, none},
      {"CertGetInfo", [&] { return answer(dispid::kCertGetInfo, {Bstr(cert.c_str()), I4(0)}); }, 0,
       [&] { bare::EngineStart(); return bare::CertInfo(cert); },
       // Wine's CryptFormatObject keeps one handle per call; rendering the
       // certificate policies makes its two mandated calls (size, then
       // text), which the bare sequence shows as one over 20 calls.
       20},
      {"CertEnum", [&] { return answer(dispid::kCertEnum, {I4(0x183)}); }, 0,
       [&] { bare::EngineStart(); return bare::Enumerate(false) == 1; }},
      {"CertLookup", [&] { return answer(dispid::kCertLookup, {Bstr(L"ROOT"), I4(3), Bstr(L"")}); }, kLookupCode, engine},
      {"CertIsValid", [&] { return answer(dispid::kCertIsValid, {Bstr(cert.c_str()), I4(0x083)}); }, 0,
       [&] { bare::EngineStart(); return bare::Enumerate(true) == 1; }},
      {"CertHasPrivateKey", [&] { return answer(dispid::kCertHasPrivateKey, {Bstr(cert.c_str())}); }, 0, engine},
      {"CertChainIsValid", [&] { return answer(dispid::kCertChainIsValid, {Bstr(cert.c_str())}); }, 0, engine},
      {"RawSignCheck", [&] { return answer(dispid::kRawSignCheck, {Bstr(L"F12345"), Bstr(thumb.c_str()), Bstr(L"SHA1")}); }, 0, keyCheck},
      {"RawSign",
       [&] { return answer(dispid::kRawSign, {Bstr(hash.c_str()), Bstr(L"F12345"), Bstr(thumb.c_str()), Bstr(L"SHA1")}); }, 0,
       [&] { bare::EngineStart(); return bare::RawSign(sha1, CALG_SHA1, hashBytes); }},
      {"SignRaw", [&] { return answer(dispid::kSignRaw, {Bstr(cert.c_str()), Bstr(hash.c_str()), Bstr(L"SHA1")}); }, 0, signByKey},
      {"SignPKCS7", [&] { return answer(dispid::kSignPKCS7, {Bstr(cert.c_str()), Bstr(L"YWJj"), Bstr(L"SHA1")}); }, 0,
       [&] { bare::EngineStart(); return bare::SignMessage(given, L"YWJj"); }},
      {"StringToBinary", [&] { return answer(dispid::kStringToBinary, {Bstr(L"AQID"), I4(1)}); }, 0, none},
      {"LocalTimeToUTCTime", [&] { return answer(dispid::kLocalTimeToUTCTime, {Bstr(L"2020/01/01 10:00:00")}); }, 0, none},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    auto method = [&] { EXPECT_EQ(c.code, c.call()) << "the method's answer"; };
    auto baseline = [&] { EXPECT_TRUE(c.baseline()) << "the bare platform calls"; };
    long platform = Growth(baseline);
    long grown = Growth(method);
    EXPECT_LE(grown, platform + c.allowance + 2) << c.name << " keeps " << grown << " handles over 20 calls; the bare platform calls "
                                    << platform;
  }
  CertFreeCertificateContext(given);
}

}  // namespace
