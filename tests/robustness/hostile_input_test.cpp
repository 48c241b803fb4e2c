// Every method, called through IDispatch with what a hostile or careless
// page can pass in each argument: each call gives a defined answer (a
// result code with a text, or a DISP_E_* error), the control keeps
// answering, and the log holds the arguments as data in whole entries.
//
// TESSARN_LOGGED=1 runs the table with the log at TRACE and "LogDir" set
// (texts small enough to write into every entry); otherwise with the log
// off and texts up to 16 MB.
#include <gtest/gtest.h>

#include <regex>
#include <string>
#include <vector>

#include "certutil/result_code.h"
#include "tests/certutil/pki.h"
#include "tests/com/test_support.h"
#include "tests/host/pki_stores.h"
#include "tests/robustness/hostile_values.h"
#include "tests/robustness/log_files.h"
#include "tests/support/dispids.h"

using namespace testing_support;

namespace {

enum class Kind { kText, kNumber, kBytes };
enum class Answer { kCode, kArray };

struct Method {
  const char* name;
  DISPID id;
  Answer answer;
  std::vector<Kind> kinds;
  std::vector<std::wstring> defaults;  // numbers as decimal text
};

bool Logged() {
  wchar_t flag[8] = {};
  return GetEnvironmentVariableW(L"TESSARN_LOGGED", flag, 8) && flag[0] == L'1';
}

class HostileInput : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    if (Logged()) {
      ASSERT_TRUE(robustness::PointLogDirAtFreshFolder());
    }
    ASSERT_TRUE(AddCertificate(L"Root", L"root"));
    ASSERT_TRUE(AddCertificate(L"CA", L"ca"));
    ASSERT_TRUE(ImportWithKey(L"full"));
  }

  void SetUp() override {
    control = CreateControl();
    ASSERT_TRUE(control);
    std::string b64 = PkiText(L"full.b64");
    cert.assign(b64.begin(), b64.end());
    std::string sha1 = PkiText(L"full.sha1");
    thumb.assign(sha1.begin(), sha1.end());
    ScopedVariant r;
    ASSERT_EQ(S_OK, Call(control.Get(), dispid::kSetLogging, {Bstr(Logged() ? L"TRACE" : L"NONE")}, r.Get()));
  }

  std::vector<Method> Methods() const {
    const std::wstring hash(40, L'a');
    return {
        {"RawSignCheck", dispid::kRawSignCheck, Answer::kCode, {Kind::kText, Kind::kText, Kind::kText}, {L"F12345", thumb, L"SHA1"}},
        {"RawSign", dispid::kRawSign, Answer::kArray, {Kind::kText, Kind::kText, Kind::kText, Kind::kText},
         {hash, L"F12345", thumb, L"SHA1"}},
        {"SetLogging", dispid::kSetLogging, Answer::kArray, {Kind::kText}, {Logged() ? L"TRACE" : L"NONE"}},
        {"CertEnum", dispid::kCertEnum, Answer::kArray, {Kind::kNumber}, {L"387"}},
        {"CertLookup", dispid::kCertLookup, Answer::kArray, {Kind::kText, Kind::kNumber, Kind::kText}, {L"MY", L"3", L""}},
        {"CertIsValid", dispid::kCertIsValid, Answer::kCode, {Kind::kText, Kind::kNumber}, {cert, L"131"}},
        {"CertGetInfo", dispid::kCertGetInfo, Answer::kArray, {Kind::kText, Kind::kNumber}, {cert, L"0"}},
        {"CertHasPrivateKey", dispid::kCertHasPrivateKey, Answer::kCode, {Kind::kText}, {cert}},
        {"CertChainIsValid", dispid::kCertChainIsValid, Answer::kCode, {Kind::kText}, {cert}},
        // Only ever called with a hostile certificate: a sound one opens a
        // modal dialog.
        {"CertDisplay", dispid::kCertDisplay, Answer::kCode, {Kind::kText}, {L""}},
        {"SignPKCS7", dispid::kSignPKCS7, Answer::kArray, {Kind::kText, Kind::kText, Kind::kText}, {cert, L"YWJj", L"SHA1"}},
        {"SignRaw", dispid::kSignRaw, Answer::kArray, {Kind::kText, Kind::kText, Kind::kText}, {cert, hash, L"SHA1"}},
        {"BinaryToString", dispid::kBinaryToString, Answer::kArray, {Kind::kBytes, Kind::kNumber, Kind::kNumber}, {L"", L"16", L"1"}},
        {"StringToBinary", dispid::kStringToBinary, Answer::kArray, {Kind::kText, Kind::kNumber}, {L"AQID", L"1"}},
        {"LocalTimeToUTCTime", dispid::kLocalTimeToUTCTime, Answer::kArray, {Kind::kText}, {L"2020/01/01 10:00:00"}},
        {"LibGetInfo", dispid::kLibGetInfo, Answer::kArray, {Kind::kNumber}, {L"0"}},
    };
  }

  VARIANT Default(Kind kind, const std::wstring& value) const {
    if (kind == Kind::kText) return Bstr(value.c_str());
    if (kind == Kind::kNumber) return I4(wcstol(value.c_str(), nullptr, 10));
    VARIANT v;
    VariantInit(&v);
    V_VT(&v) = VT_ARRAY | VT_UI1;
    V_ARRAY(&v) = SafeArrayCreateVector(VT_UI1, 0, 16);
    return v;
  }

  // A result code of the control's table (codes above the last with a text
  // are answered without one).
  static bool Defined(long code) { return code >= rc::kOk && code <= rc::kLastCode; }

  static ::testing::AssertionResult DefinedAnswer(const Method& m, HRESULT hr, const VARIANT& answer) {
    if (FAILED(hr)) {
      if (HRESULT_FACILITY(hr) == FACILITY_DISPATCH) return ::testing::AssertionSuccess();
      return ::testing::AssertionFailure() << "HRESULT 0x" << std::hex << hr;
    }
    if (m.answer == Answer::kCode) {
      if (V_VT(&answer) != VT_I4) return ::testing::AssertionFailure() << "answer type " << V_VT(&answer);
      if (!Defined(V_I4(&answer))) return ::testing::AssertionFailure() << "code " << V_I4(&answer);
      return ::testing::AssertionSuccess();
    }
    long code = AnswerCode(answer);
    if (V_VT(&answer) != (VT_ARRAY | VT_VARIANT)) return ::testing::AssertionFailure() << "answer type " << V_VT(&answer);
    if (!Defined(code)) return ::testing::AssertionFailure() << "code " << code;
    return ::testing::AssertionSuccess();
  }

  ComScope com;
  ComPtr<IDispatch> control;
  std::wstring cert, thumb;
};

TEST_F(HostileInput, EveryArgumentOfEveryMethodGivesADefinedAnswer) {
  const bool logged = Logged();
  int calls = 0;
  for (const Method& m : Methods()) {
    for (size_t position = 0; position < m.kinds.size(); ++position) {
      std::vector<hostile::Value> values = m.kinds[position] == Kind::kText     ? hostile::TextValues(control.Get())
                                           : m.kinds[position] == Kind::kNumber ? hostile::NumberValues(control.Get())
                                                                                : hostile::ByteValues(control.Get());
      for (const hostile::Value& value : values) {
        if (logged && value.huge) continue;
        std::vector<VARIANT> args;
        for (size_t i = 0; i < m.kinds.size(); ++i)
          args.push_back(i == position ? value.make() : Default(m.kinds[i], m.defaults[i]));
        ScopedVariant answer;
        HRESULT hr = Call(control.Get(), m.id, args, answer.Get());
        ++calls;
        EXPECT_TRUE(DefinedAnswer(m, hr, *answer.Get()))
            << m.name << " argument " << position + 1 << ": " << value.name;
        ASSERT_TRUE(StillAnswers(control.Get())) << "after " << m.name << " argument " << position + 1 << ": " << value.name;
      }
    }
  }
  // Wrong argument counts and named arguments are refused whole.
  for (const Method& m : Methods()) {
    ScopedVariant answer;
    std::vector<VARIANT> tooMany;
    for (size_t i = 0; i <= m.kinds.size(); ++i) tooMany.push_back(I4(1));
    EXPECT_EQ(DISP_E_BADPARAMCOUNT, Call(control.Get(), m.id, tooMany, answer.Get())) << m.name;
    if (!m.kinds.empty()) {
      EXPECT_EQ(DISP_E_BADPARAMCOUNT, Call(control.Get(), m.id, {}, answer.Get())) << m.name;
    }
  }
  EXPECT_TRUE(StillAnswers(control.Get()));
  std::printf("%d hostile calls\n", calls);
  if (!logged) return;

  // Through the log: caller text is data, never a format, and every entry
  // in both files is whole.
  std::string directives;
  for (const wchar_t* p = hostile::kDirectives; *p; ++p) directives += static_cast<char>(*p);
  for (const std::wstring& file : robustness::LogFiles()) {
    robustness::LogFile log = robustness::ReadLog(file);
    robustness::LogCheck check = robustness::CheckLog(log);
    EXPECT_TRUE(check.whole) << robustness::Narrow(file) << ": " << check.problem;
    EXPECT_GT(check.entries, 1000u) << robustness::Narrow(file);
    const std::string& text = log.text;
    EXPECT_NE(std::string::npos, text.find(directives)) << robustness::Narrow(file) << " lost the directives";
    // Every engine the calls started released its provider once, cleanly.
    EXPECT_EQ(std::string::npos, text.find("The context could not be released.")) << robustness::Narrow(file);
    // An argument is written up to 4,096 characters, then says how much
    // was left out.
    EXPECT_NE(std::string::npos,
              text.find("[" + std::string(4096, 'A') + "... [" + std::to_string((1 << 20) - 4096) + " more characters]]"))
        << robustness::Narrow(file) << " does not hold the 1 MB text's first 4,096 characters and the count left out";
    EXPECT_EQ(std::string::npos, text.find(std::string(4097, 'A'))) << robustness::Narrow(file);
  }
  EXPECT_EQ(2u, robustness::LogFiles().size()) << "a temporary-directory log and a LogDir log";
}

}  // namespace
