#include "certutil/encoding.h"

#include <strsafe.h>

#include <cwchar>

#include "certutil/conversion_limits.h"
#include "certutil/crypt_handles.h"
#include "certutil/heap.h"
#include "diag/log.h"

namespace norelCertInfoUtl {
namespace {

// Where a conversion's output goes: the caller's heap block, or the value an
// Automation answer carries. Each gives room for the count the platform
// asks for (Reserve, null when memory runs out), then makes the output the
// first `count` elements the platform reports (Keep, false when memory runs
// out).

// Text in a zero-filled heap block with one character to spare, so that it
// ends at the platform's terminator or before.
class HeapText {
 public:
  wchar_t* Reserve(DWORD count) {
    m_block = AllocZeroed<wchar_t>(static_cast<size_t>(count) + 1);
    return m_block.get();
  }
  bool Keep(DWORD) { return true; }
  const wchar_t* Text() const { return m_block.get(); }
  wchar_t* Release() { return m_block.release(); }

 private:
  MallocPtr<wchar_t> m_block;
};

// Text in a BSTR, ending where the heap text would end: at the first null
// character of a zero-filled block.
// - A long text is written straight into a BSTR one character shorter than
//   the platform's count (which holds the terminator a BSTR keeps beyond
//   its length). Every format but binary is text, which holds no null
//   character, and the platform reports the characters it wrote: the text
//   is exactly those, found without reading it again. Any other length than
//   the one asked for costs a copy.
// - Binary output (CRYPT_STRING_BINARY) is the bytes as they are, which end
//   where the heap block's zeros end them, and a short text: both are
//   written into a heap block as before and copied. The copy is cheap for
//   a short text, and some platforms write a little more than they ask room
//   for when they encode nothing (Wine, two line-break characters for a
//   count of one), which the heap block's spare character and allocation
//   slack absorb.
class BstrText {
 public:
  explicit BstrText(DWORD flags)
      : m_binary((flags & ~(CRYPT_STRING_NOCR | CRYPT_STRING_NOCRLF)) == CRYPT_STRING_BINARY) {}

  wchar_t* Reserve(DWORD count) {
    if (m_binary || count < kDirectChars) return m_short.Reserve(count);
    m_text.Reset(SysAllocStringLen(nullptr, count - 1));
    if (!m_text.Get()) return nullptr;
    m_count = count;
    return m_text.Get();
  }
  bool Keep(DWORD written) {
    const wchar_t* text = m_text.Get() ? m_text.Get() : m_short.Text();
    size_t length = m_text.Get() ? (written < m_count ? written : m_count) : wcslen(text);
    if (m_text.Get() && length == m_text.Length()) return true;
    BSTR copy = nullptr;
    // An empty text is carried as a null BSTR.
    if (length && !(copy = SysAllocStringLen(text, static_cast<UINT>(length)))) return false;
    m_text.Reset(copy);
    m_short = HeapText();
    return true;
  }
  const wchar_t* Text() const { return m_text.Get() ? m_text.Get() : L""; }
  BSTR Release() { return m_text.Detach(); }

 private:
  static constexpr DWORD kDirectChars = 4096;
  const bool m_binary;
  HeapText m_short;
  ScopedBstr m_text;
  DWORD m_count = 0;
};

// Bytes in a zero-filled heap block.
class HeapBytes {
 public:
  BYTE* Reserve(DWORD size) {
    m_block = AllocZeroed<BYTE>(size);
    return m_block.get();
  }
  bool Keep(DWORD) { return true; }
  BYTE* Release() { return m_block.release(); }

 private:
  MallocPtr<BYTE> m_block;
};

// Bytes in a byte array, written while its data is accessed (locked), and
// cut to the count decoded when the platform decoded fewer than it asked
// room for.
class ByteArrayBytes {
 public:
  ByteArrayBytes() = default;
  ByteArrayBytes(const ByteArrayBytes&) = delete;
  ByteArrayBytes& operator=(const ByteArrayBytes&) = delete;
  ~ByteArrayBytes() { Unaccess(); }

  BYTE* Reserve(DWORD size) {
    m_array.Reset(SafeArrayCreateVector(VT_UI1, 0, size));
    if (!m_array) return nullptr;
    void* data = nullptr;
    if (FAILED(SafeArrayAccessData(m_array.Get(), &data))) {
      m_array.Reset();
      return nullptr;
    }
    m_accessed = true;
    m_reserved = size;
    // An empty array may have no data at all; the platform still gets a
    // buffer, as it does from the heap, so that its second call converts
    // rather than asks for the size again.
    return data ? static_cast<BYTE*>(data) : &m_none;
  }
  bool Keep(DWORD size) {
    Unaccess();
    if (size >= m_reserved) return true;
    SAFEARRAYBOUND bound = {size, 0};
    return SUCCEEDED(SafeArrayRedim(m_array.Get(), &bound));
  }
  SAFEARRAY* Release() { return m_array.Detach(); }

 private:
  void Unaccess() {
    if (m_accessed) SafeArrayUnaccessData(m_array.Get());
    m_accessed = false;
  }

  ScopedSafeArray m_array;
  bool m_accessed = false;
  DWORD m_reserved = 0;
  BYTE m_none = 0;
};

template <class Output>
ResultCode EncodeInto(const BYTE* bytes, DWORD length, DWORD flags, Output& out) {
  if (length > kMaxEncodeBytes) {
    theLog.Error(L"nrlConvBinaryToString - length [%lu] beyond the limit of [%lu] bytes", static_cast<unsigned long>(length),
                 static_cast<unsigned long>(kMaxEncodeBytes));
    return rc::kInputTooLarge;
  }
  // The text is sized from the bytes given, never from the platform's word
  // alone: a platform whose own size arithmetic overflows asks for too
  // little room and then writes its whole text.
  const SizeRange possible = EncodedChars(length, flags);
  if (!possible.known) {
    theLog.Error(L"nrlConvBinaryToString - format [0x%lx] not supported", static_cast<unsigned long>(flags));
    return rc::kEncodeFailed;
  }
  DWORD count = 0;
  if (!CryptBinaryToStringW(bytes, length, flags, nullptr, &count)) {
    theLog.Error(L"nrlConvBinaryToString - CryptBinaryToString 1 - error [%d]", static_cast<int>(GetLastError()));
    return rc::kEncodeFailed;
  }
  theLog.Trace(L"nrlConvBinaryToString - CryptBinaryToString len [%d]", static_cast<int>(count));
  if (!possible.Holds(count)) {
    theLog.Error(L"nrlConvBinaryToString - CryptBinaryToString size [%lu] outside [%llu, %llu] for [%lu] bytes",
                 static_cast<unsigned long>(count), static_cast<unsigned long long>(possible.least),
                 static_cast<unsigned long long>(possible.most), static_cast<unsigned long>(length));
    return rc::kEncodeFailed;
  }
  // Room for the most the bytes can give: where the platform's count is
  // that (one line of base64), the text is written where it ends.
  count = static_cast<DWORD>(possible.most);
  wchar_t* buffer = out.Reserve(count);
  if (!buffer) {
    theLog.Error(L"nrlConvBinaryToString - malloc error");
    return rc::kNoMemory;
  }
  if (!CryptBinaryToStringW(bytes, length, flags, buffer, &count)) {
    theLog.Error(L"nrlConvBinaryToString - CryptBinaryToString 2 - error [%d]", static_cast<int>(GetLastError()));
    return rc::kEncodeFailed;
  }
  if (!out.Keep(count)) {
    theLog.Error(L"nrlConvBinaryToString - malloc error");
    return rc::kNoMemory;
  }
  theLog.Trace(L"nrlCertInfoToStringBase64 - str [%s]", out.Text());
  return rc::kOk;
}

template <class Output>
ResultCode DecodeInto(const wchar_t* text, DWORD flags, Output& out, DWORD* length) {
  size_t chars = 0;
  HRESULT measured = text ? StringCchLengthW(text, STRSAFE_MAX_CCH, &chars) : E_INVALIDARG;
  if (FAILED(measured)) chars = 0;
  theLog.Trace(L"norelCertInfoUtl::nrlConvStringToBinary StringCchLength res [%d] len [%lu]", static_cast<int>(measured),
               static_cast<unsigned long>(chars));
  if (FAILED(measured)) {
    theLog.Error(L"nrlConvStringToBinary - CryptStringToBinary 1 - lastError: %d", static_cast<int>(GetLastError()));
    return rc::kDecodeFailed;
  }
  if (chars > kMaxDecodeChars) {
    theLog.Error(L"nrlConvStringToBinary - [%lu] characters beyond the limit of [%lu]", static_cast<unsigned long>(chars),
                 static_cast<unsigned long>(kMaxDecodeChars));
    return rc::kInputTooLarge;
  }
  theLog.Trace(L"norelCertInfoUtl::nrlConvStringToBinary CryptStringToBinary");
  DWORD size = 0;
  // An empty text decodes to nothing on some platforms and fails on others;
  // it is never a value, so it fails here everywhere.
  if (chars == 0 || !CryptStringToBinaryW(text, static_cast<DWORD>(chars), flags, nullptr, &size, nullptr, nullptr)) {
    theLog.Error(L"nrlConvStringToBinary - CryptStringToBinary 1 - lastError: %d", static_cast<int>(GetLastError()));
    return rc::kDecodeFailed;
  }
  theLog.Trace(L"nrlConvStringToBinary - CryptStringToBinary flag:%d dataLen1 [%d]", static_cast<int>(flags),
               static_cast<int>(size));
  // The block gets room for the most the text can give whatever size the
  // platform asked for: Wine asks for one byte per character where the text
  // is taken as binary data (CRYPT_STRING_BINARY, or CRYPT_STRING_ANY
  // falling back to it) and then copies two, past the end of a block of the
  // size it asked for. A platform asking for more than the text can give is
  // not believed.
  const uint64_t most = DecodedBytesMost(static_cast<uint32_t>(chars), flags);
  if (size > most) {
    theLog.Error(L"nrlConvStringToBinary - CryptStringToBinary size [%lu] beyond [%llu] for [%lu] characters",
                 static_cast<unsigned long>(size), static_cast<unsigned long long>(most),
                 static_cast<unsigned long>(chars));
    return rc::kDecodeFailed;
  }
  size = static_cast<DWORD>(most);
  BYTE* buffer = out.Reserve(size);
  if (!buffer) return rc::kNoMemory;
  theLog.Trace(L"norelCertInfoUtl::nrlConvStringToBinary CryptStringToBinary");
  if (!CryptStringToBinaryW(text, static_cast<DWORD>(chars), flags, buffer, &size, nullptr, nullptr)) {
    theLog.Error(L"nrlConvStringToBinary - CryptStringToBinary 2 - lastError: %d", static_cast<int>(GetLastError()));
    return rc::kDecodeFailed;
  }
  if (size > most) {
    theLog.Error(L"nrlConvStringToBinary - CryptStringToBinary wrote [%lu] bytes into [%llu]",
                 static_cast<unsigned long>(size), static_cast<unsigned long long>(most));
    return rc::kDecodeFailed;
  }
  if (!out.Keep(size)) return rc::kNoMemory;
  *length = size;
  return rc::kOk;
}

}  // namespace

ResultCode nrlConvBinaryToString(const BYTE* bytes, DWORD length, DWORD flags, wchar_t** text) {
  *text = nullptr;
  HeapText out;
  ResultCode code = EncodeInto(bytes, length, flags, out);
  if (code == rc::kOk) *text = out.Release();
  return code;
}

ResultCode nrlConvBinaryToBstr(const BYTE* bytes, DWORD length, DWORD flags, BSTR* text) {
  *text = nullptr;
  BstrText out(flags);
  ResultCode code = EncodeInto(bytes, length, flags, out);
  if (code == rc::kOk) *text = out.Release();
  return code;
}

ResultCode nrlConvStringToBinary(const wchar_t* text, DWORD flags, BYTE** bytes, DWORD* length) {
  *bytes = nullptr;
  *length = 0;
  HeapBytes out;
  DWORD size = 0;
  ResultCode code = DecodeInto(text, flags, out, &size);
  if (code != rc::kOk) return code;
  *bytes = out.Release();
  *length = size;
  return rc::kOk;
}

ResultCode nrlConvStringToByteArray(const wchar_t* text, DWORD flags, SAFEARRAY** bytes) {
  *bytes = nullptr;
  ByteArrayBytes out;
  DWORD size = 0;
  ResultCode code = DecodeInto(text, flags, out, &size);
  if (code == rc::kOk) *bytes = out.Release();
  return code;
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
