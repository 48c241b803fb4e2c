// COM task memory over calls from a page that names itself by its
// container's moniker (as the bridge host sites the control): every gated
// call reads the moniker's display name, a block of task memory the control
// must free. A spy on the task allocator (IMallocSpy) counts the blocks
// handed out and freed while the calls run; handle counts do not show such
// a leak.
#include <gtest/gtest.h>

#include <cstdio>

#include "tests/com/test_support.h"
#include "tests/host/page_site.h"
#include "tests/support/dispids.h"
#include "tests/support/settings.h"

using namespace testing_support;

namespace {

// Counts the task allocator's blocks: those handed out while the spy is
// registered, and those of them freed again.
class CountingSpy : public IMallocSpy {
 public:
  LONG Outstanding() const { return m_allocated - m_freed; }
  LONG Allocated() const { return m_allocated; }

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
    *object = IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IMallocSpy) ? this : nullptr;
    return *object ? S_OK : E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }

  SIZE_T STDMETHODCALLTYPE PreAlloc(SIZE_T bytes) override { return bytes; }
  void* STDMETHODCALLTYPE PostAlloc(void* block) override {
    if (block) InterlockedIncrement(&m_allocated);
    return block;
  }
  void* STDMETHODCALLTYPE PreFree(void* block, BOOL spied) override {
    if (block && spied) InterlockedIncrement(&m_freed);
    return block;
  }
  void STDMETHODCALLTYPE PostFree(BOOL) override {}
  // A reallocation from nothing hands a block out; one to no bytes frees it.
  SIZE_T STDMETHODCALLTYPE PreRealloc(void* block, SIZE_T bytes, void** request, BOOL spied) override {
    *request = block;
    m_reallocFromNothing = block == nullptr;
    if (block && bytes == 0 && spied) InterlockedIncrement(&m_freed);
    return bytes;
  }
  void* STDMETHODCALLTYPE PostRealloc(void* block, BOOL) override {
    if (block && m_reallocFromNothing) InterlockedIncrement(&m_allocated);
    return block;
  }
  void* STDMETHODCALLTYPE PreGetSize(void* block, BOOL) override { return block; }
  SIZE_T STDMETHODCALLTYPE PostGetSize(SIZE_T bytes, BOOL) override { return bytes; }
  void* STDMETHODCALLTYPE PreDidAlloc(void* block, BOOL) override { return block; }
  int STDMETHODCALLTYPE PostDidAlloc(void*, BOOL, int actual) override { return actual; }
  void STDMETHODCALLTYPE PreHeapMinimize() override {}
  void STDMETHODCALLTYPE PostHeapMinimize() override {}

 private:
  LONG m_allocated = 0;
  LONG m_freed = 0;
  bool m_reallocFromNothing = false;
};

constexpr int kCalls = 40;

TEST(TaskMemory, MonikerSitedCallsFreeEveryBlockTheyTake) {
  ComScope com;
  const wchar_t allowed[] = L"https://example.cz\0";
  ASSERT_TRUE(WriteRegistryValue(HKEY_CURRENT_USER, kSettingsKey, L"AllowedOrigins", REG_MULTI_SZ, allowed,
                                 sizeof(allowed)));
  ComPtr<IDispatch> control = CreateControl();
  ASSERT_TRUE(control);
  PageOptions page;
  page.monikerUrl = L"https://example.cz/sign.html";
  ASSERT_TRUE(SiteControl(control.Get(), page));
  auto call = [&] {
    ScopedVariant r;
    EXPECT_EQ(S_OK, Call(control.Get(), dispid::kGetLogging, {}, r.Get()));
    return AnswerCode(*r.Get());
  };
  // The origin is allowed: each call reads the moniker and goes through.
  ASSERT_EQ(0, call()) << "the moniker's origin was not allowed";
  for (int i = 0; i < 3; ++i) call();  // caches and first-use work

  CountingSpy spy;
  ASSERT_EQ(S_OK, CoRegisterMallocSpy(&spy));
  for (int i = 0; i < kCalls; ++i) call();
  LONG allocated = spy.Allocated(), outstanding = spy.Outstanding();
  // The spy stays registered (CoRevokeMallocSpy refuses) while any block it
  // saw is still out; the count is taken first.
  CoRevokeMallocSpy();
  std::printf("task memory over %d calls: %ld blocks taken, %ld of them not freed\n", kCalls,
              static_cast<long>(allocated), static_cast<long>(outstanding));
  EXPECT_GE(allocated, kCalls) << "the calls took no task memory: the moniker's display name was never read";
  EXPECT_LE(outstanding, kCalls / 4) << outstanding << " of " << allocated << " task memory blocks taken over "
                                     << kCalls << " moniker-sited calls were never freed "
                                     << "(the moniker's display name, CoTaskMemTraits)";
  UnsiteControl(control.Get());
}

}  // namespace
