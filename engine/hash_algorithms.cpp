#include "engine/hash_algorithms.h"

#include <cwchar>

#include "certutil/crypt_common.h"

namespace {

struct HashAlgorithm {
  const wchar_t* name;
  ALG_ID algId;
  const char* oid;
};

const HashAlgorithm kAlgorithms[] = {
    {L"MD5", CALG_MD5, "1.2.840.113549.1.1.4"},
    {L"SHA1", CALG_SHA1, "1.2.840.113549.1.1.5"},
    {L"SHA224", static_cast<ALG_ID>(-1), nullptr},
    {L"SHA256", CALG_SHA_256, "1.2.840.113549.1.1.11"},
    {L"SHA384", CALG_SHA_384, "1.2.840.113549.1.1.12"},
    {L"SHA512", CALG_SHA_512, "1.2.840.113549.1.1.13"},
};

const HashAlgorithm* Lookup(wchar_t* name) {
  if (!name || !CCryptCommon::UpperCase(name)) return nullptr;
  for (const HashAlgorithm& a : kAlgorithms) {
    if (wcscmp(a.name, name) == 0) return &a;
  }
  return nullptr;
}

}  // namespace

bool IsHashAlgValid(wchar_t* name) { return Lookup(name) != nullptr; }

ALG_ID GetHashAlgId(wchar_t* name) {
  const HashAlgorithm* a = Lookup(name);
  return a ? a->algId : static_cast<ALG_ID>(-1);
}

const char* GetHashAlgOid(wchar_t* name) {
  const HashAlgorithm* a = Lookup(name);
  return a ? a->oid : nullptr;
}

bool IsMd5ThumbprintName(const wchar_t* name) { return name && _wcsicmp(name, L"MD5") == 0; }
