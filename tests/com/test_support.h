#pragma once
#include <windows.h>
#include <oleauto.h>
#include <ocidl.h>

#include <string>
#include <vector>

#include "certutil/crypt_handles.h"

namespace testing_support {

// The module under test (Windows path), from TESSARN_MODULE.
std::wstring ModulePath();
std::wstring GuidText(const GUID& guid);

// The control as a page container makes it: by ProgID, then initialised.
enum class Init { kNone, kPropertyBag, kStreamInit };
ComPtr<IDispatch> CreateControl(Init init = Init::kPropertyBag);

// Invokes a method by DISPID with the given arguments (first argument
// first); returns the HRESULT, the answer in *result.
// A DISP_E_EXCEPTION's own code goes to *exception.
HRESULT Call(IDispatch* d, DISPID id, std::vector<VARIANT> args, VARIANT* result, UINT* argError = nullptr,
             SCODE* exception = nullptr);
VARIANT Bstr(const wchar_t* text);
VARIANT I4(long value);

// The elements of a method's answer array.
std::vector<std::wstring> AnswerTexts(const VARIANT& answer, long* code);
// A method's result code: the whole answer, or the first element of its
// answer array (-1 when it has neither shape).
long AnswerCode(const VARIANT& answer);
// Whether the control still answers LibGetInfo(0) with code 0.
bool StillAnswers(IDispatch* control);

// Registry helpers (HKEY_CLASSES_ROOT in this process's view).
// A script variable holding a byte array (`holder`) as it arrives by
// reference: the array by reference, or a VARIANT by reference that holds
// it. The holder still owns the array.
VARIANT ByteArrayByRef(VARIANT* holder, bool inVariant);

// `view` may name a registry view (KEY_WOW64_32KEY or KEY_WOW64_64KEY);
// 0 reads the program's own.
bool KeyExists(HKEY root, const std::wstring& path, REGSAM view = 0);
std::wstring ReadString(HKEY root, const std::wstring& path, const wchar_t* name, bool* found = nullptr,
                        REGSAM view = 0);

// COM for the calling thread (a single-threaded apartment, as a page's
// thread has). A failed initialisation is a test failure, and Result()
// gives it to programs that are not gtest tests.
class ComScope {
 public:
  ComScope();
  ~ComScope();
  ComScope(const ComScope&) = delete;
  ComScope& operator=(const ComScope&) = delete;
  HRESULT Result() const { return m_result; }

 private:
  HRESULT m_result;
};

}  // namespace testing_support
