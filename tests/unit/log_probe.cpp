// Loads the log as the module does and then either writes one entry
// ("write TEXT") or prints the temporary-directory log's file name ("name").
#include <cstdio>
#include <cwchar>

#include "diag/log.h"

int wmain(int argc, wchar_t** argv) {
  if (argc >= 3 && wcscmp(argv[1], L"write") == 0) {
    theLog.Trace(L"probe %s", argv[2]);
    return 0;
  }
  if (argc >= 2 && wcscmp(argv[1], L"name") == 0) {
    CMyTCString name;
    theTempLog.GetFileName(name);
    theTempLog.SetLevel(L"TRACE");
    theLog.Error(L"never written: no temporary directory");
    printf("%ls\n", name.Get() ? name.Get() : L"(null)");
    return 0;
  }
  return 2;
}
