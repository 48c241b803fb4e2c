#include "certutil/crypt_common.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "certutil/crypt_handles.h"
#include "certutil/heap.h"
#include "tests/certutil/pki.h"

namespace {

std::wstring Hex(std::vector<BYTE> bytes) {
  MallocPtr<wchar_t> text;
  EXPECT_EQ(rc::kOk, CCryptCommon::Binary2String(bytes.data(), static_cast<DWORD>(bytes.size()), OutParam(text)));
  return text ? text.get() : L"(null)";
}

TEST(Binary2String, LowerCaseTwoCharactersPerByte) {
  EXPECT_EQ(L"", Hex({}));
  EXPECT_EQ(L"00abff", Hex({0x00, 0xAB, 0xFF}));
  EXPECT_EQ(L"0102fe7f80", Hex({1, 2, 0xFE, 0x7F, 0x80}));
}

TEST(String2Binary, Cases) {
  struct Case {
    const wchar_t* text;
    ResultCode code;
    std::vector<BYTE> bytes;
  } cases[] = {
      {L"", rc::kOk, {}},
      {L"0A 1b", rc::kOk, {0x0A, 0x1B}},
      {L" 0A:1b ", rc::kOddHexLength, {}},
      {L"123", rc::kOddHexLength, {}},
      {L"zz", rc::kOk, {0x00}},
      {L"0x10", rc::kOk, {0x00, 0x10}},
      {L"\t00\r\nFF\x01 aB", rc::kOk, {0x00, 0xFF, 0xAB}},
      {L"DEADbeef", rc::kOk, {0xDE, 0xAD, 0xBE, 0xEF}},
      {nullptr, rc::kOk, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << (c.text ? c.text : L"(null)"));
    BYTE* raw = reinterpret_cast<BYTE*>(1);
    DWORD length = 99;
    EXPECT_EQ(c.code, CCryptCommon::String2Binary(c.text, &raw, &length)) << (c.text ? c.text : L"(null)");
    MallocPtr<BYTE> bytes(raw);
    if (c.code != rc::kOk) {
      EXPECT_EQ(nullptr, raw);
      EXPECT_EQ(0u, length);
      continue;
    }
    ASSERT_EQ(c.bytes.size(), length);
    for (size_t i = 0; i < c.bytes.size(); ++i) EXPECT_EQ(c.bytes[i], bytes.get()[i]);
  }
}

TEST(TrimAndTrimSerial, Cases) {
  struct Case {
    const wchar_t* in;
    const wchar_t* trimmed;
    const wchar_t* serial;
  } cases[] = {
      {L" a\tb\r\nc ", L"abc", L"abc"},
      {L"0000", L"0000", L""},
      {L"000012", L"000012", L"12"},
      {L"00012", L"00012", L"012"},
      {L"00FFFF80", L"00FFFF80", L"FF80"},
      {L"ffffff", L"ffffff", L"ff"},
      {L"FFF0", L"FFF0", L"FFF0"},
      {L"FFFFFF80", L"FFFFFF80", L"FF80"},
      {L"FFFFF01", L"FFFFF01", L"FFF01"},
      {L"FFFF0001", L"FFFF0001", L"FF0001"},
      {L"0a:1b\x00a0", L"0a:1b\x00a0", L"0a:1b\x00a0"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.in);
    MallocPtr<wchar_t> trimmed;
    ASSERT_EQ(rc::kOk, CCryptCommon::Trim(c.in, OutParam(trimmed)));
    EXPECT_STREQ(c.trimmed, trimmed.get());
    MallocPtr<wchar_t> serial;
    ASSERT_EQ(rc::kOk, CCryptCommon::TrimSerial(trimmed.get(), OutParam(serial)));
    EXPECT_STREQ(c.serial, serial.get()) << c.in;
  }
}

TEST(BinaryMirror, ReversesInPlace) {
  BYTE three[] = {1, 2, 3};
  CCryptCommon::BinaryMirror(three, 3);
  EXPECT_EQ(3, three[0]);
  EXPECT_EQ(1, three[2]);
  BYTE four[] = {1, 2, 3, 4};
  CCryptCommon::BinaryMirror(four, 4);
  EXPECT_EQ(4, four[0]);
  EXPECT_EQ(2, four[2]);
  BYTE one[] = {9};
  CCryptCommon::BinaryMirror(one, 1);
  EXPECT_EQ(9, one[0]);
  CCryptCommon::BinaryMirror(nullptr, 0);
}

TEST(UpperCase, InPlace) {
  wchar_t text[] = L"sha256";
  EXPECT_EQ(text, CCryptCommon::UpperCase(text));
  EXPECT_STREQ(L"SHA256", text);
  wchar_t empty[] = L"";
  EXPECT_EQ(nullptr, CCryptCommon::UpperCase(empty));
  EXPECT_EQ(nullptr, CCryptCommon::UpperCase(nullptr));
}

// A certificate with serial 0x00F12345 in DER, 45 23 F1 00 in the blob.
TEST(CheckSerial, AgainstACertificate) {
  PCCERT_CONTEXT cert = PkiCert(L"full");
  ASSERT_TRUE(cert);
  ASSERT_EQ(4u, cert->pCertInfo->SerialNumber.cbData);
  CCryptCommon common;
  struct {
    const wchar_t* text;
    ResultCode code;
  } cases[] = {{L"00f12345", rc::kOk}, {L"F12345", rc::kOk}, {L"00 F1 23 45", rc::kOk},
               {L" f1\t2345\r\n", rc::kOk}, {L"f12346", rc::kCertNotFound}, {L"", rc::kCertNotFound},
               {L"0000f12345", rc::kOk}, {L"f1234", rc::kCertNotFound}};
  for (const auto& c : cases) EXPECT_EQ(c.code, common.CheckSerial(cert, c.text)) << c.text;
  CertFreeCertificateContext(cert);
}

TEST(CheckSerial, TwoByteBlobLeastSignificantFirst) {
  BYTE serial[] = {0x2B, 0x1A};
  CERT_INFO info = {};
  info.SerialNumber.cbData = 2;
  info.SerialNumber.pbData = serial;
  CERT_CONTEXT cert = {};
  cert.pCertInfo = &info;
  CCryptCommon common;
  EXPECT_EQ(rc::kOk, common.CheckSerial(&cert, L"00 1a 2B"));
  EXPECT_EQ(rc::kCertNotFound, common.CheckSerial(&cert, L"1A2C"));
}

}  // namespace
