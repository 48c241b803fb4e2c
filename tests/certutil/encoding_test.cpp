// The converters that write into an answer's BSTR or byte array hand out
// exactly what the heap converters hand out, with the same codes, for every
// kind of flag, short and long values, and failures.
#include "certutil/encoding.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "certutil/conversion_limits.h"
#include "certutil/crypt_handles.h"
#include "certutil/heap.h"
#include "certutil/result_code.h"

using namespace norelCertInfoUtl;

namespace {

// Flags of every kind: with and without headers and line breaks,
// hexadecimal forms, binary, and values the platform refuses.
const DWORD kEncodeFlags[] = {
    CRYPT_STRING_BASE64HEADER, CRYPT_STRING_BASE64, CRYPT_STRING_BASE64 | CRYPT_STRING_NOCRLF,
    CRYPT_STRING_BASE64 | CRYPT_STRING_NOCR, CRYPT_STRING_BASE64REQUESTHEADER, CRYPT_STRING_BASE64X509CRLHEADER,
    CRYPT_STRING_BINARY, CRYPT_STRING_HEX, CRYPT_STRING_HEXASCII, CRYPT_STRING_HEXADDR, CRYPT_STRING_HEXASCIIADDR,
    CRYPT_STRING_HEXRAW, 0x77,
};

std::vector<BYTE> Pattern(size_t count) {
  std::vector<BYTE> bytes(count);
  for (size_t i = 0; i < count; ++i) bytes[i] = static_cast<BYTE>(i * 31);  // zeros among them
  return bytes;
}

TEST(AnswerEncoding, BstrHoldsTheHeapText) {
  for (size_t count : {size_t{0}, size_t{1}, size_t{3}, size_t{1000}, size_t{300 * 1024}}) {
    std::vector<BYTE> bytes = Pattern(count);
    const BYTE* data = bytes.empty() ? reinterpret_cast<const BYTE*>("") : bytes.data();
    for (DWORD flags : kEncodeFlags) {
      SCOPED_TRACE(testing::Message() << count << " bytes, flags 0x" << std::hex << flags);
      wchar_t* raw = nullptr;
      ResultCode heapCode = nrlConvBinaryToString(data, static_cast<DWORD>(count), flags, &raw);
      MallocPtr<wchar_t> heap(raw);
      ScopedBstr text;
      ResultCode code = nrlConvBinaryToBstr(data, static_cast<DWORD>(count), flags, text.Receive());
      ASSERT_EQ(heapCode, code);
      if (code != rc::kOk) {
        EXPECT_EQ(nullptr, text.Get()) << "nothing handed out on failure";
        continue;
      }
      std::wstring expected = heap.get();
      EXPECT_EQ(expected.size(), text.Length());
      EXPECT_EQ(expected, std::wstring(text.Get() ? text.Get() : L"", text.Length()));
      if (expected.empty()) EXPECT_EQ(nullptr, text.Get()) << "an empty text is a null BSTR";
      else EXPECT_EQ(L'\0', text.Get()[text.Length()]) << "terminated";
    }
  }
}

std::wstring Base64Of(const std::vector<BYTE>& bytes, DWORD flags) {
  wchar_t* raw = nullptr;
  EXPECT_EQ(rc::kOk, nrlConvBinaryToString(bytes.data(), static_cast<DWORD>(bytes.size()), flags, &raw));
  MallocPtr<wchar_t> text(raw);
  return text ? text.get() : L"";
}

TEST(AnswerEncoding, ByteArrayHoldsTheHeapBytes) {
  std::vector<BYTE> big = Pattern(300 * 1024);
  const std::wstring texts[] = {
      L"AQID",
      L"AQID\r\n",
      L"-----BEGIN CERTIFICATE-----\r\nAQID\r\n-----END CERTIFICATE-----\r\n",
      L"01 02 03",
      L"0a1b",
      L"zz",
      L"!!not base64!!",
      L"\x263a\x263a\x263a",  // never base64 nor hexadecimal: taken as binary data or refused
      std::wstring(27, L'\x263a'),
      L" ",
      L"",
      Base64Of(big, CRYPT_STRING_BASE64),
      Base64Of(big, CRYPT_STRING_BASE64 | CRYPT_STRING_NOCRLF),
  };
  const DWORD flags[] = {
      CRYPT_STRING_BASE64HEADER, CRYPT_STRING_BASE64, CRYPT_STRING_BINARY, CRYPT_STRING_HEX,
      CRYPT_STRING_BASE64_ANY, CRYPT_STRING_ANY, CRYPT_STRING_HEX_ANY, CRYPT_STRING_HEXRAW, 0x77,
  };
  for (const std::wstring& text : texts) {
    for (const wchar_t* value : {text.c_str(), static_cast<const wchar_t*>(nullptr)}) {
      if (!value && &text != &texts[0]) continue;  // a null text once per flag
      for (DWORD flag : flags) {
        SCOPED_TRACE(testing::Message() << (value ? text.size() : 0) << " characters"
                                        << (value ? "" : " (null)") << ", flags 0x" << std::hex << flag);
        BYTE* raw = nullptr;
        DWORD length = 0;
        ResultCode heapCode = nrlConvStringToBinary(value, flag, &raw, &length);
        MallocPtr<BYTE> heap(raw);
        ScopedSafeArray array;
        ResultCode code = nrlConvStringToByteArray(value, flag, array.Receive());
        ASSERT_EQ(heapCode, code);
        if (code != rc::kOk) {
          EXPECT_FALSE(array) << "nothing handed out on failure";
          continue;
        }
        ASSERT_TRUE(array);
        VARTYPE vt = VT_EMPTY;
        ASSERT_EQ(S_OK, SafeArrayGetVartype(array.Get(), &vt));
        EXPECT_EQ(VT_UI1, vt);
        ASSERT_EQ(1u, SafeArrayGetDim(array.Get()));
        LONG lower = -1, upper = -2;
        SafeArrayGetLBound(array.Get(), 1, &lower);
        SafeArrayGetUBound(array.Get(), 1, &upper);
        EXPECT_EQ(0, lower);
        ASSERT_EQ(static_cast<LONG>(length) - 1, upper) << "exactly the decoded count";
        EXPECT_EQ(0u, array.Get()->cLocks) << "handed out unlocked";
        SafeArrayAccess access(array.Get());
        if (length) {
          ASSERT_NE(nullptr, access.Data());
          EXPECT_EQ(0, memcmp(access.Data(), heap.get(), length));
        }
      }
    }
  }
}



// ---- The size arithmetic -------------------------------------------------

// The platform's own sizes lie within the bounds for every format and many
// lengths, and the bounds hold at the limit without overflow.
TEST(ConversionLimits, PlatformSizesLieWithinTheBounds) {
  for (DWORD flags : kEncodeFlags) {
    for (DWORD count : {0u, 1u, 2u, 3u, 15u, 16u, 17u, 47u, 48u, 49u, 64u, 1000u, 65536u, 300001u}) {
      SCOPED_TRACE(testing::Message() << count << " bytes, flags 0x" << std::hex << flags);
      std::vector<BYTE> bytes = Pattern(count);
      DWORD chars = 0;
      BOOL known = CryptBinaryToStringW(bytes.empty() ? reinterpret_cast<const BYTE*>("") : bytes.data(), count,
                                        flags, nullptr, &chars);
      SizeRange range = EncodedChars(count, flags);
      if (!range.known) {
        EXPECT_FALSE(known) << "a format the platform takes is known";
        continue;
      }
      if (!known) continue;
      EXPECT_TRUE(range.Holds(chars)) << chars << " not in [" << range.least << ", " << range.most << "]";
      std::wstring text(static_cast<size_t>(range.most), L'\0');
      DWORD room = static_cast<DWORD>(range.most);
      ASSERT_TRUE(CryptBinaryToStringW(bytes.empty() ? reinterpret_cast<const BYTE*>("") : bytes.data(), count,
                                       flags, &text[0], &room));
      // Binary output leaves the count as given on some platforms (Wine).
      if (flags != CRYPT_STRING_BINARY) EXPECT_LT(room, range.most) << "the text and its terminator fit";
    }
  }
  for (DWORD flags : {DWORD{CRYPT_STRING_BASE64}, DWORD{CRYPT_STRING_HEX}, DWORD{CRYPT_STRING_BINARY}, DWORD{CRYPT_STRING_ANY}, DWORD{0x77}}) {
    std::wstring text = L"QUJD RA==";
    DWORD size = 0;
    if (!CryptStringToBinaryW(text.c_str(), static_cast<DWORD>(text.size()), flags, nullptr, &size, nullptr, nullptr))
      continue;
    EXPECT_LE(size, DecodedBytesMost(static_cast<uint32_t>(text.size()), flags)) << flags;
  }
}

}  // namespace
