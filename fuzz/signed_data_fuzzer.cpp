// The encoder of the signed messages the control makes for keys of key
// storage providers: object identifiers from any text, ECDSA signatures
// from any bytes, whole messages from any parts. Every answer is sound DER
// that says what was given, or nothing.
#include <string>
#include <vector>

#include "certutil/der_text.h"
#include "certutil/signed_data.h"
#include "fuzz/wide_input.h"

using namespace norelCertInfoUtl;
using signed_data::Bytes;

namespace {

// One element that fills exactly `size` bytes.
bool Whole(const Bytes& b, uint8_t tag, DerElement* e) {
  return !b.empty() && ReadDerElement(b.data(), b.size(), e) && e->total == b.size() && e->tag == tag;
}

// A big-endian value without its leading zero octets (one kept for 0); a
// DER INTEGER's content compares so with the bytes it was made of.
Bytes Magnitude(const uint8_t* p, size_t n) {
  size_t skip = 0;
  while (skip + 1 < n && p[skip] == 0) ++skip;
  return Bytes(p + skip, p + n);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // An object identifier: re-encoding its dotted form gives the same bytes.
  std::string dotted(reinterpret_cast<const char*>(data), size < 64 ? size : 64);
  Bytes oid = signed_data::EncodeOid(dotted);
  DerElement e{};
  if (!oid.empty()) {
    FUZZ_REQUIRE(Whole(oid, 0x06, &e));
    std::wstring back = OidToDotted(e.content, e.length);
    FUZZ_REQUIRE(!back.empty());
    FUZZ_REQUIRE(signed_data::EncodeOid(std::string(back.begin(), back.end())) == oid);
  }

  // r||s: a SEQUENCE of two INTEGERs, the halves' values, non-negative.
  std::vector<uint8_t> exact(data, data + size);
  Bytes sig = signed_data::EcdsaSignatureDer(exact.data(), size);
  FUZZ_REQUIRE(sig.empty() == (size == 0 || size % 2 != 0));
  if (!sig.empty()) {
    FUZZ_REQUIRE(Whole(sig, 0x30, &e));
    DerElement r{}, s{};
    FUZZ_REQUIRE(ReadDerElement(e.content, e.length, &r) && r.tag == 0x02);
    FUZZ_REQUIRE(ReadDerElement(e.content + r.total, e.length - r.total, &s) && s.tag == 0x02);
    FUZZ_REQUIRE(r.total + s.total == e.length);
    FUZZ_REQUIRE(!(r.content[0] & 0x80) && !(s.content[0] & 0x80));
    FUZZ_REQUIRE(Magnitude(r.content, r.length) == Magnitude(exact.data(), size / 2));
    FUZZ_REQUIRE(Magnitude(s.content, s.length) == Magnitude(exact.data() + size / 2, size / 2));
  }

  // A message from parts cut out of the input: one sound element or none.
  size_t cut = size / 3;
  Bytes content(data, data + cut), certificate(data + cut, data + 2 * cut), serial(data + 2 * cut, data + size);
  signed_data::SignerParams signer{certificate, Bytes{0x30, 0x00}, serial, "2.16.840.1.101.3.4.2.1",
                                   "1.2.840.10045.4.3.2", false};
  int n = static_cast<int>(size % 100000);
  signed_data::UtcTime when{1900 + n % 250, 1 + n % 12, 1 + n % 28, n % 24, n % 60, n % 60};
  Bytes attributes = signed_data::SignedAttributes(Bytes(32, 0x5A), when);
  FUZZ_REQUIRE(Whole(attributes, 0x31, &e));
  Bytes message = signed_data::SignedDataMessage(content, signer, attributes, sig);
  FUZZ_REQUIRE(message.empty() == certificate.empty());
  if (!message.empty()) FUZZ_REQUIRE(Whole(message, 0x30, &e));
  return 0;
}
