#include "certutil/encoding.h"

#include <strsafe.h>

#include "certutil/heap.h"
#include "diag/log.h"

namespace norelCertInfoUtl {

ResultCode nrlConvBinaryToString(const BYTE* bytes, DWORD length, DWORD flags, wchar_t** text) {
  *text = nullptr;
  DWORD count = 0;
  if (!CryptBinaryToStringW(bytes, length, flags, nullptr, &count)) {
    theLog.Error(L"nrlConvBinaryToString - CryptBinaryToString 1 - error [%d]", static_cast<int>(GetLastError()));
    return rc::kEncodeFailed;
  }
  theLog.Trace(L"nrlConvBinaryToString - CryptBinaryToString len [%d]", static_cast<int>(count));
  auto buffer = AllocZeroed<wchar_t>(static_cast<size_t>(count) + 1);
  if (!buffer) {
    theLog.Error(L"nrlConvBinaryToString - malloc error");
    return rc::kNoMemory;
  }
  if (!CryptBinaryToStringW(bytes, length, flags, buffer.get(), &count)) {
    theLog.Error(L"nrlConvBinaryToString - CryptBinaryToString 2 - error [%d]", static_cast<int>(GetLastError()));
    return rc::kEncodeFailed;
  }
  *text = buffer.release();
  theLog.Trace(L"nrlCertInfoToStringBase64 - str [%s]", *text);
  return rc::kOk;
}

ResultCode nrlConvStringToBinary(const wchar_t* text, DWORD flags, BYTE** bytes, DWORD* length) {
  *bytes = nullptr;
  *length = 0;
  theLog.Trace(L"norelCertInfoUtl::nrlConvStringToBinary StringCchLength");
  size_t chars = 0;
  HRESULT measured = text ? StringCchLengthW(text, STRSAFE_MAX_CCH, &chars) : E_INVALIDARG;
  if (FAILED(measured)) chars = 0;
  theLog.Trace(L"norelCertInfoUtl::nrlConvStringToBinary StringCchLength res [%d]", static_cast<int>(measured));
  theLog.Trace(L"norelCertInfoUtl::nrlConvStringToBinary StringCchLength len [%d]", static_cast<int>(chars));
  theLog.Trace(L"norelCertInfoUtl::nrlConvStringToBinary StringCchLength str [%s]", text);
  if (FAILED(measured)) {
    theLog.Error(L"nrlConvStringToBinary - CryptStringToBinary 1 - lastError: %d", static_cast<int>(GetLastError()));
    return rc::kDecodeFailed;
  }
  theLog.Trace(L"norelCertInfoUtl::nrlConvStringToBinary CryptStringToBinary");
  DWORD size = 0;
  // An empty text decodes to nothing on some platforms and fails on others;
  // it is never a value, so it fails here everywhere.
  if (chars == 0 || !CryptStringToBinaryW(text, static_cast<DWORD>(chars), flags, nullptr, &size, nullptr, nullptr)) {
    theLog.Error(L"nrlConvStringToBinary - CryptStringToBinary 1 - lastError: %d", static_cast<int>(GetLastError()));
    return rc::kDecodeFailed;
  }
  theLog.Trace(L"nrlConvStringToBinary - CryptStringToBinary flag:%d [%s] dataLen1 [%d]", static_cast<int>(flags), text,
               static_cast<int>(size));
  // Where the text may be taken as binary data (CRYPT_STRING_BINARY, or
  // CRYPT_STRING_ANY falling back to it), the block gets room for the text's
  // own bytes whatever size the platform asked for: Wine asks for one byte
  // per character and then copies two, past the end of a block of the size
  // it asked for. No decoding ever yields more than that.
  if ((flags == CRYPT_STRING_BINARY || flags == CRYPT_STRING_ANY) && size < chars * sizeof(wchar_t))
    size = static_cast<DWORD>(chars * sizeof(wchar_t));
  auto buffer = AllocZeroed<BYTE>(size);
  if (!buffer) return rc::kNoMemory;
  theLog.Trace(L"norelCertInfoUtl::nrlConvStringToBinary CryptStringToBinary");
  if (!CryptStringToBinaryW(text, static_cast<DWORD>(chars), flags, buffer.get(), &size, nullptr, nullptr)) {
    theLog.Error(L"nrlConvStringToBinary - CryptStringToBinary 2 - lastError: %d", static_cast<int>(GetLastError()));
    return rc::kDecodeFailed;
  }
  *bytes = buffer.release();
  *length = size;
  return rc::kOk;
}

ResultCode nrlStringBase64ToCertContext(const wchar_t* text, PCCERT_CONTEXT* cert) {
  theLog.Trace(L"norelCertInfoUtl::nrlStringBase64ToCertContext nrlConvStringToBinary");
  BYTE* raw = nullptr;
  DWORD length = 0;
  ResultCode code = nrlConvStringToBinary(text, kBase64, &raw, &length);
  if (code != rc::kOk) return code;
  MallocPtr<BYTE> der(raw);
  theLog.Trace(L"norelCertInfoUtl::nrlStringBase64ToCertContext CertCreateCertificateContext");
  *cert = CertCreateCertificateContext(X509_ASN_ENCODING | PKCS_7_ASN_ENCODING, der.get(), length);
  if (!*cert) {
    theLog.Error(L"nrlStringBase64ToCertContext - CertCreateCertificateContext - lastError: %d",
                 static_cast<int>(GetLastError()));
    code = rc::kCertContextNotCreated;
  }
  theLog.Trace(L"norelCertInfoUtl::nrlStringBase64ToCertContext freedata");
  return code;
}

ResultCode nrlCertInfoToStringBase64(PCCERT_CONTEXT cert, wchar_t** text) {
  return nrlConvBinaryToString(cert->pbCertEncoded, cert->cbCertEncoded, kBase64OneLine, text);
}

}  // namespace norelCertInfoUtl
