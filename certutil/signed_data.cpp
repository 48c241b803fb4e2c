#include "certutil/signed_data.h"

#include <algorithm>
#include <cstdio>

namespace signed_data {

namespace {

constexpr uint8_t kInteger = 0x02, kOctetString = 0x04, kNull = 0x05, kOid = 0x06, kUtcTime = 0x17,
                  kGeneralizedTime = 0x18, kSequence = 0x30, kSet = 0x31, kContext0 = 0xA0;

void Append(Bytes& out, const Bytes& more) { out.insert(out.end(), more.begin(), more.end()); }

Bytes Tlv(uint8_t tag, const Bytes& content) {
  Bytes out{tag};
  size_t n = content.size();
  if (n < 0x80) {
    out.push_back(static_cast<uint8_t>(n));
  } else {
    uint8_t octets[sizeof(size_t)];
    int count = 0;
    for (size_t v = n; v; v >>= 8) octets[count++] = static_cast<uint8_t>(v & 0xFF);
    out.push_back(static_cast<uint8_t>(0x80 | count));
    while (count) out.push_back(octets[--count]);
  }
  Append(out, content);
  return out;
}

Bytes Concat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes& p : parts) Append(out, p);
  return out;
}

// An unsigned big-endian integer in its shortest two's-complement form.
Bytes UnsignedInteger(const uint8_t* data, size_t length) {
  size_t skip = 0;
  while (skip + 1 < length && data[skip] == 0) ++skip;
  Bytes content;
  if (length == 0 || (data[skip] & 0x80)) content.push_back(0);
  content.insert(content.end(), data + skip, data + length);
  return Tlv(kInteger, content);
}

Bytes SmallInteger(uint8_t value) { return Tlv(kInteger, Bytes{value}); }

Bytes AlgorithmId(const std::string& oid, bool nullParams) {
  Bytes content = EncodeOid(oid);
  if (content.empty()) return {};
  if (nullParams) Append(content, Bytes{kNull, 0});
  return Tlv(kSequence, content);
}

Bytes Attribute(const char* oid, const Bytes& value) { return Tlv(kSequence, Concat({EncodeOid(oid), Tlv(kSet, value)})); }

Bytes TimeValue(const UtcTime& t) {
  char text[32];
  bool utc = t.year >= 1950 && t.year <= 2049;
  if (utc)
    snprintf(text, sizeof(text), "%02d%02d%02d%02d%02d%02dZ", t.year % 100, t.month, t.day, t.hour, t.minute,
             t.second);
  else
    snprintf(text, sizeof(text), "%04d%02d%02d%02d%02d%02dZ", t.year, t.month, t.day, t.hour, t.minute, t.second);
  return Tlv(utc ? kUtcTime : kGeneralizedTime, Bytes(text, text + std::char_traits<char>::length(text)));
}

}  // namespace

Bytes EncodeOid(const std::string& dotted) {
  std::vector<unsigned long long> arcs;
  unsigned long long value = 0;
  bool digit = false;
  for (size_t i = 0; i <= dotted.size(); ++i) {
    char c = i < dotted.size() ? dotted[i] : '.';
    if (c >= '0' && c <= '9') {
      if (value > (~0ULL - 9) / 10) return {};
      value = value * 10 + static_cast<unsigned>(c - '0');
      digit = true;
    } else if (c == '.' && digit) {
      arcs.push_back(value);
      value = 0;
      digit = false;
    } else {
      return {};
    }
  }
  if (arcs.size() < 2 || arcs[0] > 2 || (arcs[0] < 2 && arcs[1] > 39) || arcs[1] > ~0ULL - 80) return {};
  Bytes content;
  for (size_t i = 1; i < arcs.size(); ++i) {
    unsigned long long arc = i == 1 ? arcs[0] * 40 + arcs[1] : arcs[i];
    uint8_t groups[10];
    int count = 0;
    do {
      groups[count++] = static_cast<uint8_t>(arc & 0x7F);
      arc >>= 7;
    } while (arc);
    while (count > 1) content.push_back(static_cast<uint8_t>(groups[--count] | 0x80));
    content.push_back(groups[0]);
  }
  return Tlv(kOid, content);
}

Bytes SignedAttributes(const Bytes& contentDigest, const UtcTime& signingTime) {
  std::vector<Bytes> attributes = {
      Attribute("1.2.840.113549.1.9.3", EncodeOid("1.2.840.113549.1.7.1")),
      Attribute("1.2.840.113549.1.9.4", Tlv(kOctetString, contentDigest)),
      Attribute("1.2.840.113549.1.9.5", TimeValue(signingTime)),
  };
  // DER orders the members of a SET OF by their encodings.
  std::sort(attributes.begin(), attributes.end());
  Bytes content;
  for (const Bytes& a : attributes) Append(content, a);
  return Tlv(kSet, content);
}

Bytes EcdsaSignatureDer(const uint8_t* rs, size_t length) {
  if (length == 0 || length % 2) return {};
  size_t half = length / 2;
  return Tlv(kSequence, Concat({UnsignedInteger(rs, half), UnsignedInteger(rs + half, half)}));
}

Bytes SignedDataMessage(const Bytes& content, const SignerParams& signer, const Bytes& signedAttributes,
                        const Bytes& signature) {
  Bytes digestAlgorithm = AlgorithmId(signer.digestOid, true);
  Bytes signatureAlgorithm = AlgorithmId(signer.signatureOid, signer.signatureParamsNull);
  if (digestAlgorithm.empty() || signatureAlgorithm.empty() || signedAttributes.size() < 2 ||
      signedAttributes[0] != kSet || signer.issuer.empty() || signer.certificate.empty())
    return {};
  // In the SignerInfo the attributes' SET tag becomes [0] IMPLICIT; the
  // signature covers them with the SET tag.
  Bytes attributes = signedAttributes;
  attributes[0] = kContext0;
  Bytes signerInfo = Tlv(kSequence, Concat({SmallInteger(1),
                                            Tlv(kSequence, Concat({signer.issuer, UnsignedInteger(signer.serial.data(),
                                                                                                  signer.serial.size())})),
                                            digestAlgorithm, attributes, signatureAlgorithm,
                                            Tlv(kOctetString, signature)}));
  Bytes encapsulated = Tlv(kSequence, Concat({EncodeOid("1.2.840.113549.1.7.1"), Tlv(kContext0, Tlv(kOctetString, content))}));
  Bytes signedData = Tlv(kSequence, Concat({SmallInteger(1), Tlv(kSet, digestAlgorithm), encapsulated,
                                            Tlv(kContext0, signer.certificate), Tlv(kSet, signerInfo)}));
  return Tlv(kSequence, Concat({EncodeOid("1.2.840.113549.1.7.2"), Tlv(kContext0, signedData)}));
}

}  // namespace signed_data
