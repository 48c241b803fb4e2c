#pragma once
// See windows.h in this folder.
#include "windows.h"

typedef struct _CRYPTOAPI_BLOB {
  DWORD cbData;
  BYTE* pbData;
} CRYPT_DATA_BLOB, CERT_NAME_BLOB, CRYPT_OBJID_BLOB;

typedef struct _CERT_OTHER_NAME {
  LPSTR pszObjId;
  CRYPT_OBJID_BLOB Value;
} CERT_OTHER_NAME;

typedef struct _CERT_ALT_NAME_ENTRY {
  DWORD dwAltNameChoice;
  union {
    CERT_OTHER_NAME* pOtherName;
    LPWSTR pwszRfc822Name;
    LPWSTR pwszDNSName;
    CERT_NAME_BLOB DirectoryName;
    LPWSTR pwszURL;
    CRYPT_DATA_BLOB IPAddress;
    LPSTR pszRegisteredID;
  };
} CERT_ALT_NAME_ENTRY;

typedef struct _CERT_ALT_NAME_INFO {
  DWORD cAltEntry;
  CERT_ALT_NAME_ENTRY* rgAltEntry;
} CERT_ALT_NAME_INFO;

#define CERT_ALT_NAME_OTHER_NAME 1
#define CERT_ALT_NAME_RFC822_NAME 2
#define CERT_ALT_NAME_DNS_NAME 3
#define CERT_ALT_NAME_X400_ADDRESS 4
#define CERT_ALT_NAME_DIRECTORY_NAME 5
#define CERT_ALT_NAME_EDI_PARTY_NAME 6
#define CERT_ALT_NAME_URL 7
#define CERT_ALT_NAME_IP_ADDRESS 8
#define CERT_ALT_NAME_REGISTERED_ID 9
