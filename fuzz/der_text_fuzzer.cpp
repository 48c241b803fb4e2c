// The renderer of extensions the platform cannot render: any bytes a
// certificate carries.
#include <vector>

#include "certutil/der_text.h"
#include "fuzz/wide_input.h"

using namespace norelCertInfoUtl;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // An exact copy, so that a read past the end is caught.
  std::vector<uint8_t> exact(data, data + size);
  const uint8_t* p = exact.empty() ? nullptr : exact.data();
  DerElement e{};
  if (ReadDerElement(p, size, &e)) {
    FUZZ_REQUIRE(e.total <= size && e.length <= e.total);
    FUZZ_REQUIRE(e.content >= p && e.content + e.length <= p + size);
  }
  // Printable ASCII only (text values keep their braces, so the braces
  // need not balance); input whose first element is damaged is only the
  // mark.
  std::wstring text = RenderDer(p, size);
  for (wchar_t c : text) FUZZ_REQUIRE(c >= 0x20 && c < 0x7F);
  DerElement first{};
  if (p && !ReadDerElement(p, size, &first) && size > 0) FUZZ_REQUIRE(text == L"?");
  // Digits and dots, starting with the first arc (0, 1 or 2), or nothing.
  std::wstring oid = OidToDotted(p, size);
  for (wchar_t c : oid) FUZZ_REQUIRE((c >= L'0' && c <= L'9') || c == L'.');
  FUZZ_REQUIRE(oid.empty() || (oid[0] >= L'0' && oid[0] <= L'2'));
  return 0;
}
