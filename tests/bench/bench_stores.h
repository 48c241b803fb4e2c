#pragma once
#include <windows.h>
#include <wincrypt.h>

#include <string>

// Fills "MY" with `count` certificates issued by the test CA to the test
// key of "full" (each with its own serial number, all bound to that key).
bool FillPersonalStore(int count);
// Removes every certificate from "MY".
void EmptyPersonalStore();
