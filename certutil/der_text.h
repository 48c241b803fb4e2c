#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

namespace norelCertInfoUtl {

// One DER element (single-byte tags, definite lengths of at most four
// octets), read without ever looking past `size`.
struct DerElement {
  uint8_t tag;
  const uint8_t* content;
  size_t length;
  size_t total;  // header and content
};
bool ReadDerElement(const uint8_t* data, size_t size, DerElement* element);

// A one-line rendering of DER data for extensions the platform cannot
// render: every object identifier in dotted form, text strings as text,
// other primitive values in hexadecimal, constructed values in braces. It
// never reads beyond `size` and renders damaged input as far as it is sound,
// then "?".
std::wstring RenderDer(const uint8_t* data, size_t size);

// The dotted form of an OID's content octets ("" when malformed).
std::wstring OidToDotted(const uint8_t* data, size_t size);

}  // namespace norelCertInfoUtl
