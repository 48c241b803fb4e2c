#pragma once
#include <windows.h>
#include <wincrypt.h>

#include "certutil/result_code.h"

// The shared conversions and checks of the engine's classes. It holds no
// data; blocks it hands out are C heap blocks the caller frees.
class CCryptCommon {
 public:
  // Lower-case hexadecimal, two characters per byte.
  static ResultCode Binary2String(const BYTE* bytes, DWORD length, wchar_t** text);
  // Either case; characters 0x20 and below are dropped first; any other
  // non-hexadecimal character counts as nibble 0.
  static ResultCode String2Binary(const wchar_t* text, BYTE** bytes, DWORD* length);
  static void BinaryMirror(BYTE* bytes, DWORD length);
  // Drops every character 0x20 or below, wherever it stands.
  static ResultCode Trim(const wchar_t* text, wchar_t** out);
  // Drops leading "00" pairs, then shortens a leading run of F to fewer than
  // four.
  static ResultCode TrimSerial(const wchar_t* text, wchar_t** out);
  static wchar_t* UpperCase(wchar_t* text);

  // 0 when the serial-number text names the certificate's serial number, 1
  // when it does not, otherwise the failing step's code.
  ResultCode CheckSerial(PCCERT_CONTEXT cert, const wchar_t* serial) const;

  // True when the certificate's private key is reachable and its key usage
  // allows signing.
  bool ValidateCertificatePrivateKey(PCCERT_CONTEXT cert) const;
  // 0 usable for signing; 10 key not usable; otherwise the chain's code.
  ResultCode VerifyCertificate(PCCERT_CONTEXT cert) const;
};
