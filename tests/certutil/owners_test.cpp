// The scoped owners of certutil/crypt_handles.h: what counts as no handle,
// giving up ownership, results landing in their owner, array access scopes.
#include "certutil/crypt_handles.h"

#include <gtest/gtest.h>

#include <cwchar>

#include "certutil/heap.h"

namespace {

bool KernelHandleOpen(HANDLE h) {
  DWORD flags = 0;
  return GetHandleInformation(h, &flags) != 0;
}

HANDLE OpenScratchFile() {
  wchar_t dir[MAX_PATH] = {}, path[MAX_PATH] = {};
  GetTempPathW(MAX_PATH, dir);
  GetTempFileNameW(dir, L"own", 0, path);
  return CreateFileW(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                     FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
}

TEST(ScopedHandle, NoHandleValuesAreEmpty) {
  struct Case {
    const char* name;
    HANDLE value;
  } cases[] = {{"INVALID_HANDLE_VALUE", INVALID_HANDLE_VALUE}, {"null", nullptr}};
  for (const Case& c : cases) {
    ScopedFileHandle owner(c.value);
    EXPECT_FALSE(owner) << c.name;
    owner.Reset();  // nothing to close, nothing closed
    EXPECT_EQ(INVALID_HANDLE_VALUE, owner.Get()) << c.name;
  }
  EXPECT_EQ(INVALID_HANDLE_VALUE, ScopedFileHandle().Get());
  EXPECT_EQ(nullptr, ScopedRegKey().Get());
  EXPECT_FALSE(ScopedRegKey());
}

TEST(ScopedHandle, ClosesOnScopeEndAndDetachGivesUpOwnership) {
  HANDLE closed = OpenScratchFile();
  ASSERT_NE(INVALID_HANDLE_VALUE, closed);
  { ScopedFileHandle owner(closed); }
  EXPECT_FALSE(KernelHandleOpen(closed));

  ScopedFileHandle owner(OpenScratchFile());
  ASSERT_TRUE(owner);
  HANDLE kept = owner.Detach();
  EXPECT_FALSE(owner);
  EXPECT_EQ(INVALID_HANDLE_VALUE, owner.Get());
  owner.Reset();
  EXPECT_TRUE(KernelHandleOpen(kept));
  EXPECT_TRUE(CloseHandle(kept));
}

TEST(ScopedHandle, MoveLeavesTheSourceEmpty) {
  ScopedFileHandle first(OpenScratchFile());
  ASSERT_TRUE(first);
  HANDLE h = first.Get();
  ScopedFileHandle second(std::move(first));
  EXPECT_FALSE(first);
  EXPECT_EQ(h, second.Get());
}

bool WriteCopy(const wchar_t* text, wchar_t** out) {
  *out = _wcsdup(text);
  return *out != nullptr;
}

TEST(OutParam, ResultLandsInItsOwner) {
  MallocPtr<wchar_t> text(_wcsdup(L"replaced"));
  ASSERT_TRUE(WriteCopy(L"written", OutParam(text)));
  ASSERT_TRUE(text);
  EXPECT_STREQ(L"written", text.get());

  ScopedCoTaskMem<wchar_t> task;
  ASSERT_EQ(S_OK, StringFromCLSID(CLSID_NULL, OutParam(task)));
  ASSERT_TRUE(task);
  EXPECT_EQ(L'{', task.Get()[0]);
  wchar_t* detached = task.Detach();
  EXPECT_FALSE(task);
  CoTaskMemFree(detached);
}

TEST(SafeArrayAccess, LocksForTheScopeOnly) {
  SAFEARRAY* array = SafeArrayCreateVector(VT_UI1, 0, 4);
  ASSERT_NE(nullptr, array);
  {
    SafeArrayAccess access(array);
    ASSERT_NE(nullptr, access.Data());
    static_cast<BYTE*>(access.Data())[3] = 0x5A;
    EXPECT_EQ(DISP_E_ARRAYISLOCKED, SafeArrayDestroy(array));  // locked while accessed
  }
  LONG index = 3;
  BYTE value = 0;
  EXPECT_EQ(S_OK, SafeArrayGetElement(array, &index, &value));
  EXPECT_EQ(0x5A, value);
  EXPECT_EQ(S_OK, SafeArrayDestroy(array));  // unlocked at the scope's end

  SafeArrayAccess none(nullptr);
  EXPECT_EQ(nullptr, none.Data());
  EXPECT_EQ(E_INVALIDARG, none.Result());
}

TEST(ScopedSafeArrayLock, HoldsTheLockUntilItsEnd) {
  ScopedSafeArray array(SafeArrayCreateVector(VT_UI1, 0, 4));
  ASSERT_TRUE(array);
  ASSERT_EQ(S_OK, SafeArrayLock(array.Get()));
  {
    ScopedSafeArrayLock lock(array.Get());
    EXPECT_EQ(DISP_E_ARRAYISLOCKED, SafeArrayDestroy(array.Get()));
  }
  SAFEARRAY* released = array.Detach();
  EXPECT_EQ(S_OK, SafeArrayDestroy(released));  // the lock's end unlocked it
}

// A release the platform refuses: the engine logs the answer and never tries
// the same handle again.
struct RecordedClose {
  static int calls;
  static int lastClosed;
  static LONG answer;
  static LONG Close(int handle) {
    ++calls;
    lastClosed = handle;
    return answer;
  }
};
int RecordedClose::calls = 0;
int RecordedClose::lastClosed = 0;
LONG RecordedClose::answer = 0;

TEST(ScopedHandle, CloseReportingAnswersThePlatformAndEmptiesTheOwner) {
  struct Case {
    const char* name;
    LONG answer;
  } cases[] = {{"release accepted", 0}, {"release refused", 6}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    RecordedClose::calls = 0;
    RecordedClose::answer = c.answer;
    {
      ScopedHandle<int, RecordedClose> owner(42);
      EXPECT_EQ(c.answer, owner.CloseReporting());
      EXPECT_EQ(42, RecordedClose::lastClosed);
      EXPECT_FALSE(owner);
    }
    EXPECT_EQ(1, RecordedClose::calls);  // the owner's end does not close again
  }
}

}  // namespace
