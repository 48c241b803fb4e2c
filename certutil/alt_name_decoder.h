#pragma once
#include <windows.h>
#include <wincrypt.h>

namespace norelCertInfoUtl {

// Decodes a GeneralNames value (a subject alternative name extension) into
// one C heap block laid out as CryptDecodeObject lays out
// CERT_ALT_NAME_INFO; null when the data is not sound. Wine's decoder
// refuses any list holding an other name, which Windows decodes.
CERT_ALT_NAME_INFO* DecodeAltNameFallback(const BYTE* data, DWORD size);

}  // namespace norelCertInfoUtl
