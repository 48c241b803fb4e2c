#pragma once
#include <windows.h>

#include <string>
#include <vector>

// Fills the test prefix's certificate stores from the test PKI (folder in
// TESSARN_PKI): a certificate into "MY" with its private key imported into
// a container of its own (as a user who imports a PFX file into the AES
// provider has it), or a certificate alone from NAME.b64 into any store.
bool ImportWithKey(const std::wstring& name);
bool AddCertificate(const std::wstring& store, const std::wstring& name);

// A whole file's bytes; empty when it cannot be read.
std::vector<BYTE> ReadFileBytes(const std::wstring& path);
