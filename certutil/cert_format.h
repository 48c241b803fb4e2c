#pragma once
#include <windows.h>
#include <wincrypt.h>

#include <string>

#include "certutil/result_code.h"

// Certificate fields as text. Texts handed out are C heap blocks the caller
// frees; the serial number and thumbprint append to a string the caller
// passes.
namespace norelCertInfoUtl {

ResultCode nrlCertNameToStr(const CERT_NAME_BLOB* name, wchar_t** text);
ResultCode nrlCertEmailToStr(PCCERT_CONTEXT cert, wchar_t** text);
ResultCode nrlCertSubjectNameSimpleToStr(PCCERT_CONTEXT cert, wchar_t** text);
ResultCode nrlCertIssuerNameSimpleToStr(PCCERT_CONTEXT cert, wchar_t** text);
ResultCode nrlCertSerialNumberToStr(const CRYPT_INTEGER_BLOB* serial, std::wstring& text);
ResultCode nrlCertThumbprintToStr(PCCERT_CONTEXT cert, std::wstring& text);
ResultCode nrlFileTimeToStr(const FILETIME* utc, wchar_t** text);
// The decoded subject alternative name (current or old OID), or null; it
// points into the certificate's encoding. Free with free().
ResultCode nrlCertGetAltNameInfo(PCCERT_CONTEXT cert, CERT_ALT_NAME_INFO** info);
// The extension's one-line text, with every object identifier in dotted
// form; false when the certificate has no such extension.
bool nrlCertExtensionToStr(PCCERT_CONTEXT cert, const char* oid, wchar_t** text);
ResultCode nrlCertKeyUsageToStr(PCCERT_CONTEXT cert, wchar_t** text);

// The time text form "%04d/%02d/%02d %02d:%02d:%02d".
std::wstring FormatTimeText(const SYSTEMTIME& t);

}  // namespace norelCertInfoUtl
