// The smart-card provider against the resource-manager double and the test
// card CSP, one scenario a case.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "certutil/crypt_handles.h"
#include "certutil/visitors.h"
#include "engine/crypt.h"
#include "engine/crypt_smart_card.h"
#include "tests/certutil/pki.h"
#include "tests/engine/log_capture.h"
#include "tests/host/pki_stores.h"

namespace {

const char kCard[] = "3B8F800180318065B0850300EF120FFF82";

using Counter = LONG(WINAPI*)();
LONG DoubleCount(const char* name) {
  auto f = reinterpret_cast<Counter>(reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"winscard.dll"), name)));
  return f ? f() : -1;
}

// Writes the scenario the double and the CSP read from now on.
void UseScenario(const std::string& text) {
  wchar_t temp[MAX_PATH];
  GetTempPathW(MAX_PATH, temp);
  std::wstring path = std::wstring(temp) + L"card-scenario.txt";
  HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  DWORD n;
  WriteFile(h, text.data(), static_cast<DWORD>(text.size()), &n, nullptr);
  CloseHandle(h);
  SetEnvironmentVariableW(L"TESSARN_CARD_SCENARIO", path.c_str());
}

std::string Card(const std::string& reader, const std::string& sig, const std::string& kx,
                 const std::string& name = "Tessarn Test Card", const std::string& csp = "Tessarn Test Card Cryptographic Service Provider for the Test Smart Cards") {
  return "reader|" + reader + "|card|" + kCard + "|" + name + "|" + csp + "|" + sig + "|" + kx + "\n";
}

// Collects the thumbprints of the certificates it is handed, in order.
class Collector : public CCertCallback {
 public:
  bool OnCertificate(PCCERT_CONTEXT cert) override {
    BYTE hash[20];
    DWORD size = sizeof(hash);
    CertGetCertificateContextProperty(cert, CERT_SHA1_HASH_PROP_ID, hash, &size);
    wchar_t hex[41] = {};
    for (int i = 0; i < 20; ++i) swprintf(hex + 2 * i, 3, L"%02x", hash[i]);
    seen.push_back(hex);
    return false;
  }
  std::vector<std::wstring> seen;
};

class SmartCard : public ::testing::Test {
 protected:
  void TearDown() override {
    EXPECT_EQ(0, DoubleCount("TessarnDoubleOutstandingBlocks")) << "every block of the resource manager freed";
    EXPECT_EQ(0, DoubleCount("TessarnDoubleLiveContexts")) << "every context released";
  }
  ResultCode Find(CCryptSmartCard& card, const wchar_t* serial, const std::wstring& thumb, const wchar_t* alg,
                  std::wstring* found = nullptr) {
    PCCERT_CONTEXT cert = nullptr;
    ResultCode code = card.FindCertificate(serial, thumb.c_str(), alg, &cert);
    if (cert && found) {
      Collector c;
      c.OnCertificate(cert);
      *found = c.seen[0];
    }
    if (cert) CertFreeCertificateContext(cert);
    return code;
  }
  LogCapture log;
};

TEST_F(SmartCard, NoReaderLeavesTheEngineOnTheStoreAlone) {
  UseScenario("");
  CCryptSmartCard card;
  EXPECT_EQ(rc::kReadersNotListed, card.Init());
  EXPECT_TRUE(log.Has("E):No reader is connected!"));
  EXPECT_FALSE(card.IsInitialized());
  EXPECT_EQ(1, DoubleCount("TessarnDoubleLiveContexts")) << "the context is kept for Close";
  card.Close();
  CCrypt crypt;
  EXPECT_EQ(rc::kOk, crypt.Init());
  EXPECT_TRUE(log.Has("W):CCrypt::Init - card reader not found. Ignoring."));
  crypt.Close();
}

TEST_F(SmartCard, ResourceManagerWithoutService) {
  UseScenario("fault|establish|8010001D\n");
  CCryptSmartCard card;
  EXPECT_EQ(rc::kCardContext, card.Init());
  EXPECT_TRUE(log.Has("E):Cannot establish card context [-2146435043]")) << log.Text();
  card.Close();
}

TEST_F(SmartCard, TwoReadersTheFirstEmptyBothKeysEnumeratedSignatureFirst) {
  UseScenario("reader|Reader A|empty\n" + Card("Reader B", "full", "dns"));
  CCryptSmartCard card;
  ASSERT_EQ(rc::kOk, card.Init());
  Collector seen;
  EXPECT_EQ(rc::kOk, card.EnumCertificates(seen, false));
  ASSERT_EQ(2u, seen.seen.size());
  EXPECT_EQ(PkiWide(L"full.sha1"), seen.seen[0]);
  EXPECT_EQ(PkiWide(L"dns.sha1"), seen.seen[1]);
  std::string text = log.Text();
  size_t a = text.find("D):Reader [Reader A]"), empty = text.find("D):No card in reader"),
         b = text.find("D):Reader [Reader B]");
  EXPECT_TRUE(a != std::string::npos && empty > a && b > empty) << text;
  EXPECT_TRUE(log.Has("D):CSP [Tessarn Test Card Cryptographic Service Provider for the Test Smart Cards]"));
  EXPECT_TRUE(log.Has("D):Container [\\\\.\\Reader B\\]"));
  EXPECT_TRUE(log.Has("CCryptSmartCard:EnumCertificatesFromReader finished, result [count: 2]"));
  card.Close();
}

TEST_F(SmartCard, FindReadsOnlyAsFarAsTheMatch) {
  UseScenario(Card("Reader B", "full", "dns"));
  CCryptSmartCard card;
  ASSERT_EQ(rc::kOk, card.Init());
  std::wstring found;
  EXPECT_EQ(rc::kOk, Find(card, L"0A0B0C", PkiWide(L"dns.sha1"), L"SHA1", &found));
  EXPECT_EQ(PkiWide(L"dns.sha1"), found);
  auto count = [](const std::string& text, const std::string& needle) {
    size_t n = 0;
    for (size_t at = text.find(needle); at != std::string::npos; at = text.find(needle, at + 1)) ++n;
    return n;
  };
  EXPECT_EQ(2u, count(log.Text(), "CCryptSmartCard:GetCertificateFromReader CryptGetUserKey"));
  log.Clear();
  EXPECT_EQ(rc::kOk, Find(card, L"F12345", PkiWide(L"full.sha1"), L"SHA256"));
  EXPECT_EQ(1u, count(log.Text(), "CCryptSmartCard:GetCertificateFromReader CryptGetUserKey")) << "reads no further";
  EXPECT_TRUE(log.Has("CCryptSmartCard:FindCertificate finished, result [FOUND]"));
  card.Close();
}

TEST_F(SmartCard, ThumbprintHashFollowsTheAlgorithmName) {
  UseScenario(Card("Reader B", "full", "dns"));
  CCryptSmartCard card;
  ASSERT_EQ(rc::kOk, card.Init());
  EXPECT_EQ(rc::kOk, Find(card, L"0A0B0C", PkiWide(L"dns.md5"), L"MD5"));
  EXPECT_EQ(rc::kCertNotFound, Find(card, L"0A0B0C", PkiWide(L"dns.md5"), L"SHA1"));
  EXPECT_EQ(rc::kCertNotFound, Find(card, L"0A0B0C", PkiWide(L"dns.sha1"), L"md5"));
  card.Close();
}

TEST_F(SmartCard, KeysThatCannotSignOrDoNotExist) {
  UseScenario(Card("Reader B", "-", "encipher"));
  CCryptSmartCard card;
  ASSERT_EQ(rc::kOk, card.Init());
  Collector seen;
  EXPECT_EQ(rc::kOk, card.EnumCertificates(seen, false));
  EXPECT_TRUE(seen.seen.empty());
  EXPECT_TRUE(log.Has("W):Can't get user key handle [AT_SIGNATURE], error code [")) << log.Text();
  EXPECT_TRUE(log.Has("W):Intended key usage for certificate in smart card does not allow signature [32]"));
  Collector all;
  EXPECT_EQ(rc::kOk, card.EnumCertificates(all, true));
  EXPECT_EQ(1u, all.seen.size()) << "every certificate when all are asked for";
  card.Close();
}

TEST_F(SmartCard, CardTypesNobodyRegisteredEndTheScan) {
  struct {
    std::string first;
    const char* line;
  } cases[] = {
      {Card("Reader A", "full", "-", ""), "E):Can't get card name for card [0], error code ["},
      {Card("Reader A", "full", "-", "Tessarn Test Card", ""), "E):Can't get card CSP for card [0], error code ["},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.line);
    UseScenario(c.first + "reader|Reader C|card|3B00|Other Card|Tessarn Test Card Cryptographic Service Provider for the Test Smart Cards|dns|-\n");
    log.Clear();
    CCryptSmartCard card;
    ASSERT_EQ(rc::kOk, card.Init());
    Collector seen;
    EXPECT_EQ(rc::kOk, card.EnumCertificates(seen, false));
    EXPECT_TRUE(seen.seen.empty()) << "the readers after it are not visited";
    EXPECT_TRUE(log.Has(c.line)) << log.Text();
    EXPECT_FALSE(log.Has("Reader [Reader C]"));
    EXPECT_EQ(rc::kCertNotFound, Find(card, L"0A0B0C", PkiWide(L"dns.sha1"), L"SHA1"));
    card.Close();
  }
}

TEST_F(SmartCard, CardFaults) {
  struct {
    std::string scenario;
    ResultCode find;
    ResultCode enumerate;
  } cases[] = {
      {Card("Reader B", "full", "dns") + "fault|acquire|80090016\n", rc::kContextNotAcquired, rc::kOk},
      {Card("Reader B", "full", "dns") + "fault|container|80090016\n", rc::kCardContainerName, rc::kCardContainerName},
      {Card("Reader B", "full", "dns") + "fault|keyparam|80090016\n", rc::kCardCertNotRead, rc::kCardCertNotRead},
      {Card("Reader B", "garbage", "dns"), rc::kCertContextNotCreated, rc::kCertContextNotCreated},
      {Card("Reader B", "full", "dns") + "fault|status|80100003\n", rc::kReaderStatus, rc::kReaderStatus},
      {Card("Reader B", "full", "dns") + "fault|listreaders|80100003\n", rc::kReadersNotListed, rc::kReadersNotListed},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.scenario);
    UseScenario(Card("Reader B", "full", "dns"));
    CCryptSmartCard card;
    ASSERT_EQ(rc::kOk, card.Init());
    UseScenario(c.scenario);
    EXPECT_EQ(c.find, Find(card, L"0A0B0C", PkiWide(L"dns.sha1"), L"SHA1")) << c.scenario;
    Collector seen;
    EXPECT_EQ(c.enumerate, card.EnumCertificates(seen, false)) << c.scenario;
    card.Close();
  }
}

TEST_F(SmartCard, EngineSearchesTheStoreFirstAndReportsCardErrorsAfterIt) {
  ASSERT_TRUE(ImportWithKey(L"full"));
  UseScenario(Card("Reader B", "full", "dns"));
  CCrypt crypt;
  ASSERT_EQ(rc::kOk, crypt.Init());
  wchar_t alg[] = L"sha1";
  PCCERT_CONTEXT cert = nullptr;
  ASSERT_EQ(rc::kOk, crypt.FindCertificate(L"F12345", PkiWide(L"full.sha1").c_str(), alg, &cert));
  DWORD size = 0;
  EXPECT_TRUE(CertGetCertificateContextProperty(cert, CERT_KEY_PROV_INFO_PROP_ID, nullptr, &size))
      << "the store's copy, which knows its key";
  crypt.ReleaseCertificate(cert);
  cert = nullptr;
  wchar_t alg2[] = L"SHA1";
  ASSERT_EQ(rc::kOk, crypt.FindCertificate(L"0A0B0C", PkiWide(L"dns.sha1").c_str(), alg2, &cert));
  EXPECT_FALSE(CertGetCertificateContextProperty(cert, CERT_KEY_PROV_INFO_PROP_ID, nullptr, &size))
      << "from the card";
  crypt.ReleaseCertificate(cert);
  EXPECT_TRUE(log.Has("CCrypt::FindCertificate (SmartCard) finished with [0]"));

  Collector seen;
  EXPECT_EQ(rc::kOk, crypt.EnumCertificates(seen, L"MY", false));
  ASSERT_EQ(3u, seen.seen.size());
  EXPECT_EQ(PkiWide(L"full.sha1"), seen.seen[0]) << "the store's certificates first";
  UseScenario(Card("Reader B", "full", "dns") + "fault|container|80090016\n");
  Collector partial;
  EXPECT_EQ(rc::kCardContainerName, crypt.EnumCertificates(partial, L"MY", false));
  EXPECT_EQ(1u, partial.seen.size()) << "the store's certificate was handed over before the card failed";
  EXPECT_TRUE(log.Has("E):CCrypt::EnumCertificates (SmartCard) failed with [9]"));
  crypt.Close();
}

}  // namespace
