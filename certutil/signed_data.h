#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// The DER of a CMS (PKCS #7) SignedData message with one signer, for keys
// the platform's message functions cannot reach: the control builds the
// message itself and has the key sign only the signed attributes. Pure
// byte work: no platform call, so it is tested and fuzzed natively.
namespace signed_data {

using Bytes = std::vector<uint8_t>;

// A UTC time of day, as the signing-time attribute carries it.
struct UtcTime {
  int year, month, day, hour, minute, second;
};

// What the message says about its signer and algorithms.
struct SignerParams {
  Bytes certificate;   // the signer's certificate, DER
  Bytes issuer;        // its issuer's name, DER (the certificate's own bytes)
  Bytes serial;        // its serial number's content octets, most significant first
  std::string digestOid;     // the hash's own identifier ("2.16.840.1.101.3.4.2.1")
  std::string signatureOid;  // rsaEncryption or ecdsa-with-SHAxxx
  bool signatureParamsNull;  // rsaEncryption names NULL parameters; ECDSA none
};

// The DER of a dotted object identifier; empty for a malformed one.
Bytes EncodeOid(const std::string& dotted);

// The signed attributes (content type "data", the content's digest, the
// signing time) as the DER SET whose hash the signer signs. Times from 1950
// to 2049 are UTCTime, others GeneralizedTime.
Bytes SignedAttributes(const Bytes& contentDigest, const UtcTime& signingTime);

// The ECDSA signature r||s (two halves of equal length) as the DER
// Ecdsa-Sig-Value that CMS carries; empty for an odd or empty input.
Bytes EcdsaSignatureDer(const uint8_t* rs, size_t length);

// The whole message: a ContentInfo of type signedData with the content
// inside, the signer's certificate, and one SignerInfo carrying
// `signedAttributes` (as made by SignedAttributes) and `signature`.
// Empty when a parameter cannot be encoded.
Bytes SignedDataMessage(const Bytes& content, const SignerParams& signer, const Bytes& signedAttributes,
                        const Bytes& signature);

}  // namespace signed_data
