// Whatever a member throws ends as an error answer to the caller, and the
// object goes on answering: no exception crosses the COM boundary.
#include <gtest/gtest.h>

#include <new>
#include <stdexcept>

#include "framework/ole_exception.h"
#include "tests/framework/bare_control.h"

namespace {

using framework::DispatchArgs;

constexpr DISPID kRuntimeError = 1, kThrowsInt = 2, kOleError = 3, kOutOfMemory = 4, kAnswers = 5;
constexpr LONG kAnswer = 7;

void ThrowRuntimeError(void*, const DispatchArgs&, VARIANT*) { throw std::runtime_error("not expected"); }
void ThrowInt(void*, const DispatchArgs&, VARIANT*) { throw 42; }
void ThrowOle(void*, const DispatchArgs&, VARIANT*) { throw framework::OleException(E_ACCESSDENIED); }
void ThrowBadAlloc(void*, const DispatchArgs&, VARIANT*) { throw std::bad_alloc(); }
void Answer(void*, const DispatchArgs&, VARIANT* result) {
  V_VT(result) = VT_I4;
  V_I4(result) = kAnswer;
}

const framework::DispatchEntry kEntries[] = {
    {kRuntimeError, L"RuntimeError", VT_EMPTY, 0, {}, ThrowRuntimeError},
    {kThrowsInt, L"ThrowsInt", VT_EMPTY, 0, {}, ThrowInt},
    {kOleError, L"OleError", VT_EMPTY, 0, {}, ThrowOle},
    {kOutOfMemory, L"OutOfMemory", VT_EMPTY, 0, {}, ThrowBadAlloc},
    {kAnswers, L"Answers", VT_I4, 0, {}, Answer},
};
const framework::DispatchTable kTable = {kEntries, sizeof(kEntries) / sizeof(kEntries[0])};

struct ThrowCase {
  const char* thrown;
  DISPID dispid;
  SCODE scode;  // what EXCEPINFO reports
};

const ThrowCase kThrowCases[] = {
    {"std::runtime_error", kRuntimeError, E_UNEXPECTED},
    {"int", kThrowsInt, E_UNEXPECTED},
    {"OleException", kOleError, E_ACCESSDENIED},
    {"std::bad_alloc", kOutOfMemory, E_OUTOFMEMORY},
};

TEST(ExceptionBoundary, AnythingThrownIsADispatchErrorAndTheControlGoesOn) {
  framework::OleControl* control = framework_test::MakeBareControl(kTable);
  ASSERT_EQ(S_OK, static_cast<IPersistStreamInit*>(control)->InitNew());
  for (const ThrowCase& row : kThrowCases) {
    SCOPED_TRACE(row.thrown);
    DISPPARAMS none = {nullptr, nullptr, 0, 0};
    EXCEPINFO info = {};
    VARIANT result;
    VariantInit(&result);
    UINT argError = 0;
    EXPECT_EQ(DISP_E_EXCEPTION,
              control->Invoke(row.dispid, IID_NULL, 0, DISPATCH_METHOD, &none, &result, &info, &argError));
    EXPECT_EQ(row.scode, info.scode);

    // The same object still answers a member that works.
    VariantInit(&result);
    ASSERT_EQ(S_OK, control->Invoke(kAnswers, IID_NULL, 0, DISPATCH_METHOD, &none, &result, &info, &argError));
    EXPECT_EQ(VT_I4, V_VT(&result));
    EXPECT_EQ(kAnswer, V_I4(&result));
  }
  EXPECT_EQ(0u, static_cast<IDispatch*>(control)->Release());
}

}  // namespace
