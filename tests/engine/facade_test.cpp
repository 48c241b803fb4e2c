// The engine facade over real stores: algorithm names, thumbprint hashes,
// serial numbers, store twins and enumeration.
#include <gtest/gtest.h>

#include <string>

#include "certutil/crypt_handles.h"
#include "certutil/visitors.h"
#include "engine/crypt.h"
#include "engine/hash_algorithms.h"
#include "tests/certutil/pki.h"
#include "tests/engine/log_capture.h"
#include "tests/host/pki_stores.h"

namespace {

class Facade : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    ASSERT_TRUE(AddCertificate(L"Root", L"root"));
    ASSERT_TRUE(AddCertificate(L"CA", L"ca"));
    ASSERT_TRUE(ImportWithKey(L"full"));
    ASSERT_TRUE(ImportWithKey(L"encipher"));
  }
  void SetUp() override { ASSERT_EQ(rc::kOk, crypt.Init()); }
  void TearDown() override { crypt.Close(); }

  ResultCode Find(const wchar_t* serial, const std::wstring& thumbprint, wchar_t* algorithm, bool* found = nullptr) {
    PCCERT_CONTEXT cert = nullptr;
    ResultCode code = crypt.FindCertificate(serial, thumbprint.c_str(), algorithm, &cert);
    if (found) *found = cert != nullptr;
    crypt.ReleaseCertificate(cert);
    return code;
  }
  CCrypt crypt;
};

TEST_F(Facade, AlgorithmNamesAreUpperCasedInTheCallersText) {
  wchar_t name[] = L"sha1";
  bool found = false;
  EXPECT_EQ(rc::kOk, Find(L"00f12345", PkiWide(L"full.sha1"), name, &found));
  EXPECT_TRUE(found);
  EXPECT_STREQ(L"SHA1", name);
}

TEST_F(Facade, ThumbprintHashFollowsTheName) {
  struct {
    const wchar_t* name;
    const wchar_t* thumbprintFile;
    ResultCode code;
  } cases[] = {
      {L"MD5", L"full.md5", rc::kOk},       {L"md5", L"full.md5", rc::kOk},
      {L"SHA1", L"full.md5", rc::kCertNotFound}, {L"SHA256", L"full.sha1", rc::kOk},
      {L"SHA384", L"full.sha1", rc::kOk},   {L"SHA512", L"full.sha1", rc::kOk},
      {L"SHA224", L"full.sha1", rc::kOk},   {L"MD5", L"full.sha1", rc::kCertNotFound},
  };
  for (const auto& c : cases) {
    wchar_t name[16];
    wcscpy(name, c.name);
    EXPECT_EQ(c.code, Find(L"F12345", PkiWide(c.thumbprintFile), name)) << c.name;
  }
}

TEST_F(Facade, InvalidNamesAnswer33WithoutOpeningAStore) {
  LogCapture log;
  for (const wchar_t* bad : {L"SHA-256", L"", L" SHA256", L"SHA2"}) {
    wchar_t name[16];
    wcscpy(name, bad);
    EXPECT_EQ(rc::kBadHashAlgorithm, Find(L"F12345", PkiWide(L"full.sha1"), name)) << bad;
  }
  EXPECT_EQ(rc::kBadHashAlgorithm, Find(L"F12345", PkiWide(L"full.sha1"), nullptr));
  EXPECT_TRUE(log.Has("E):Invalid hash algorithm specified [SHA-256]!"));
  EXPECT_FALSE(log.Has("CCryptSystem:FindCertificate start")) << "no store is opened";
}

TEST_F(Facade, MalformedThumbprintsAndSerialMismatchesAreNotFound) {
  LogCapture log;
  wchar_t name[] = L"SHA1";
  EXPECT_EQ(rc::kCertNotFound, Find(L"F12345", L"abc", name)) << "odd thumbprint";
  EXPECT_TRUE(log.Has("E):Improper length of input string"));
  log.Clear();
  EXPECT_EQ(rc::kCertNotFound, Find(L"F12346", PkiWide(L"full.sha1"), name));
  EXPECT_TRUE(log.Has("W):Serial number check failed")) << log.Text();
  EXPECT_FALSE(log.Has("CCryptSystem:FindCertificate [found]"));
  EXPECT_FALSE(log.Has("CCryptSystem:FindCertificate [not found]"));
  EXPECT_TRUE(log.Has("CCryptSystem:FindCertificate finished, found [FALSE]"));
  EXPECT_TRUE(log.Has("CCrypt::FindCertificate failed with [1]"));
}

TEST_F(Facade, CertificatesWhoseKeyCannotSignAreNeverFound) {
  wchar_t name[] = L"SHA1";
  EXPECT_EQ(rc::kCertNotFound, Find(L"3E", PkiWide(L"encipher.sha1"), name));
  ScopedCertContext given(PkiCert(L"encipher"));
  PCCERT_CONTEXT twin = nullptr;
  EXPECT_EQ(rc::kCertNotFound, crypt.FindCertificateInStore(given.Get(), &twin));
  EXPECT_EQ(nullptr, twin);
}

TEST_F(Facade, StoreTwinCarriesTheKey) {
  ScopedCertContext given(PkiCert(L"full"));
  PCCERT_CONTEXT twin = nullptr;
  ASSERT_EQ(rc::kOk, crypt.FindCertificateInStore(given.Get(), &twin));
  DWORD size = 0;
  EXPECT_TRUE(CertGetCertificateContextProperty(twin, CERT_KEY_PROV_INFO_PROP_ID, nullptr, &size));
  crypt.ReleaseCertificate(twin);
  ScopedCertContext absent(PkiCert(L"orphan"));
  EXPECT_EQ(rc::kCertNotFound, crypt.FindCertificateInStore(absent.Get(), &twin));
}

class CountingVisitor : public CCertCallback {
 public:
  bool OnCertificate(PCCERT_CONTEXT) override {
    ++count;
    return true;
  }
  int count = 0;
};

TEST_F(Facade, EnumerationPreFilterAndStores) {
  CountingVisitor signers, every, none;
  EXPECT_EQ(rc::kOk, crypt.EnumCertificates(signers, L"MY", false));
  EXPECT_EQ(1, signers.count);
  EXPECT_EQ(rc::kOk, crypt.EnumCertificates(every, L"MY", true));
  EXPECT_EQ(2, every.count);
  // A store that exists but is empty (made here as a user's program would
  // make it; the engine opens a store it is given only when it exists).
  HCERTSTORE made = CertOpenSystemStoreW(0, L"TessarnEmpty");
  ASSERT_TRUE(made);
  CertCloseStore(made, 0);
  LogCapture log;
  EXPECT_EQ(rc::kOk, crypt.EnumCertificates(none, L"TessarnEmpty", false));
  EXPECT_EQ(0, none.count);
  EXPECT_TRUE(log.Has("CCryptSystem:EnumCertificates CertCloseStore"));
  EXPECT_TRUE(log.Has("CCryptSystem:EnumCertificates finished, found [count: 0]"));
  EXPECT_EQ(rc::kStoreNotOpened, crypt.EnumCertificates(none, L"TessarnNeverMade", false));
  EXPECT_EQ(0, none.count);
  EXPECT_EQ(rc::kStoreNotOpened, crypt.EnumCertificates(none, nullptr, false));
}

// Closing a store must not take the engine's provider handle with it: the
// engine releases that handle itself, once, when it closes, and a second
// release of a freed handle can release another thread's provider.
TEST(EngineProvider, StoresLeaveTheProviderToTheEngine) {
  LogCapture log;
  {
    CCrypt crypt;
    ASSERT_EQ(rc::kOk, crypt.Init());
    CountingVisitor every;
    EXPECT_EQ(rc::kOk, crypt.EnumCertificates(every, L"MY", true));
    EXPECT_EQ(rc::kOk, crypt.EnumCertificates(every, L"MY", false));
    PCCERT_CONTEXT given = PkiCert(L"full");
    PCCERT_CONTEXT twin = nullptr;
    EXPECT_EQ(rc::kOk, crypt.FindCertificateInStore(given, &twin));
    crypt.ReleaseCertificate(twin);
    CertFreeCertificateContext(given);
    crypt.Close();
  }
  EXPECT_TRUE(log.Has("The context has been released."));
  EXPECT_FALSE(log.Has("The context could not be released.")) << log.Text();
}

TEST_F(Facade, ReleaseOfNothingOnlyLogs) {
  LogCapture log;
  crypt.ReleaseCertificate(nullptr);
  EXPECT_TRUE(log.Has("CCrypt::ReleaseCertificate start"));
  EXPECT_TRUE(log.Has("CCrypt::ReleaseCertificate finished"));
}

TEST(HashAlgorithms, Table) {
  struct {
    const wchar_t* name;
    bool valid;
    ALG_ID id;
    const char* oid;
  } cases[] = {
      {L"MD5", true, CALG_MD5, "1.2.840.113549.1.1.4"},
      {L"sha1", true, CALG_SHA1, "1.2.840.113549.1.1.5"},
      {L"SHA224", true, static_cast<ALG_ID>(-1), nullptr},
      {L"Sha256", true, CALG_SHA_256, "1.2.840.113549.1.1.11"},
      {L"SHA384", true, CALG_SHA_384, "1.2.840.113549.1.1.12"},
      {L"sha512", true, CALG_SHA_512, "1.2.840.113549.1.1.13"},
      {L"SHA-256", false, static_cast<ALG_ID>(-1), nullptr},
      {L"", false, static_cast<ALG_ID>(-1), nullptr},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.name);
    wchar_t a[16], b[16], d[16];
    wcscpy(a, c.name);
    wcscpy(b, c.name);
    wcscpy(d, c.name);
    EXPECT_EQ(c.valid, IsHashAlgValid(a));
    EXPECT_EQ(c.id, GetHashAlgId(b));
    if (c.oid) {
      EXPECT_STREQ(c.oid, GetHashAlgOid(d));
    } else {
      EXPECT_EQ(nullptr, GetHashAlgOid(d));
    }
  }
  EXPECT_FALSE(IsHashAlgValid(nullptr));
}

}  // namespace
