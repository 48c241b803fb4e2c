// A stand-in for the key storage router (ncrypt.dll) that the key tests load
// in place of the platform's: Wine's ncrypt cannot open a persisted key
// again. It serves the test PKI's keys of a key storage provider, signs
// through BCrypt (P-384 with its own arithmetic, see p384::Sign), and appends each call it receives to the file named by
// TESSARN_KSP_RECORD, one line a call:
//   open-provider HANDLE NAME | open-key HANDLE NAME FLAGS | property HANDLE NAME
//   sign HANDLE HASH_LENGTH FLAGS PADDING_HASH size|sign (each call)
//   signed HANDLE LENGTH (a signature made) | free HANDLE | free-bad HANDLE
// Keys: a key named NAME is the test PKI's NAME.kspblob in the user's
// scope; "machine-NAME" the same key in the machine's scope only.
// TESSARN_KSP_FAULT injects one fault: "sign:CODE" (the signing call fails
// with CODE), "size:CODE" (the size query fails), "short" (one byte too
// few), "group:NAME" (the key reports another algorithm group).
#include <windows.h>
#include <bcrypt.h>
#include <ncrypt.h>

#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <string>
#include <vector>

namespace {

constexpr DWORD kProviderMagic = 0x50525631;
constexpr DWORD kKeyMagic = 0x4b455931;

struct Object {
  DWORD magic = 0;
  std::wstring name;  // provider name, or the key's blob name
  bool ec = false;
  DWORD bits = 0;
  std::vector<BYTE> blob;
};

std::wstring Env(const wchar_t* name) {
  wchar_t value[2048] = {};
  DWORD n = GetEnvironmentVariableW(name, value, 2048);
  return n && n < 2048 ? std::wstring(value, n) : std::wstring();
}

void Record(const wchar_t* format, ...) {
  std::wstring path = Env(L"TESSARN_KSP_RECORD");
  if (path.empty()) return;
  wchar_t line[1024];
  va_list args;
  va_start(args, format);
  _vsnwprintf(line, 1023, format, args);
  va_end(args);
  line[1023] = 0;
  char narrow[2048];
  int n = WideCharToMultiByte(CP_UTF8, 0, line, -1, narrow, sizeof(narrow) - 2, nullptr, nullptr);
  if (n <= 0) return;
  narrow[n - 1] = '\n';
  HANDLE f = CreateFileW(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  if (f == INVALID_HANDLE_VALUE) return;
  DWORD written = 0;
  WriteFile(f, narrow, static_cast<DWORD>(n), &written, nullptr);
  CloseHandle(f);
}

// The fault of a kind ("sign"), with its value after the colon.
bool Fault(const wchar_t* kind, std::wstring* value) {
  std::wstring fault = Env(L"TESSARN_KSP_FAULT");
  size_t k = wcslen(kind);
  if (fault.compare(0, k, kind) != 0 || (fault.size() > k && fault[k] != L':')) return false;
  if (value) *value = fault.size() > k ? fault.substr(k + 1) : std::wstring();
  return true;
}

SECURITY_STATUS FaultCode(const wchar_t* kind) {
  std::wstring value;
  if (!Fault(kind, &value)) return ERROR_SUCCESS;
  return static_cast<SECURITY_STATUS>(wcstoul(value.c_str(), nullptr, 16));
}

std::vector<BYTE> ReadBlob(const std::wstring& name) {
  std::wstring path = Env(L"TESSARN_PKI") + L"\\" + name + L".kspblob";
  std::vector<BYTE> bytes;
  HANDLE f = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (f == INVALID_HANDLE_VALUE) return bytes;
  DWORD size = GetFileSize(f, nullptr), got = 0;
  bytes.resize(size);
  if (!ReadFile(f, bytes.data(), size, &got, nullptr) || got != size) bytes.clear();
  CloseHandle(f);
  return bytes;
}

Object* AsObject(NCRYPT_HANDLE h, DWORD magic) {
  auto* o = reinterpret_cast<Object*>(h);
  return o && o->magic == magic ? o : nullptr;
}

bool IsKnownProvider(const wchar_t* name) {
  return name && (wcscmp(name, MS_KEY_STORAGE_PROVIDER) == 0 || wcscmp(name, MS_SMART_CARD_KEY_STORAGE_PROVIDER) == 0 ||
                  wcscmp(name, MS_PLATFORM_KEY_STORAGE_PROVIDER) == 0);
}

}  // namespace

// ECDSA on P-384 by the double's own arithmetic: Wine's BCrypt cannot import
// a P-384 private key, but it makes fresh P-384 key pairs, and a fresh pair
// (k, kG) is what a signature needs besides arithmetic modulo the group
// order n: r = x(kG) mod n, s = k^-1 (e + r d) mod n.
namespace p384 {

constexpr int kLimbs = 12;  // 32-bit limbs, least significant first
using Num = std::array<uint32_t, kLimbs>;

const Num& Order() {
  static const Num n = [] {
    const char* hex =
        "ffffffffffffffffffffffffffffffffffffffffffffffffc7634d81f4372ddf581a0db248b0a77aecec196accc52973";
    Num v{};
    for (int i = 0; i < kLimbs; ++i) v[i] = static_cast<uint32_t>(strtoul(std::string(hex + 88 - 8 * i, 8).c_str(), nullptr, 16));
    return v;
  }();
  return n;
}

Num FromBytes(const BYTE* be, size_t length) {  // the first 48 bytes at most
  Num v{};
  if (length > 48) length = 48;
  for (size_t i = 0; i < length; ++i) {
    size_t bit = (length - 1 - i) * 8;
    v[bit / 32] |= static_cast<uint32_t>(be[i]) << (bit % 32);
  }
  return v;
}

void ToBytes(const Num& v, BYTE* be) {
  for (int i = 0; i < 48; ++i) be[47 - i] = static_cast<BYTE>(v[i / 4] >> (8 * (i % 4)));
}

bool Less(const Num& a, const Num& b) {
  for (int i = kLimbs - 1; i >= 0; --i)
    if (a[i] != b[i]) return a[i] < b[i];
  return false;
}

bool IsZero(const Num& a) {
  for (uint32_t x : a)
    if (x) return false;
  return true;
}

// a - b, for a >= b.
Num Sub(const Num& a, const Num& b) {
  Num r{};
  int64_t borrow = 0;
  for (int i = 0; i < kLimbs; ++i) {
    int64_t d = static_cast<int64_t>(a[i]) - b[i] - borrow;
    borrow = d < 0;
    r[i] = static_cast<uint32_t>(d + (borrow << 32));
  }
  return r;
}

Num Reduce(Num a) { return Less(a, Order()) ? a : Sub(a, Order()); }

Num AddMod(const Num& a, const Num& b) {
  Num r{};
  uint64_t carry = 0;
  for (int i = 0; i < kLimbs; ++i) {
    uint64_t t = static_cast<uint64_t>(a[i]) + b[i] + carry;
    r[i] = static_cast<uint32_t>(t);
    carry = t >> 32;
  }
  if (carry || !Less(r, Order())) r = Sub(r, Order());  // wraps correctly modulo 2^384
  return r;
}

Num MulMod(const Num& a, const Num& b) {
  uint32_t product[2 * kLimbs] = {};
  for (int i = 0; i < kLimbs; ++i) {
    uint64_t carry = 0;
    for (int j = 0; j < kLimbs; ++j) {
      uint64_t t = static_cast<uint64_t>(a[i]) * b[j] + product[i + j] + carry;
      product[i + j] = static_cast<uint32_t>(t);
      carry = t >> 32;
    }
    product[i + kLimbs] = static_cast<uint32_t>(carry);
  }
  // Shift the product in bit by bit, keeping the remainder below n.
  Num r{};
  for (int bit = 2 * kLimbs * 32 - 1; bit >= 0; --bit) {
    uint32_t top = r[kLimbs - 1] >> 31;
    for (int i = kLimbs - 1; i > 0; --i) r[i] = (r[i] << 1) | (r[i - 1] >> 31);
    r[0] = (r[0] << 1) | ((product[bit / 32] >> (bit % 32)) & 1);
    if (top || !Less(r, Order())) r = Sub(r, Order());
  }
  return r;
}

// a^(n-2): the inverse modulo the prime n.
Num Inverse(const Num& a) {
  Num e = Order();
  e[0] -= 2;
  Num r{};
  r[0] = 1;
  for (int bit = kLimbs * 32 - 1; bit >= 0; --bit) {
    r = MulMod(r, r);
    if ((e[bit / 32] >> (bit % 32)) & 1) r = MulMod(r, a);
  }
  return r;
}

// r||s into `out` (96 bytes); false when BCrypt cannot make a fresh pair.
bool Sign(const BYTE* privateD, const BYTE* hash, DWORD hashLength, BYTE* out) {
  BCRYPT_ALG_HANDLE algorithm = nullptr;
  if (BCryptOpenAlgorithmProvider(&algorithm, BCRYPT_ECDSA_P384_ALGORITHM, nullptr, 0) < 0) return false;
  bool made = false;
  for (int attempt = 0; attempt < 8 && !made; ++attempt) {
    BCRYPT_KEY_HANDLE fresh = nullptr;
    BYTE blob[8 + 3 * 48];
    ULONG size = 0;
    bool ok = BCryptGenerateKeyPair(algorithm, &fresh, 384, 0) >= 0 && BCryptFinalizeKeyPair(fresh, 0) >= 0 &&
              BCryptExportKey(fresh, nullptr, BCRYPT_ECCPRIVATE_BLOB, blob, sizeof(blob), &size, 0) >= 0 &&
              size == sizeof(blob);
    if (fresh) BCryptDestroyKey(fresh);
    if (!ok) break;
    Num k = FromBytes(blob + 8 + 2 * 48, 48), r = Reduce(FromBytes(blob + 8, 48));
    // The hash's leftmost 384 bits; a shorter hash is its own value.
    Num e = Reduce(FromBytes(hash, hashLength));
    Num d = FromBytes(privateD, 48);
    Num s = MulMod(Inverse(k), AddMod(e, MulMod(r, d)));
    if (IsZero(r) || IsZero(s)) continue;
    ToBytes(r, out);
    ToBytes(s, out + 48);
    made = true;
  }
  BCryptCloseAlgorithmProvider(algorithm, 0);
  return made;
}

}  // namespace p384

extern "C" {

SECURITY_STATUS WINAPI NCryptOpenStorageProvider(NCRYPT_PROV_HANDLE* provider, LPCWSTR name, DWORD flags) {
  if (!provider) return NTE_INVALID_PARAMETER;
  if (flags != 0) return NTE_BAD_FLAGS;
  if (!IsKnownProvider(name)) {
    Record(L"open-provider-failed %s", name ? name : L"(null)");
    return NTE_BAD_PROVIDER;
  }
  auto* o = new Object;
  o->magic = kProviderMagic;
  o->name = name;
  *provider = reinterpret_cast<NCRYPT_PROV_HANDLE>(o);
  Record(L"open-provider %p %s", o, name);
  return ERROR_SUCCESS;
}

SECURITY_STATUS WINAPI NCryptOpenKey(NCRYPT_PROV_HANDLE provider, NCRYPT_KEY_HANDLE* key, LPCWSTR name, DWORD,
                                     DWORD flags) {
  if (!AsObject(provider, kProviderMagic)) return NTE_INVALID_HANDLE;
  if (!key || !name) return NTE_INVALID_PARAMETER;
  if (flags & ~(NCRYPT_MACHINE_KEY_FLAG | NCRYPT_SILENT_FLAG)) return NTE_BAD_FLAGS;
  std::wstring blobName = name;
  bool machineKey = blobName.compare(0, 8, L"machine-") == 0;
  if (machineKey) blobName = blobName.substr(8);
  std::vector<BYTE> blob;
  if (machineKey == ((flags & NCRYPT_MACHINE_KEY_FLAG) != 0)) blob = ReadBlob(blobName);
  if (blob.size() < 8) {
    Record(L"open-key-failed %s %lx", name, flags);
    return NTE_BAD_KEYSET;
  }
  auto* o = new Object;
  o->magic = kKeyMagic;
  o->name = blobName;
  DWORD magic = *reinterpret_cast<const DWORD*>(blob.data());
  o->ec = magic != BCRYPT_RSAPRIVATE_MAGIC;
  o->bits = o->ec ? (reinterpret_cast<const BCRYPT_ECCKEY_BLOB*>(blob.data())->cbKey == 66
                         ? 521
                         : reinterpret_cast<const BCRYPT_ECCKEY_BLOB*>(blob.data())->cbKey * 8)
                  : reinterpret_cast<const BCRYPT_RSAKEY_BLOB*>(blob.data())->BitLength;
  o->blob = std::move(blob);
  *key = reinterpret_cast<NCRYPT_KEY_HANDLE>(o);
  Record(L"open-key %p %s %lx", o, name, flags);
  return ERROR_SUCCESS;
}

SECURITY_STATUS WINAPI NCryptGetProperty(NCRYPT_HANDLE object, LPCWSTR property, PBYTE output, DWORD outputSize,
                                         DWORD* result, DWORD) {
  Object* o = AsObject(object, kKeyMagic);
  if (!o) return NTE_INVALID_HANDLE;
  if (!property || !result) return NTE_INVALID_PARAMETER;
  Record(L"property %p %s", o, property);
  std::vector<BYTE> value;
  if (wcscmp(property, NCRYPT_ALGORITHM_GROUP_PROPERTY) == 0) {
    std::wstring group = o->ec ? NCRYPT_ECDSA_ALGORITHM_GROUP : NCRYPT_RSA_ALGORITHM_GROUP;
    std::wstring injected;
    if (Fault(L"group", &injected)) group = injected;
    value.assign(reinterpret_cast<const BYTE*>(group.c_str()),
                 reinterpret_cast<const BYTE*>(group.c_str() + group.size() + 1));
  } else if (wcscmp(property, NCRYPT_LENGTH_PROPERTY) == 0) {
    value.assign(reinterpret_cast<const BYTE*>(&o->bits), reinterpret_cast<const BYTE*>(&o->bits + 1));
  } else {
    return NTE_NOT_SUPPORTED;
  }
  *result = static_cast<DWORD>(value.size());
  if (!output) return ERROR_SUCCESS;
  if (outputSize < value.size()) return NTE_BUFFER_TOO_SMALL;
  memcpy(output, value.data(), value.size());
  return ERROR_SUCCESS;
}

SECURITY_STATUS WINAPI NCryptSignHash(NCRYPT_KEY_HANDLE key, VOID* paddingInfo, PBYTE hash, DWORD hashLength,
                                      PBYTE signature, DWORD signatureSize, DWORD* result, DWORD flags) {
  Object* o = AsObject(key, kKeyMagic);
  if (!o) return NTE_INVALID_HANDLE;
  if (!hash || !result) return NTE_INVALID_PARAMETER;
  const wchar_t* paddingHash = L"-";
  if (flags & BCRYPT_PAD_PKCS1) {
    auto* info = static_cast<BCRYPT_PKCS1_PADDING_INFO*>(paddingInfo);
    if (!info) return NTE_INVALID_PARAMETER;
    paddingHash = info->pszAlgId ? info->pszAlgId : L"(none)";
  }
  Record(L"sign %p %lu %lx %s %s", o, hashLength, flags, paddingHash, signature ? L"sign" : L"size");
  if (o->ec ? (flags != 0 || paddingInfo) : (flags != BCRYPT_PAD_PKCS1)) return NTE_INVALID_PARAMETER;
  DWORD bytes = (o->bits + 7) / 8;
  DWORD length = o->ec ? 2 * bytes : bytes;
  if (!signature) {
    if (SECURITY_STATUS fault = FaultCode(L"size")) return fault;
    *result = length;
    return ERROR_SUCCESS;
  }
  if (SECURITY_STATUS fault = FaultCode(L"sign")) return fault;
  if (signatureSize < length) return NTE_BUFFER_TOO_SMALL;
  if (o->ec && o->bits == 384) {
    if (!p384::Sign(o->blob.data() + sizeof(BCRYPT_ECCKEY_BLOB) + 2 * 48, hash, hashLength, signature)) {
      Record(L"bcrypt-failed p384");
      return NTE_INTERNAL_ERROR;
    }
    *result = Fault(L"short", nullptr) ? length - 1 : length;
    Record(L"signed %p %lu", o, *result);
    return ERROR_SUCCESS;
  }
  BCRYPT_ALG_HANDLE algorithm = nullptr;
  const wchar_t* name = !o->ec ? BCRYPT_RSA_ALGORITHM
                        : o->bits == 256 ? BCRYPT_ECDSA_P256_ALGORITHM
                        : o->bits == 384 ? BCRYPT_ECDSA_P384_ALGORITHM
                                         : BCRYPT_ECDSA_P521_ALGORITHM;
  NTSTATUS status = BCryptOpenAlgorithmProvider(&algorithm, name, nullptr, 0);
  if (status < 0) return NTE_INTERNAL_ERROR;
  BCRYPT_KEY_HANDLE imported = nullptr;
  status = BCryptImportKeyPair(algorithm, nullptr, o->ec ? BCRYPT_ECCPRIVATE_BLOB : BCRYPT_RSAPRIVATE_BLOB, &imported,
                               o->blob.data(), static_cast<ULONG>(o->blob.size()), 0);
  ULONG made = 0;
  if (status >= 0) {
    status = BCryptSignHash(imported, paddingInfo, hash, hashLength, signature, signatureSize, &made, flags);
    BCryptDestroyKey(imported);
  }
  BCryptCloseAlgorithmProvider(algorithm, 0);
  if (status < 0) {
    Record(L"bcrypt-failed %lx", static_cast<unsigned long>(status));
    return NTE_INTERNAL_ERROR;
  }
  *result = Fault(L"short", nullptr) ? made - 1 : made;
  Record(L"signed %p %lu", o, *result);
  return ERROR_SUCCESS;
}

SECURITY_STATUS WINAPI NCryptFreeObject(NCRYPT_HANDLE object) {
  Object* o = AsObject(object, kProviderMagic);
  if (!o) o = AsObject(object, kKeyMagic);
  if (!o) {
    Record(L"free-bad %p", reinterpret_cast<void*>(object));
    return NTE_INVALID_HANDLE;
  }
  Record(L"free %p", o);
  // Kept, marked dead, so that a second free of the handle is seen.
  o->magic = 0;
  o->blob.clear();
  return ERROR_SUCCESS;
}

}  // extern "C"
