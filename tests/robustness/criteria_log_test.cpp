// CertEnum with every selection bit set answers every certificate whichever
// markers it carries, so it needs no extension text; the texts' trace lines
// are still written whenever a log would write them. Each group runs in a
// process (and Wine prefix) of its own: the log's settings are read when the
// module loads.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <iterator>
#include <set>
#include <string>
#include <vector>

#include "tests/certutil/pki.h"
#include "tests/com/test_support.h"
#include "tests/host/pki_stores.h"
#include "tests/robustness/log_files.h"
#include "tests/support/dispids.h"

using namespace testing_support;

namespace {

// Certificates of "MY" that may sign: the enhanced-key-usage marker, the
// alternative-name marker in both its forms, and no marker at all (with
// and without the two extensions); one expired, which only criteria
// without validation accept.
const wchar_t* const kMarked[] = {L"ekumarker", L"altmarker", L"altvariant"};
const wchar_t* const kUnmarked[] = {L"full", L"dns", L"othername", L"plain"};
const wchar_t kExpired[] = L"expired";

// The trace lines of the extension texts, in the order the log files hold
// them (only one file is written in each group).
std::vector<std::string> ExtensionLines() {
  std::vector<std::string> lines;
  for (const std::wstring& file : robustness::LogFiles()) {
    for (const std::string& body : robustness::EntryBodies(robustness::ReadLog(file)))
      if (body.compare(0, 10, "Extension ") == 0) lines.push_back(body);
  }
  return lines;
}

class CriteriaLog : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(AddCertificate(L"Root", L"root"));
    ASSERT_TRUE(AddCertificate(L"CA", L"ca"));
    for (const wchar_t* name : kMarked) ASSERT_TRUE(ImportWithKey(name));
    for (const wchar_t* name : kUnmarked) ASSERT_TRUE(ImportWithKey(name));
    ASSERT_TRUE(ImportWithKey(kExpired));
  }

  void Start(const wchar_t* level) {
    control = CreateControl();
    ASSERT_TRUE(control);
    ScopedVariant r;
    ASSERT_EQ(S_OK, Call(control.Get(), dispid::kSetLogging, {Bstr(level)}, r.Get()));
  }

  // The certificates CertEnum answers, by name, and the extension lines the
  // call wrote.
  std::set<std::wstring> Enum(long criteria, std::vector<std::string>* lines) {
    size_t before = ExtensionLines().size();
    ScopedVariant r;
    EXPECT_EQ(S_OK, Call(control.Get(), dispid::kCertEnum, {I4(criteria)}, r.Get()));
    long code = -1;
    std::vector<std::wstring> texts = AnswerTexts(*r.Get(), &code);
    EXPECT_EQ(0, code);
    std::vector<const wchar_t*> all(std::begin(kMarked), std::end(kMarked));
    all.insert(all.end(), std::begin(kUnmarked), std::end(kUnmarked));
    all.push_back(kExpired);
    std::set<std::wstring> names;
    for (const std::wstring& text : texts) {
      std::wstring name = L"?";
      for (const wchar_t* candidate : all)
        if (text == PkiWide(std::wstring(candidate) + L".b64")) name = candidate;
      names.insert(name);
    }
    std::vector<std::string> after = ExtensionLines();
    lines->assign(after.begin() + static_cast<std::ptrdiff_t>(std::min(before, after.size())), after.end());
    return names;
  }

  // Every selection bit, with and without validation: every certificate
  // (every valid one), and the same extension lines as the criteria whose
  // answer the texts decide (the two marker bits), which render the same
  // texts in the same order; none when the log writes nothing.
  void CheckEverySelection(bool logged) {
    const std::set<std::wstring> marked(std::begin(kMarked), std::end(kMarked));
    std::set<std::wstring> valid = marked;
    valid.insert(std::begin(kUnmarked), std::end(kUnmarked));
    std::set<std::wstring> every = valid;
    every.insert(kExpired);
    struct Pair {
      long all, markers;
      const std::set<std::wstring>& expected;
    } pairs[] = {{0x183, 0x103, every}, {0x083, 0x003, valid}};
    for (const Pair& p : pairs) {
      SCOPED_TRACE(testing::Message() << "criteria 0x" << std::hex << p.all);
      std::vector<std::string> allLines, markerLines;
      EXPECT_EQ(p.expected, Enum(p.all, &allLines));
      EXPECT_EQ(marked, Enum(p.markers, &markerLines));
      if (!logged) {
        EXPECT_TRUE(allLines.empty());
        continue;
      }
      EXPECT_EQ(markerLines, allLines) << "the same texts rendered, in the same order";
      auto has = [&](const char* oid, const char* marker) {
        return std::any_of(allLines.begin(), allLines.end(), [&](const std::string& line) {
          return line.find(std::string("Extension ") + oid + " value >") == 0 && line.find(marker) != std::string::npos;
        });
      };
      EXPECT_TRUE(has("2.5.29.37", "1.2.203.6947.2.3.1.1.1")) << "the enhanced key usage's marker";
      EXPECT_TRUE(has("2.5.29.17", "1.3.6.1.4.1.11801.2.1")) << "the alternative name's marker";
      EXPECT_TRUE(has("2.5.29.17", "1.3.3.6.1.4.1.11801.2.1")) << "the alternative name's variant marker";
    }
  }

  ComScope com;
  ComPtr<IDispatch> control;
};

TEST_F(CriteriaLog, LogOff) {
  Start(L"NONE");
  CheckEverySelection(false);
  EXPECT_TRUE(robustness::LogFiles().empty()) << "nothing written";
}

TEST_F(CriteriaLog, TemporaryLogAtTrace) {
  Start(L"TRACE");
  CheckEverySelection(true);
}

// Below TRACE the temporary-directory log writes no extension line.
TEST_F(CriteriaLog, TemporaryLogAtDebug) {
  Start(L"DEBUG");
  CheckEverySelection(false);
}

// The directory log writes every level, whatever the temporary-directory
// log's level.
TEST_F(CriteriaLog, DirectoryLog) {
  ASSERT_TRUE(robustness::PointLogDirAtFreshFolder());
  Start(L"NONE");
  CheckEverySelection(true);
}

}  // namespace
