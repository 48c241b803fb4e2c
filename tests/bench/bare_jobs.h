#pragma once
#include <windows.h>
#include <wincrypt.h>

#include <string>
#include <vector>

// The bare platform calls that do each method's job, without the control
// or its log: the baselines of the benchmark and of the leak test.
namespace bare {

// What every engine method does first and last: a provider context on the
// user's default container, and a smart-card resource-manager context.
void EngineStart();
PCCERT_CONTEXT FindByThumbprint(HCERTSTORE my, const std::string& sha1Hex);
bool ChainIsTrusted(PCCERT_CONTEXT cert);
// The key check before raw signing: the key found, or reached through the
// certificate.
bool KeyIsReachable(PCCERT_CONTEXT cert);
// One line of base64, without line breaks ("" for no bytes).
std::wstring Base64(const BYTE* data, DWORD size);
// StringToBinary's job: the text of `chars` characters decoded by the
// platform (the size, then the bytes) straight into the byte array
// (VT_UI1, lower bound 0) an answer carries, which is then released. True
// when it decoded.
bool DecodeToByteArray(const wchar_t* text, DWORD chars, DWORD flags);
// BinaryToString's job: the bytes encoded by the platform (the size, then
// the text) straight into the BSTR an answer carries, which is then
// released. True when it encoded.
bool EncodeToBstr(const BYTE* data, DWORD size, DWORD flags);
// True when the hash was signed.
bool RawSign(const std::string& thumb, ALG_ID alg, const std::vector<BYTE>& hash);
// RawSign's job with a key of a key storage provider (RSA, SHA-256): the
// certificate found, its usage, the key opened without a dialog and freed,
// the chain, then the provider and key opened, the hash signed through
// NCrypt and both freed. True when the hash was signed.
bool KspRawSign(const std::string& thumb, const std::vector<BYTE>& hash);
// True when the message was signed.
bool SignMessage(PCCERT_CONTEXT given, const std::wstring& payloadBase64);
// An attached PKCS #7 message of `payload` signed with SHA-256 by `cert`
// (the size, then the message), as SignPKCS7 makes it.
bool SignAttached(PCCERT_CONTEXT cert, const std::vector<BYTE>& payload, std::vector<BYTE>* message);
// The certificates listed.
int Enumerate(bool validate);
// The texts CertEnum's criteria are judged on, for every certificate in
// "MY": the enhanced key usage and the subject alternative name, each
// rendered by the platform (the size, then the text).
void CriteriaTexts();
// A chain engine created and released, as every chain check of the control
// makes one.
void ChainEngine();
// The certificates found.
int LookupByThumbprint(const std::wstring& prefix);
// True when the text was a certificate.
bool CertInfo(const std::wstring& b64);
// CertIsValid's job with validation (criteria 0x083) for a certificate
// given as base64: the store's copy, its signing usage, time validity, key
// binding and chain, then the criteria's texts (enhanced key usage, subject
// alternative name). True when it passes.
bool CertIsValid(const std::wstring& b64);
// CertChainIsValid's job: the certificate given as base64, and its chain.
// True when the chain is trusted.
bool ChainOfText(const std::wstring& b64);

// The file work the log promises for each entry: the day's file opened for
// appending, the entry's bytes written in one write, the file closed. The
// directory log's file is shared, and its writers take a one-byte lock far
// beyond the data around the write. `steps` stops short of the whole, so
// that its cost can be broken down.
enum class EntrySteps { kOpenClose, kOpenLockClose, kWhole };
void LogEntryFile(const std::wstring& file, bool shared, EntrySteps steps, const std::string& bytes);

}  // namespace bare
