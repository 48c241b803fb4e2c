#include "certutil/cert_format.h"

#include <cstring>
#include <cwchar>

#include "certutil/alt_name_decoder.h"
#include "certutil/der_text.h"
#include "certutil/encoding.h"
#include "certutil/heap.h"
#include "diag/log.h"
#include "diag/log_format.h"

namespace norelCertInfoUtl {
namespace {

const DWORD kEncoding = X509_ASN_ENCODING | PKCS_7_ASN_ENCODING;

MallocPtr<wchar_t> HeapCopy(const std::wstring& s) {
  auto out = AllocZeroed<wchar_t>(s.size() + 1);
  if (out) wmemcpy(out.get(), s.c_str(), s.size() + 1);
  return out;
}

// The platform's two-call pattern for name texts; results are not checked,
// so a missing value is the empty text.
ResultCode NameString(PCCERT_CONTEXT cert, DWORD type, DWORD flags, wchar_t** text) {
  *text = nullptr;
  DWORD size = CertGetNameStringW(cert, type, flags, nullptr, nullptr, 0);
  auto buffer = AllocZeroed<wchar_t>(size ? size : 1);
  if (!buffer) return rc::kNoMemory;
  CertGetNameStringW(cert, type, flags, nullptr, buffer.get(), size ? size : 1);
  *text = buffer.release();
  return rc::kOk;
}

}  // namespace

std::wstring FormatTimeText(const SYSTEMTIME& t) {
  return diag::Format(L"%04d/%02d/%02d %02d:%02d:%02d", t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond);
}

ResultCode nrlCertNameToStr(const CERT_NAME_BLOB* name, wchar_t** text) {
  *text = nullptr;
  CERT_NAME_BLOB copy = *name;
  DWORD size = CertNameToStrW(X509_ASN_ENCODING, &copy, CERT_X500_NAME_STR, nullptr, 0);
  auto buffer = AllocZeroed<wchar_t>(size ? size : 1);
  if (!buffer) return rc::kNoMemory;
  CertNameToStrW(X509_ASN_ENCODING, &copy, CERT_X500_NAME_STR, buffer.get(), size ? size : 1);
  *text = buffer.release();
  return rc::kOk;
}

ResultCode nrlCertEmailToStr(PCCERT_CONTEXT cert, wchar_t** text) {
  return NameString(cert, CERT_NAME_EMAIL_TYPE, 0, text);
}

ResultCode nrlCertSubjectNameSimpleToStr(PCCERT_CONTEXT cert, wchar_t** text) {
  return NameString(cert, CERT_NAME_FRIENDLY_DISPLAY_TYPE, 0, text);
}

ResultCode nrlCertIssuerNameSimpleToStr(PCCERT_CONTEXT cert, wchar_t** text) {
  return NameString(cert, CERT_NAME_FRIENDLY_DISPLAY_TYPE, CERT_NAME_ISSUER_FLAG, text);
}

ResultCode nrlCertSerialNumberToStr(const CRYPT_INTEGER_BLOB* serial, std::wstring& text) {
  // The blob holds the least significant byte first; each byte goes in
  // front, so the text reads most significant first. Leading zeros stay.
  for (DWORD i = 0; i < serial->cbData; ++i) text.insert(0, diag::Format(L"%02x", serial->pbData[i]));
  return rc::kOk;
}

ResultCode nrlCertThumbprintToStr(PCCERT_CONTEXT cert, std::wstring& text) {
  DWORD size = 0;
  CertGetCertificateContextProperty(cert, CERT_SHA1_HASH_PROP_ID, nullptr, &size);
  if (size == 0) return rc::kOk;
  auto hash = AllocZeroed<BYTE>(size);
  if (!hash) return rc::kOk;
  if (!CertGetCertificateContextProperty(cert, CERT_SHA1_HASH_PROP_ID, hash.get(), &size)) return rc::kOk;
  for (DWORD i = 0; i < size; ++i) text += diag::Format(L"%02x", hash.get()[i]);
  return rc::kOk;
}

ResultCode nrlFileTimeToStr(const FILETIME* utc, wchar_t** text) {
  *text = nullptr;
  // The local time at that moment, with the daylight-saving state of that
  // date: FileTimeToLocalFileTime applies today's state instead, which is an
  // hour off for every date on the other side of a change.
  SYSTEMTIME universal = {}, t = {};
  if (FileTimeToSystemTime(utc, &universal) && !SystemTimeToTzSpecificLocalTime(nullptr, &universal, &t)) {
    FILETIME local = {};
    FileTimeToLocalFileTime(utc, &local);
    FileTimeToSystemTime(&local, &t);
  }
  MallocPtr<wchar_t> out = HeapCopy(FormatTimeText(t));
  if (!out) return rc::kNoMemory;
  *text = out.release();
  return rc::kOk;
}

ResultCode nrlCertGetAltNameInfo(PCCERT_CONTEXT cert, CERT_ALT_NAME_INFO** info) {
  *info = nullptr;
  // A later matching extension replaces an earlier one.
  MallocPtr<CERT_ALT_NAME_INFO> found;
  const CERT_INFO* ci = cert->pCertInfo;
  for (DWORD i = 0; i < ci->cExtension; ++i) {
    const CERT_EXTENSION& ext = ci->rgExtension[i];
    size_t oidLength = ext.pszObjId ? strlen(ext.pszObjId) : 0;
    if ((oidLength != 8 && oidLength != 9) ||
        (!strstr(ext.pszObjId, szOID_SUBJECT_ALT_NAME) && !strstr(ext.pszObjId, szOID_SUBJECT_ALT_NAME2)))
      continue;
    found.reset();
    DWORD size = 0;
    CryptDecodeObject(cert->dwCertEncodingType, szOID_SUBJECT_ALT_NAME2, ext.Value.pbData, ext.Value.cbData,
                      CRYPT_DECODE_NOCOPY_FLAG, nullptr, &size);
    if (size == 0) {
      // The platform could not decode it (Wine refuses other names, which
      // Windows decodes): decode the list ourselves.
      found.reset(DecodeAltNameFallback(ext.Value.pbData, ext.Value.cbData));
      continue;
    }
    auto decoded = AllocZeroed<BYTE>(size);
    if (!decoded) continue;
    if (!CryptDecodeObject(cert->dwCertEncodingType, szOID_SUBJECT_ALT_NAME2, ext.Value.pbData, ext.Value.cbData,
                           CRYPT_DECODE_NOCOPY_FLAG, decoded.get(), &size))
      continue;
    found.reset(reinterpret_cast<CERT_ALT_NAME_INFO*>(decoded.release()));
  }
  *info = found.release();
  return rc::kOk;
}

bool nrlCertExtensionToStr(PCCERT_CONTEXT cert, const char* oid, wchar_t** text) {
  const CERT_INFO* ci = cert->pCertInfo;
  PCERT_EXTENSION ext = CertFindExtension(oid, ci->cExtension, ci->rgExtension);
  if (!ext) return false;
  DWORD size = 0;
  MallocPtr<wchar_t> out;
  if (CryptFormatObject(cert->dwCertEncodingType, 0, 0, nullptr, oid, ext->Value.pbData, ext->Value.cbData, nullptr,
                        &size) &&
      size) {
    auto buffer = AllocZeroed<BYTE>(size + sizeof(wchar_t));
    if (!buffer) return false;
    if (CryptFormatObject(cert->dwCertEncodingType, 0, 0, nullptr, oid, ext->Value.pbData, ext->Value.cbData,
                          buffer.get(), &size))
      out.reset(reinterpret_cast<wchar_t*>(buffer.release()));
  }
  if (!out) {
    // Some platforms cannot render every extension (Wine fails on an
    // alternative name holding an other name, which Windows renders). The
    // criteria check looks for object identifiers in this text, so render
    // the extension's DER ourselves, every OID in dotted form.
    out = HeapCopy(RenderDer(ext->Value.pbData, ext->Value.cbData));
    if (!out) return false;
  }
  *text = out.release();
  theLog.Trace(L"Extension %hs value >%s<", oid, *text);
  return true;
}

ResultCode nrlCertKeyUsageToStr(PCCERT_CONTEXT cert, wchar_t** text) {
  *text = nullptr;
  BYTE usage[2] = {0, 0};
  CertGetIntendedKeyUsage(kEncoding, cert->pCertInfo, usage, sizeof(usage));
  return nrlConvBinaryToString(usage, usage[1] ? 2 : 1, kHex, text);
}

}  // namespace norelCertInfoUtl
