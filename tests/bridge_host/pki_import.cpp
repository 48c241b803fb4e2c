// Puts test certificates into the prefix's stores before the host runs:
//   pki_import NAME...            certificate into "MY" with its private key
//   pki_import --store STORE NAME certificate alone into STORE
// The test PKI's folder comes from TESSARN_PKI.
#include <windows.h>

#include <cstdio>
#include <cwchar>

#include "tests/host/pki_stores.h"

int wmain(int argc, wchar_t** argv) {
  for (int i = 1; i < argc; ++i) {
    bool ok;
    if (wcscmp(argv[i], L"--store") == 0 && i + 2 < argc) {
      ok = AddCertificate(argv[i + 1], argv[i + 2]);
      i += 2;
    } else {
      ok = ImportWithKey(argv[i]);
    }
    if (!ok) {
      fwprintf(stderr, L"pki_import: cannot import %ls\n", argv[i]);
      return 1;
    }
  }
  return 0;
}
