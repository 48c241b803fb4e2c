#pragma once
// The few Windows types the alternative-name decoder names, for its native
// fuzz build (the build machine has no Windows headers). Layouts follow
// the platform's headers; only the decoder's own logic is under test here.
#include <cstddef>
#include <cstdint>

typedef unsigned char BYTE;
typedef uint32_t DWORD;
typedef wchar_t* LPWSTR;
typedef char* LPSTR;
