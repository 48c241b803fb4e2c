#pragma once
#include <windows.h>
#include <wincrypt.h>

#include "certutil/heap.h"
#include "certutil/ksp_key.h"
#include "certutil/result_code.h"

// A signature made with a key of a key storage provider, most significant
// byte first: the PKCS #1 v1.5 signature of an RSA key, or r followed by s
// (each the curve's size) for an EC key.
struct KspSignature {
  MallocPtr<BYTE> bytes;
  DWORD length = 0;
  bool ec = false;
};

// Signs a hash value of the algorithm `id` with the key the link names.
// `caller` names the operation in the log ("CCrypt::SignHash"). Codes: 14
// the key cannot be opened or cannot sign, 33 the hash does not suit the
// key, 16 the hash is not the algorithm's length, 17 the provider made no
// signature of the key's length, 2 memory. Every handle is freed on every
// path; the key's provider may show its own PIN dialog.
ResultCode SignHashWithKsp(const wchar_t* caller, const KspKeyLink& link, ALG_ID id, const wchar_t* algorithm,
                           const BYTE* hash, DWORD length, KspSignature* out);
