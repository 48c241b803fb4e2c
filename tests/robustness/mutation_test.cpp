// A seeded mutation run through the control, for the paths that go through
// the platform: base64 and CRYPT_STRING_* conversions, certificate decoding
// and CertGetInfo on damaged certificates, the time text. Every mutated call
// must give a defined answer and leave the control answering.
//   TESSARN_MUTATIONS  calls per target (default 2000)
//   TESSARN_MUTATION_SEED  the generator's seed (default 20261210)
//   TESSARN_MUTATION_TRACE=1  print each call before it is made, to find the
//                             input behind a crash
#include <gtest/gtest.h>
#include <windows.h>
#include <wincrypt.h>

#include <climits>
#include <cstdio>
#include <cstring>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "certutil/result_code.h"
#include "tests/bench/bare_jobs.h"
#include "tests/certutil/pki.h"
#include "tests/com/test_support.h"
#include "tests/support/dispids.h"

using namespace testing_support;

namespace {

unsigned long Setting(const wchar_t* name, unsigned long fallback) {
  wchar_t text[32] = {};
  if (!GetEnvironmentVariableW(name, text, 32)) return fallback;
  return wcstoul(text, nullptr, 10);
}

std::vector<BYTE> Der(const std::wstring& name) {
  std::vector<BYTE> der;
  if (PCCERT_CONTEXT cert = PkiCert(name)) {
    der.assign(cert->pbCertEncoded, cert->pbCertEncoded + cert->cbCertEncoded);
    CertFreeCertificateContext(cert);
  }
  return der;
}

std::wstring Base64(const std::vector<BYTE>& bytes) {
  return bare::Base64(bytes.data(), static_cast<DWORD>(bytes.size()));
}

constexpr VARTYPE kArray = VT_ARRAY | VT_VARIANT;

class Mutator {
 public:
  explicit Mutator(unsigned long seed) : m_random(seed) {}
  size_t Below(size_t n) { return n ? std::uniform_int_distribution<size_t>(0, n - 1)(m_random) : 0; }

  // Mostly a few bytes changed in place (the structure survives and the
  // damage reaches the formatters), sometimes cut, grown or shifted.
  std::vector<BYTE> Bytes(std::vector<BYTE> b) {
    int kind = static_cast<int>(Below(10));
    if (kind < 6 || b.empty()) {
      for (size_t i = 0, n = 1 + Below(4); i < n && !b.empty(); ++i) b[Below(b.size())] = static_cast<BYTE>(Below(256));
    } else if (kind == 6) {
      b.resize(Below(b.size() + 1));
    } else if (kind == 7) {
      b.insert(b.begin() + static_cast<long>(Below(b.size() + 1)), 1 + Below(8), static_cast<BYTE>(Below(256)));
    } else if (kind == 8) {
      // A length octet: the commonest way a DER structure goes wrong.
      for (size_t i = Below(b.size()); i < b.size(); ++i)
        if (b[i] >= 0x80 && b[i] <= 0x84) {
          b[i] = static_cast<BYTE>(0x80 + Below(6));
          break;
        }
    } else {
      b.erase(b.begin() + static_cast<long>(Below(b.size())));
    }
    return b;
  }

  std::wstring Text(std::wstring t) {
    static const wchar_t kChars[] = L"AZaz09+/=-_ \r\n\t:,.%\x00e1\x010d\xd800\xffff";
    for (size_t i = 0, n = 1 + Below(4); i < n; ++i) {
      int kind = static_cast<int>(Below(4));
      wchar_t c = kChars[Below(sizeof(kChars) / sizeof(kChars[0]) - 1)];
      if (kind == 0 && !t.empty()) t[Below(t.size())] = c;
      else if (kind == 1) t.insert(t.begin() + static_cast<long>(Below(t.size() + 1)), c);
      else if (kind == 2 && !t.empty()) t.erase(t.begin() + static_cast<long>(Below(t.size())));
      else t.resize(Below(t.size() + 1));
    }
    return t;
  }

  long Flag() {
    static const long kFlags[] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 0x40000000, 0x40000001, LONG_MIN, -1};
    return kFlags[Below(sizeof(kFlags) / sizeof(kFlags[0]))];
  }

 private:
  std::mt19937 m_random;
};

class MutationRun : public ::testing::Test {
 protected:
  void SetUp() override {
    control = CreateControl();
    ASSERT_TRUE(control);
    calls = Setting(L"TESSARN_MUTATIONS", 2000);
    seed = Setting(L"TESSARN_MUTATION_SEED", 20261210);
  }

  // The call's result code, or -1 for a DISP_E_* answer; fails the test
  // for anything else. A call that succeeds must answer in its method's
  // shape (`shape`: the code itself as VT_I4, or the array whose first
  // element is the code): any other answer (-3 here) is a fault, not a
  // refusal.
  long Answer(DISPID id, std::vector<VARIANT> args, VARTYPE shape, const char* what, size_t round) {
    ScopedVariant r;
    if (Setting(L"TESSARN_MUTATION_TRACE", 0)) {
      std::printf("%s round %u\n", what, static_cast<unsigned>(round));
      std::fflush(stdout);
    }
    HRESULT hr = Call(control.Get(), id, std::move(args), r.Get());
    long code = -3;
    if (FAILED(hr)) {
      code = HRESULT_FACILITY(hr) == FACILITY_DISPATCH ? -1 : -2;
    } else if (V_VT(r.Get()) == shape) {
      long answered = AnswerCode(*r.Get());
      if (answered >= 0) code = answered;
    }
    EXPECT_TRUE(code == -1 || (code >= rc::kOk && code <= rc::kLastCode))
        << what << " round " << round << " (seed " << seed << "): answer " << code << ", HRESULT 0x" << std::hex << hr;
    ++histogram[what][code];
    return code;
  }

  void TearDown() override {
    for (const auto& target : histogram) {
      std::printf("%s:", target.first.c_str());
      for (const auto& code : target.second) std::printf(" %ld x%d", code.first, code.second);
      std::printf("\n");
    }
  }

  ComScope com;
  ComPtr<IDispatch> control;
  unsigned long calls = 0, seed = 0;
  std::map<std::string, std::map<long, int>> histogram;
};

TEST_F(MutationRun, CertGetInfoOnDamagedCertificates) {
  Mutator m(seed);
  const std::vector<std::vector<BYTE>> originals = {Der(L"full"), Der(L"othername"), Der(L"altvariant"), Der(L"dns"),
                                                    Der(L"ekumarker")};
  for (const auto& der : originals) ASSERT_FALSE(der.empty());
  for (size_t round = 0; round < calls; ++round) {
    std::wstring cert = Base64(m.Bytes(originals[round % originals.size()]));
    long attribute = m.Below(4) == 0 ? static_cast<long>(m.Below(40)) - 5 : 0;
    Answer(dispid::kCertGetInfo, {Bstr(cert.c_str()), I4(attribute)}, kArray, "CertGetInfo", round);
    if (round % 4 == 0) Answer(dispid::kCertHasPrivateKey, {Bstr(cert.c_str())}, VT_I4, "CertHasPrivateKey", round);
    ASSERT_TRUE(StillAnswers(control.Get())) << "round " << round;
  }
}

TEST_F(MutationRun, TextConversions) {
  Mutator m(seed + 1);
  std::vector<BYTE> der = Der(L"full");
  const std::wstring base64 = Base64(der);
  const std::wstring pem = L"-----BEGIN CERTIFICATE-----\r\n" + base64.substr(0, 64) + L"\r\n" + base64.substr(64) +
                           L"\r\n-----END CERTIFICATE-----\r\n";
  const std::wstring hex = L"30 82 01 0a 02 82 01 01 00 c3 5f";
  const std::wstring texts[] = {base64, pem, hex, L"AQID", L"2020/01/31 23:59:59"};
  for (size_t round = 0; round < calls; ++round) {
    std::wstring text = m.Text(texts[round % 5]);
    long textFlag = m.Flag();
    if (Setting(L"TESSARN_MUTATION_TRACE", 0)) {
      std::printf("text flag %ld:", textFlag);
      for (wchar_t c : text) std::printf(" %x", static_cast<unsigned>(c));
      std::printf("\n");
    }
    Answer(dispid::kStringToBinary, {Bstr(text.c_str()), I4(textFlag)}, kArray, "StringToBinary", round);

    std::vector<BYTE> bytes = m.Bytes(std::vector<BYTE>(der.begin(), der.begin() + static_cast<long>(m.Below(der.size()))));
    VARIANT array;
    VariantInit(&array);
    V_VT(&array) = VT_ARRAY | VT_UI1;
    V_ARRAY(&array) = SafeArrayCreateVector(VT_UI1, 0, static_cast<ULONG>(bytes.size()));
    if (!bytes.empty()) {
      void* data = nullptr;
      SafeArrayAccessData(V_ARRAY(&array), &data);
      memcpy(data, bytes.data(), bytes.size());
      SafeArrayUnaccessData(V_ARRAY(&array));
    }
    long length = m.Below(8) == 0 ? static_cast<long>(bytes.size() + m.Below(64)) : static_cast<long>(bytes.size());
    long flag = m.Flag();
    if (Setting(L"TESSARN_MUTATION_TRACE", 0)) std::printf("bytes %u length %ld flag %ld\n", static_cast<unsigned>(bytes.size()), length, flag);
    Answer(dispid::kBinaryToString, {array, I4(length), I4(flag)}, kArray, "BinaryToString", round);

    std::wstring time = m.Text(texts[4]);
    Answer(dispid::kLocalTimeToUTCTime, {Bstr(time.c_str())}, kArray, "LocalTimeToUTCTime", round);
    ASSERT_TRUE(StillAnswers(control.Get())) << "round " << round;
  }
}

}  // namespace
