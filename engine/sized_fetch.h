#pragma once
#include <windows.h>

#include <utility>

#include "certutil/heap.h"
#include "certutil/result_code.h"
#include "diag/log.h"

// The platform's two-call pattern: ask the size of a result, allocate it,
// fetch it. Each caller keeps its own log lines, given here.
struct SizedFetchTexts {
  // Traced before each step; null writes nothing. A line may hold one %s,
  // filled with the caller's subject.
  const wchar_t* askTrace;
  const wchar_t* allocateTrace;
  const wchar_t* fetchTrace;
  // Errors; the two failures hold one %ld or %lx, filled with the error code.
  const wchar_t* sizeFailed;
  const wchar_t* noMemory;
  const wchar_t* fetchFailed;
};

// `call(buffer, &size)` is the platform call; a null buffer asks the size.
// Calls that answer the size query with ERROR_MORE_DATA set
// `moreDataGivesSize`. `beforeFetch()` runs between allocating and fetching.
// On success *out holds the result and *size its length.
template <class Call, class BeforeFetch>
ResultCode FetchSized(const SizedFetchTexts& t, const wchar_t* subject, ResultCode failed, bool moreDataGivesSize,
                      Call call, BeforeFetch beforeFetch, MallocPtr<BYTE>* out, DWORD* size) {
  *size = 0;
  if (t.askTrace) theLog.Trace(t.askTrace, subject);
  if (!call(nullptr, size) && !(moreDataGivesSize && GetLastError() == ERROR_MORE_DATA)) {
    theLog.Error(t.sizeFailed, static_cast<long>(GetLastError()));
    return failed;
  }
  if (t.allocateTrace) theLog.Trace(t.allocateTrace, subject);
  auto buffer = AllocZeroed<BYTE>(*size);
  if (!buffer) {
    theLog.Error(t.noMemory);
    return rc::kNoMemory;
  }
  beforeFetch();
  if (t.fetchTrace) theLog.Trace(t.fetchTrace, subject);
  if (!call(buffer.get(), size)) {
    theLog.Error(t.fetchFailed, static_cast<long>(GetLastError()));
    return failed;
  }
  *out = std::move(buffer);
  return rc::kOk;
}

inline void NothingBeforeFetch() {}
