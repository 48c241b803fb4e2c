#pragma once
#include <windows.h>

#include <string>

#include "certutil/result_code.h"

// The string resource ID of a code's text; 0 for codes without text.
UINT ResultTextId(ResultCode code);

constexpr int kResultTextChars = 256;

// Loads a code's text (at most 255 characters) in the calling thread's
// user-interface language: Czech for a Czech user interface, English for
// every other. Codes without text give an empty text and false.
bool LoadResultText(ResultCode code, wchar_t (&text)[kResultTextChars]);

// Any string resource of the module in the thread's user-interface language
// (as the result texts are chosen); empty when there is none.
std::wstring LoadUiText(UINT id);
