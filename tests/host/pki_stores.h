#pragma once
#include <string>

// Fills the test prefix's certificate stores from the test PKI (folder in
// TESSARN_PKI): a certificate with its private key from NAME.p12 into
// "MY", or a certificate alone from NAME.b64 into any store.
bool ImportPfxToMy(const std::wstring& name);
bool AddCertificate(const std::wstring& store, const std::wstring& name);
