#pragma once
#include <windows.h>
#include <oleauto.h>
#include <wincrypt.h>

#include "certutil/result_code.h"

// Thin wrappers of the platform's text encoders, taking the caller's
// CRYPT_STRING_* flags. Blocks handed out are C heap blocks the caller frees.
namespace norelCertInfoUtl {

constexpr DWORD kBase64 = CRYPT_STRING_BASE64;
constexpr DWORD kBase64OneLine = CRYPT_STRING_BASE64 | CRYPT_STRING_NOCRLF;
constexpr DWORD kHex = CRYPT_STRING_HEX;

ResultCode nrlConvBinaryToString(const BYTE* bytes, DWORD length, DWORD flags, wchar_t** text);
ResultCode nrlConvStringToBinary(const wchar_t* text, DWORD flags, BYTE** bytes, DWORD* length);
// The same conversions, written by the platform straight into the value an
// Automation answer carries: a megabyte is then made once, where it ends,
// instead of in a heap block first and copied into the answer after. Codes
// and log lines are those of the two above, and so is the value: the text
// up to its first null character, which is handed out as a null BSTR when
// it is empty; the bytes as a byte array (VT_UI1, one dimension, lower
// bound 0) of exactly the decoded count. The caller frees what is handed
// out; on failure nothing is.
ResultCode nrlConvBinaryToBstr(const BYTE* bytes, DWORD length, DWORD flags, BSTR* text);
ResultCode nrlConvStringToByteArray(const wchar_t* text, DWORD flags, SAFEARRAY** bytes);
// Base64 of a DER certificate to a context the caller frees with
// CertFreeCertificateContext. The out context is only set on success.
ResultCode nrlStringBase64ToCertContext(const wchar_t* text, PCCERT_CONTEXT* cert);
// One line of base64, no header, no line breaks.
ResultCode nrlCertInfoToStringBase64(PCCERT_CONTEXT cert, wchar_t** text);

}  // namespace norelCertInfoUtl
