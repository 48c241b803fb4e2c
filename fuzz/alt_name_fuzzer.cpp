// The decoder of subject alternative names the platform refuses: any bytes
// a certificate's extension carries.
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <vector>

#include "certutil/alt_name_decoder.h"
#include "fuzz/wide_input.h"

using namespace norelCertInfoUtl;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // An exact copy, so that a read past the end is caught.
  std::vector<uint8_t> exact(data, data + size);
  const BYTE* p = exact.empty() ? nullptr : exact.data();
  CERT_ALT_NAME_INFO* info = DecodeAltNameFallback(p, static_cast<DWORD>(size));
  if (!info) return 0;
  // Every entry takes at least its two header bytes; no value is longer
  // than the input, and every text ends within its block.
  FUZZ_REQUIRE(size >= 2 && info->cAltEntry <= (size - 2) / 2);
  for (DWORD i = 0; i < info->cAltEntry; ++i) {
    const CERT_ALT_NAME_ENTRY& e = info->rgAltEntry[i];
    switch (e.dwAltNameChoice) {
      case CERT_ALT_NAME_OTHER_NAME:
        FUZZ_REQUIRE(e.pOtherName->Value.cbData <= size);
        FUZZ_REQUIRE(strlen(e.pOtherName->pszObjId) > 0);
        break;
      case CERT_ALT_NAME_RFC822_NAME:
      case CERT_ALT_NAME_DNS_NAME:
      case CERT_ALT_NAME_URL:
        FUZZ_REQUIRE(wcslen(e.pwszRfc822Name) <= size);
        break;
      case CERT_ALT_NAME_REGISTERED_ID:
        FUZZ_REQUIRE(strlen(e.pszRegisteredID) > 0);
        break;
      default:
        FUZZ_REQUIRE(e.IPAddress.cbData <= size);
    }
  }
  free(info);
  return 0;
}
