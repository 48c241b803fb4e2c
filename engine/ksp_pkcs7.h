#pragma once
#include <windows.h>
#include <wincrypt.h>

#include "certutil/heap.h"
#include "certutil/ksp_key.h"
#include "certutil/result_code.h"

// An attached PKCS #7 signed message made with a key of a key storage
// provider. The platform's message functions reach such keys only through
// the CNG signer interface (and Wine's not at all): the message is encoded
// here, with the signed attributes the platform writes for the older keys
// (content type, message digest, signing time) and the signer's
// certificate, and the key signs the attributes' hash through NCrypt. Codes:
// 14 and 33 as SignHashWithKsp, 2 memory, 41 no message.
ResultCode SignDataWithKsp(const KspKeyLink& link, const BYTE* data, DWORD length, ALG_ID id, const wchar_t* algorithm,
                           PCCERT_CONTEXT cert, MallocPtr<BYTE>* message, DWORD* messageLength);
