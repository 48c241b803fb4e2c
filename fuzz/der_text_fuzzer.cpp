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
  std::wstring text = RenderDer(p, size);
  std::wstring oid = OidToDotted(p, size);
  (void)text;
  (void)oid;
  return 0;
}
