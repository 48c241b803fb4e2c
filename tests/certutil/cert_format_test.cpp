// The field formatters and encoders on certificates made by OpenSSL.
#include "certutil/cert_format.h"

#include <gtest/gtest.h>
#include <malloc.h>

#include "certutil/encoding.h"
#include "certutil/crypt_handles.h"
#include "certutil/heap.h"
#include "tests/certutil/pki.h"

using namespace norelCertInfoUtl;

namespace {

std::wstring Take(wchar_t* raw) {
  MallocPtr<wchar_t> p(raw);
  return p ? p.get() : L"(null)";
}

TEST(CertFormat, NamesAndEmail) {
  ScopedCertContext full(PkiCert(L"full"));
  ASSERT_TRUE(full.Get());
  wchar_t* raw = nullptr;
  nrlCertNameToStr(&full.Get()->pCertInfo->Subject, &raw);
  std::wstring subject = Take(raw);
  EXPECT_NE(std::wstring::npos, subject.find(L"CN=Jan Nov\x00e1k")) << subject;
  EXPECT_NE(std::wstring::npos, subject.find(L"O=Tessarn Test")) << subject;
  nrlCertNameToStr(&full.Get()->pCertInfo->Issuer, &raw);
  EXPECT_NE(std::wstring::npos, Take(raw).find(L"CN=Tessarn Test Issuing CA"));
  nrlCertEmailToStr(full.Get(), &raw);
  EXPECT_EQ(L"jan.novak@example.cz", Take(raw));
  nrlCertSubjectNameSimpleToStr(full.Get(), &raw);
  EXPECT_EQ(L"Jan Nov\x00e1k", Take(raw));
  nrlCertIssuerNameSimpleToStr(full.Get(), &raw);
  EXPECT_EQ(L"Tessarn Test Issuing CA", Take(raw));
  ScopedCertContext dns(PkiCert(L"dns"));
  nrlCertEmailToStr(dns.Get(), &raw);
  EXPECT_EQ(L"", Take(raw)) << "no e-mail gives the empty text";
}

TEST(CertFormat, SerialNumberKeepsLeadingZeroBytes) {
  ScopedCertContext full(PkiCert(L"full"));
  std::wstring serial;
  nrlCertSerialNumberToStr(&full.Get()->pCertInfo->SerialNumber, serial);
  EXPECT_EQ(L"00f12345", serial);
  BYTE blob[] = {0x2B, 0x1A, 0x00};
  CRYPT_INTEGER_BLOB b = {3, blob};
  serial.clear();
  nrlCertSerialNumberToStr(&b, serial);
  EXPECT_EQ(L"001a2b", serial);
}

TEST(CertFormat, ThumbprintIsTheSha1OfTheEncoding) {
  for (const wchar_t* name : {L"full", L"dns", L"plain", L"root"}) {
    ScopedCertContext c(PkiCert(name));
    std::wstring thumbprint;
    nrlCertThumbprintToStr(c.Get(), thumbprint);
    EXPECT_EQ(PkiWide(std::wstring(name) + L".sha1"), thumbprint) << name;
  }
}

TEST(CertFormat, ValidityAsLocalTime) {
  // The test environment sets the machine's zone (TESSARN_TZ_OFFSET hours
  // east of UTC, no daylight saving); the certificates' NotBefore times
  // (2020-01-01 00:00:00 and 2020-06-15 10:30:00 UTC) read so there.
  wchar_t offset[8] = {};
  ASSERT_TRUE(GetEnvironmentVariableW(L"TESSARN_TZ_OFFSET", offset, 8)) << "the test's zone is not set";
  const int hours = _wtoi(offset);
  const struct {
    const wchar_t* cert;
    int offset;
    const wchar_t* want;
  } cases[] = {{L"expired", 0, L"2020/01/01 00:00:00"}, {L"summer", 0, L"2020/06/15 10:30:00"},
               {L"expired", 1, L"2020/01/01 01:00:00"}, {L"summer", 1, L"2020/06/15 11:30:00"}};
  int checked = 0;
  for (const auto& c : cases) {
    if (c.offset != hours) continue;
    SCOPED_TRACE(testing::Message() << c.cert << " at UTC+" << c.offset);
    ScopedCertContext cert(PkiCert(c.cert));
    ASSERT_TRUE(cert.Get());
    wchar_t* raw = nullptr;
    nrlFileTimeToStr(&cert.Get()->pCertInfo->NotBefore, &raw);
    EXPECT_EQ(c.want, Take(raw));
    ++checked;
  }
  EXPECT_EQ(2, checked) << "no expected texts for this zone";
}

TEST(CertFormat, AlternativeNameFirstEntry) {
  struct {
    const wchar_t* name;
    bool present;
    DWORD choice;
  } cases[] = {{L"full", true, CERT_ALT_NAME_RFC822_NAME},
               {L"dns", true, CERT_ALT_NAME_DNS_NAME},
               {L"othername", true, CERT_ALT_NAME_OTHER_NAME},
               {L"plain", false, 0}};
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.name);
    ScopedCertContext cert(PkiCert(c.name));
    MallocPtr<CERT_ALT_NAME_INFO> info;
    EXPECT_EQ(rc::kOk, nrlCertGetAltNameInfo(cert.Get(), OutParam(info)));
    EXPECT_EQ(c.present, info != nullptr) << c.name;
    if (!info) continue;
    ASSERT_GE(info->cAltEntry, 1u);
    EXPECT_EQ(c.choice, info->rgAltEntry[0].dwAltNameChoice) << c.name;
    if (c.choice == CERT_ALT_NAME_OTHER_NAME) {
      EXPECT_STREQ("1.3.6.1.4.1.311.20.2.3", info->rgAltEntry[0].pOtherName->pszObjId);
      // UTF8String "signer@example.com", as encoded inside the [0] wrapper.
      ASSERT_EQ(20u, info->rgAltEntry[0].pOtherName->Value.cbData);
      EXPECT_EQ(0x0C, info->rgAltEntry[0].pOtherName->Value.pbData[0]);
    }
    if (c.choice == CERT_ALT_NAME_RFC822_NAME) {
      EXPECT_STREQ(L"jan.novak@example.cz", info->rgAltEntry[0].pwszRfc822Name);
    }
  }
}

TEST(CertFormat, ExtensionTextsCarryTheirObjectIdentifiers) {
  ScopedCertContext full(PkiCert(L"full"));
  wchar_t* raw = nullptr;
  ASSERT_TRUE(nrlCertExtensionToStr(full.Get(), szOID_CERT_POLICIES, &raw));
  EXPECT_NE(std::wstring::npos, Take(raw).find(L"1.3.6.1.4.1.99999.1.2"));
  ScopedCertContext othername(PkiCert(L"othername"));
  ASSERT_TRUE(nrlCertExtensionToStr(othername.Get(), szOID_SUBJECT_ALT_NAME2, &raw));
  EXPECT_NE(std::wstring::npos, Take(raw).find(L"1.3.6.1.4.1.311.20.2.3"));
  ScopedCertContext plain(PkiCert(L"plain"));
  raw = nullptr;
  EXPECT_FALSE(nrlCertExtensionToStr(plain.Get(), szOID_CERT_POLICIES, &raw));
  EXPECT_EQ(nullptr, raw);
}

TEST(CertFormat, KeyUsageBytes) {
  struct {
    const wchar_t* name;
    const wchar_t* hexStart;
    size_t bytes;
  } cases[] = {{L"full", L"c0", 1}, {L"plain", L"00", 1}, {L"decipher", L"c8 80", 2}, {L"encipher", L"20", 1}};
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.name);
    ScopedCertContext cert(PkiCert(c.name));
    wchar_t* raw = nullptr;
    ASSERT_EQ(rc::kOk, nrlCertKeyUsageToStr(cert.Get(), &raw));
    std::wstring text = Take(raw);
    EXPECT_EQ(0u, text.find(c.hexStart)) << c.name << ": " << std::string(text.begin(), text.end());
  }
}

TEST(Encoding, CertificateRoundTripAndRefusals) {
  std::string b64 = PkiText(L"full.b64");
  std::wstring text(b64.begin(), b64.end());
  PCCERT_CONTEXT cert = nullptr;
  ASSERT_EQ(rc::kOk, nrlStringBase64ToCertContext(text.c_str(), &cert));
  wchar_t* raw = nullptr;
  ASSERT_EQ(rc::kOk, nrlCertInfoToStringBase64(cert, &raw));
  EXPECT_EQ(text, Take(raw)) << "one line, no header, no line breaks";
  CertFreeCertificateContext(cert);

  PCCERT_CONTEXT none = reinterpret_cast<PCCERT_CONTEXT>(0x1);
  EXPECT_EQ(rc::kDecodeFailed, nrlStringBase64ToCertContext(L"!!not base64!!", &none));
  EXPECT_EQ(reinterpret_cast<PCCERT_CONTEXT>(0x1), none) << "left as the caller set it";
  EXPECT_EQ(rc::kDecodeFailed, nrlStringBase64ToCertContext(nullptr, &none));
  none = nullptr;
  EXPECT_EQ(rc::kCertContextNotCreated, nrlStringBase64ToCertContext(L"AQIDBA==", &none));
  EXPECT_EQ(nullptr, none);
}

TEST(Encoding, BinaryAndTextWithTheCallersFlags) {
  const BYTE bytes[] = {1, 2, 3};
  wchar_t* raw = nullptr;
  ASSERT_EQ(rc::kOk, nrlConvBinaryToString(bytes, 3, kBase64OneLine, &raw));
  EXPECT_EQ(L"AQID", Take(raw));
  ASSERT_EQ(rc::kOk, nrlConvBinaryToString(bytes, 3, kBase64, &raw));
  EXPECT_EQ(L"AQID\r\n", Take(raw));
  EXPECT_EQ(rc::kEncodeFailed, nrlConvBinaryToString(bytes, 3, 0x77, &raw));
  EXPECT_EQ(nullptr, raw);
  BYTE* out = nullptr;
  DWORD length = 0;
  ASSERT_EQ(rc::kOk, nrlConvStringToBinary(L"AQID", kBase64, &out, &length));
  MallocPtr<BYTE> decoded(out);
  ASSERT_EQ(3u, length);
  EXPECT_EQ(3, decoded.get()[2]);
  EXPECT_EQ(rc::kDecodeFailed, nrlConvStringToBinary(L"zz", kHex, &out, &length));
  EXPECT_EQ(nullptr, out);
  EXPECT_EQ(0u, length);
  EXPECT_EQ(rc::kDecodeFailed, nrlConvStringToBinary(nullptr, kBase64, &out, &length));
}

}  // namespace

namespace {

// Text taken as binary data is its own UTF-16 bytes, whole, and decoding it
// stays inside the block (the C runtime heap stays sound), for short and long texts.
TEST(Encoding, TextTakenAsBinaryDataStaysInsideItsBlock) {
  for (DWORD flags : {static_cast<DWORD>(CRYPT_STRING_BINARY), static_cast<DWORD>(CRYPT_STRING_ANY)}) {
    for (size_t chars : {1u, 7u, 27u, 4096u}) {
      std::wstring text(chars, L'\x263a');  // never base64, so ANY takes it as binary too
      BYTE* out = nullptr;
      DWORD length = 0;
      ResultCode code = nrlConvStringToBinary(text.c_str(), flags, &out, &length);
      MallocPtr<BYTE> decoded(out);
      // The binary flag always takes the text; "any" may refuse a text too
      // short to tell.
      if (flags == CRYPT_STRING_BINARY || code == rc::kOk) {
        ASSERT_EQ(rc::kOk, code) << flags << " " << chars;
        ASSERT_EQ(chars * sizeof(wchar_t), length) << flags << " " << chars;
        EXPECT_EQ(0, memcmp(decoded.get(), text.data(), length));
      }
      EXPECT_TRUE(HeapValidate(reinterpret_cast<HANDLE>(_get_heap_handle()), 0, nullptr)) << "heap damaged by flags " << flags << ", " << chars << " chars";
    }
  }
}

}  // namespace
