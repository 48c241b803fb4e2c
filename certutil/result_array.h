#pragma once
#include <windows.h>
#include <oleauto.h>

#include "certutil/result_code.h"
#include "framework/ole_safe_array.h"

// The answer of most methods: a one-dimensional array of VARIANT, lower
// bound 0, element 0 the result code as VT_I4, then the method's values.
// These raise framework::OleException when the platform's array functions
// fail.
namespace norelCertInfoUtl {

void nrlCOleSafeArrayCreate(framework::COleSafeArray& array, ResultCode code);
// Appends a copy of `value` and clears `value` (also when appending fails).
void nrlCOleSafeArrayAppend(framework::COleSafeArray& array, VARIANT* value);
void nrlCOleSafeArraySetRes(framework::COleSafeArray& array, ResultCode code);

// Appends a text element; an empty or null text is a VT_BSTR with a null
// string pointer.
void nrlAppendText(framework::COleSafeArray& array, const wchar_t* text);
void nrlAppendText(framework::COleSafeArray& array, const wchar_t* text, size_t length);

}  // namespace norelCertInfoUtl
