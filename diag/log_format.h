#pragma once
#include <cstdarg>
#include <string>

namespace diag {

// printf-style formatting with the Windows wide conventions that every log
// format in this module is written for: %s and %c take wide text, %hs/%S and
// %hc/%C narrow. The result grows to any length, so an argument of any size
// (a 100 KB certificate text) is formatted whole. %n is never honoured: it
// writes nothing and consumes nothing. Control characters of text arguments
// (%s, %c: below 0x20, and 0x7F) are written as \uXXXX, the form the log
// uses for what it cannot write, so an argument never breaks its entry's
// line; the format's own line breaks stay.
std::wstring FormatV(const wchar_t* format, va_list args);
// As FormatV, with every text argument (%s) cut as a log entry holds it
// (diag/log_limits.h).
std::wstring FormatEntryV(const wchar_t* format, va_list args);
std::wstring Format(const wchar_t* format, ...);

// The bytes written into a log file for a wide text. ASCII characters are
// written as they are; any other character is written as the current C
// runtime locale encodes it, and where that locale has no byte form for it,
// as the escape \uXXXX (its UTF-16 code unit in upper-case hexadecimal). Log
// lines thus stay lossless for ASCII, and nothing is dropped silently.
std::string ToLogBytes(const std::wstring& text);

// Bytes as a text-mode stream writes them: every line feed becomes CR LF
// (a CR already before it stays, as the stream keeps it too).
std::string ToTextMode(const std::string& bytes);

// The value of a text's leading decimal digits, after optional white space
// and one optional sign; 0 when there are none. Out-of-range values clamp.
long ParseLeadingInt(const wchar_t* text);

}  // namespace diag
