// The memory of the user's denials, on a clock the test advances: which
// calls are refused without a question, and when the questions come back.
#include <gtest/gtest.h>

#include "sitelock/consent_memory.h"
#include "sitelock/url_origin.h"

using namespace sitelock;

namespace {

class Memory : public ::testing::Test {
 protected:
  Origin OriginOf(const wchar_t* url) { return CallerFromUrl(url).origin; }
  // Whether a page would see the question now; a question shown is answered
  // "Deny" when `deny`, as a user worn down by a page would not.
  bool Asks(const wchar_t* page, bool deny = true) {
    Origin origin = OriginOf(page);
    if (memory.Remembered(page, origin) != Recall::kNothing) return false;
    ++questions;
    if (deny) memory.RecordDenial(page, origin);
    return true;
  }

  uint64_t now = 1000;
  ConsentMemory memory{[this] { return now; }};
  int questions = 0;
};

TEST_F(Memory, ADeniedPageIsNotAskedAgain) {
  EXPECT_TRUE(Asks(L"https://a.example/sign?x=1"));
  EXPECT_EQ(Recall::kPageDenied, memory.Remembered(L"https://a.example/sign?x=1", OriginOf(L"https://a.example/")));
  EXPECT_EQ(Recall::kPageDenied, memory.Remembered(L"https://a.example/sign?x=1#again", OriginOf(L"https://a.example/")))
      << "a fragment is the same page";
  now += 24ull * 60 * 60 * 1000;
  EXPECT_FALSE(Asks(L"https://a.example/sign?x=1")) << "a page's denial does not wear off";
  EXPECT_TRUE(Asks(L"https://a.example/other")) << "another page of the origin is asked";
  EXPECT_TRUE(Asks(L"https://b.example/sign?x=1")) << "another origin is asked";
  EXPECT_EQ(3, questions);
}

TEST_F(Memory, AnOriginDeniedThreeTimesIsQuietForTenMinutes) {
  // A page that makes a new address for each question.
  for (int i = 0; i < 40; ++i) {
    std::wstring page = L"https://pester.example/?n=" + std::to_wstring(i);
    Asks(page.c_str());
    now += 1000;
  }
  EXPECT_EQ(kDenialsBeforeQuiet, questions) << "three questions, then quiet";
  EXPECT_EQ(Recall::kOriginQuiet, memory.Remembered(L"https://pester.example/new", OriginOf(L"https://pester.example/")));
  EXPECT_TRUE(Asks(L"https://other.example/")) << "other origins are still asked";
  questions = 0;

  // The quiet period lasts kQuietMs from the third denial (at 3000).
  now = 3000 + kQuietMs - 1;
  EXPECT_FALSE(Asks(L"https://pester.example/late"));
  now += 1;
  EXPECT_TRUE(Asks(L"https://pester.example/late"));
  EXPECT_FALSE(Asks(L"https://pester.example/late")) << "that page's denial holds";
  EXPECT_TRUE(Asks(L"https://pester.example/late2"));
  EXPECT_TRUE(Asks(L"https://pester.example/late3"));
  EXPECT_FALSE(Asks(L"https://pester.example/late4")) << "three more denials: quiet again";
  EXPECT_EQ(3, questions);
}

TEST_F(Memory, AllowingDoesNotCountAndPagesOfOneOriginShareTheCount) {
  EXPECT_TRUE(Asks(L"https://mixed.example/a", false));
  EXPECT_TRUE(Asks(L"https://mixed.example/a", false)) << "an allowed question leaves nothing behind";
  EXPECT_TRUE(Asks(L"https://mixed.example/b"));
  EXPECT_TRUE(Asks(L"https://mixed.example:8443/b")) << "another port is another origin";
  EXPECT_TRUE(Asks(L"https://mixed.example/c"));
  EXPECT_TRUE(Asks(L"https://mixed.example:8443/c"));
  EXPECT_TRUE(Asks(L"https://mixed.example/d"));
  EXPECT_FALSE(Asks(L"https://mixed.example/e"));
  EXPECT_TRUE(Asks(L"https://mixed.example:8443/e"));
  EXPECT_FALSE(Asks(L"https://mixed.example:8443/f"));
}

TEST_F(Memory, ManyPagesDoNotGrowItWithoutBoundNorLetAPageBeAskedEndlessly) {
  for (size_t i = 0; i < kMaxRememberedPages + 10; ++i) {
    std::wstring page = L"https://site" + std::to_wstring(i) + L".example/";
    memory.RecordDenial(page, OriginOf(page.c_str()));
  }
  EXPECT_EQ(Recall::kNothing, memory.Remembered(L"https://site0.example/", OriginOf(L"https://site0.example/")))
      << "the oldest page was let go";
  EXPECT_EQ(Recall::kPageDenied,
            memory.Remembered(L"https://site1033.example/", OriginOf(L"https://site1033.example/")));
  EXPECT_TRUE(memory.HoldsAny());
}

TEST(ConsentMemoryKey, TheFragmentIsNotPartOfThePage) {
  EXPECT_EQ(L"https://a.example/p?q=1", ConsentMemory::PageKey(L"https://a.example/p?q=1#frag"));
  EXPECT_EQ(L"https://a.example", ConsentMemory::PageKey(L"https://a.example"));
}

}  // namespace
