// Reading certificates straight from the smart cards in the connected
// readers, through each card type's own CSP.
#include <cstring>
#include <cwchar>
#include <vector>

#include "certutil/crypt_handles.h"
#include "certutil/heap.h"
#include "certutil/visitors.h"
#include "diag/log.h"
#include "engine/crypt_smart_card.h"
#include "engine/hash_algorithms.h"
#include "engine/signing_usage.h"
#include "engine/sized_fetch.h"

namespace {

struct KeySpec {
  DWORD spec;
  const wchar_t* name;
};
const KeySpec kKeySpecs[] = {{AT_SIGNATURE, L"AT_SIGNATURE"}, {AT_KEYEXCHANGE, L"AT_KEYEXCHANGE"}};

// The names of a multi-string bounded by its length in characters.
std::vector<const wchar_t*> SplitMultiString(const wchar_t* list, DWORD chars) {
  std::vector<const wchar_t*> names;
  for (DWORD i = 0; list && i < chars && list[i];) {
    names.push_back(list + i);
    while (i < chars && list[i]) ++i;
    ++i;
  }
  return names;
}

// Reads the card's container name (two calls); the name itself is not used,
// but a card whose container cannot be named is not read.
ResultCode ReadContainerName(HCRYPTPROV provider, const wchar_t* getParamLine, const wchar_t* mallocLine) {
  const SizedFetchTexts texts = {
      getParamLine,
      mallocLine,
      getParamLine,
      L"Can't get key container name length, error code [%ld]",
      L"Can't allocate memory for key container name",
      L"Can't get key container name, error code [%ld]",
  };
  MallocPtr<BYTE> name;
  DWORD size = 0;
  return FetchSized(
      texts, nullptr, rc::kCardContainerName, false,
      [&](BYTE* out, DWORD* length) { return CryptGetProvParam(provider, PP_CONTAINER, out, length, 0); },
      NothingBeforeFetch, &name, &size);
}

// The certificate stored with one key of the card; 0 with the context, or
// 11, 2 or 12. *noKey is set when the card has no such key.
ResultCode ReadKeyCertificate(HCRYPTPROV provider, const KeySpec& key, const wchar_t* prefix, bool* noKey,
                              ScopedCertContext* cert) {
  *noKey = false;
  theLog.Trace(L"%s CryptGetUserKey", prefix);
  ScopedCryptKey handle;
  if (!CryptGetUserKey(provider, key.spec, handle.Receive())) {
    theLog.Warning(L"Can't get user key handle [%s], error code [%ld]", key.name, static_cast<long>(GetLastError()));
    *noKey = true;
    return rc::kOk;
  }
  static const SizedFetchTexts kBlobTexts = {
      L"%s CryptGetKeyParam",
      L"%s malloc",
      L"%s CryptGetKeyParam",
      L"Can't get certificate blob length, error code [%lx]",
      L"Can't allocate memory for certificate blob",
      L"Can't get certificate blob, error code [%lx]",
  };
  MallocPtr<BYTE> blob;
  DWORD length = 0;
  ResultCode fetched = FetchSized(
      kBlobTexts, prefix, rc::kCardCertNotRead, true,
      [&](BYTE* out, DWORD* size) { return CryptGetKeyParam(handle.Get(), KP_CERTIFICATE, out, size, 0); },
      NothingBeforeFetch, &blob, &length);
  if (fetched != rc::kOk) return fetched;
  theLog.Trace(L"%s CertCreateCertificateContext", prefix);
  cert->Reset(CertCreateCertificateContext(X509_ASN_ENCODING, blob.get(), length));
  if (!*cert) {
    theLog.Error(L"Can't create certificate context, error code [%lx]", GetLastError());
    return rc::kCertContextNotCreated;
  }
  return rc::kOk;
}

// The signing-usage test with the card provider's warnings.
bool CardCertMaySign(PCCERT_CONTEXT cert) {
  SigningUsage usage = TestSigningUsage(cert);
  if (usage.verdict == SigningUsage::kNoSigning)
    theLog.Warning(L"Intended key usage for certificate in smart card does not allow signature [%ld]",
                   static_cast<long>(usage.firstByte));
  else if (usage.verdict == SigningUsage::kQueryFailed)
    theLog.Warning(L"Can't get intended key usage for certificate in smart card, error code [%lx]", usage.error);
  return usage.verdict == SigningUsage::kPasses;
}

}  // namespace

struct CCryptSmartCard::ScanTexts {
  const wchar_t* start;
  const wchar_t* notInitialized;
  const wchar_t* listReaders;
  const wchar_t* allocateStates;
  const wchar_t* clearStates;
  const wchar_t* getStatusChange;
  const wchar_t* listCards;
  const wchar_t* getProviderName;
  const wchar_t* acquireContext;
};

template <class PerCard>
ResultCode CCryptSmartCard::Scan(const ScanTexts& t, bool find, PerCard perCard) {
  theLog.Trace(t.start);
  if (!m_bInitialized) {
    theLog.Error(t.notInitialized);
    return rc::kCardContext;
  }
  theLog.Trace(t.listReaders);
  ScopedCardMemory readerList(m_context.Get());
  DWORD chars = SCARD_AUTOALLOCATE;
  LONG answer = SCardListReadersW(m_context.Get(), nullptr, reinterpret_cast<LPWSTR>(readerList.ReceiveText()), &chars);
  if (answer != SCARD_S_SUCCESS) {
    theLog.Error(L"Can't list readers, error code [%ld]", answer);
    return rc::kReadersNotListed;
  }
  std::vector<const wchar_t*> readers = SplitMultiString(readerList.Text(), chars);
  theLog.Trace(t.allocateStates);
  std::vector<SCARD_READERSTATEW> states;
  try {
    states.resize(readers.size());
  } catch (...) {
    theLog.Error(L"Can't allocate memory for card readers' states");
    return rc::kNoMemory;
  }
  theLog.Trace(t.clearStates);
  memset(states.data(), 0, states.size() * sizeof(SCARD_READERSTATEW));
  for (size_t i = 0; i < readers.size(); ++i) {
    states[i].szReader = readers[i];
    states[i].dwCurrentState = SCARD_STATE_UNAWARE;
  }
  theLog.Trace(t.getStatusChange);
  if (!states.empty() &&
      SCardGetStatusChangeW(m_context.Get(), INFINITE, states.data(), static_cast<DWORD>(states.size())) != SCARD_S_SUCCESS) {
    theLog.Error(L"Can't initialize card status");
    return rc::kReaderStatus;
  }
  ResultCode result = find ? rc::kCertNotFound : rc::kOk;
  for (size_t i = 0; i < states.size(); ++i) {
    theLog.Debug(L"Reader [%s]", states[i].szReader);
    if (!(states[i].dwEventState & SCARD_STATE_PRESENT)) {
      theLog.Debug(L"No card in reader");
      continue;
    }
    theLog.Trace(t.listCards);
    ScopedCardMemory cards(m_context.Get());
    DWORD cardChars = SCARD_AUTOALLOCATE;
    answer = SCardListCardsW(m_context.Get(), states[i].rgbAtr, nullptr, 0, reinterpret_cast<LPWSTR>(cards.ReceiveText()),
                             &cardChars);
    if (answer != SCARD_S_SUCCESS || !cards.Text()) {
      theLog.Error(L"Can't get card name for card [%ld], error code [%ld]", static_cast<long>(i), answer);
      break;
    }
    theLog.Trace(t.getProviderName);
    ScopedCardMemory providerName(m_context.Get());
    DWORD providerChars = SCARD_AUTOALLOCATE;
    answer = SCardGetCardTypeProviderNameW(m_context.Get(), cards.Text(), SCARD_PROVIDER_CSP,
                                           reinterpret_cast<LPWSTR>(providerName.ReceiveText()), &providerChars);
    if (answer != SCARD_S_SUCCESS || !providerName.Text()) {
      theLog.Error(L"Can't get card CSP for card [%ld], error code [%ld]", static_cast<long>(i), answer);
      break;
    }
    theLog.Debug(L"CSP [%s]", providerName.Text());
    size_t readerChars = wcslen(states[i].szReader);
    auto container = AllocZeroed<wchar_t>(readerChars + 16);
    if (!container) {
      theLog.Error(L"Can't allocate memory for card container name");
      return rc::kNoMemory;
    }
    swprintf(container.get(), readerChars + 16, L"\\\\.\\%ls\\", states[i].szReader);
    theLog.Debug(L"Container [%s]", container.get());
    theLog.Trace(t.acquireContext);
    ScopedCryptProv provider;
    if (!CryptAcquireContextW(provider.Receive(), container.get(), providerName.Text(), PROV_RSA_FULL, CRYPT_SILENT)) {
      theLog.Error(L"Can't acquire context, error code [%ld]", static_cast<long>(GetLastError()));
      if (find) {
        result = rc::kContextNotAcquired;
        break;
      }
      continue;
    }
    bool stop = false;
    result = perCard(provider.Get(), &stop);
    if (stop) break;
  }
  return result;
}

ResultCode CCryptSmartCard::FindCertificate(const wchar_t* serial, const wchar_t* thumbprint,
                                            const wchar_t* algorithm, PCCERT_CONTEXT* cert) {
  static const ScanTexts kTexts = {
      L"CCryptSmartCard:FindCertificate start",
      L"CCryptSmartCard::FindCertificate - Error, Not initialized...",
      L"CCryptSmartCard:FindCertificate SCardListReaders",
      L"CCryptSmartCard:FindCertificate malloc",
      L"CCryptSmartCard:FindCertificate ZeroMemory",
      L"CCryptSmartCard:FindCertificate SCardGetStatusChange",
      L"CCryptSmartCard:FindCertificate SCardListCards",
      L"CCryptSmartCard:FindCertificate SCardGetCardTypeProviderName",
      L"CCryptSmartCard:FindCertificate CryptAcquireContext",
  };
  ResultCode result = Scan(kTexts, true, [&](HCRYPTPROV provider, bool* stop) {
    ResultCode code = GetCertificateFromReader(provider, serial, thumbprint, algorithm, cert);
    *stop = code != rc::kCertNotFound;
    return code;
  });
  theLog.Trace(L"CCryptSmartCard:FindCertificate finished, result [%s]", result == rc::kOk ? L"FOUND" : L"NOT FOUND");
  return result;
}

ResultCode CCryptSmartCard::EnumCertificates(CCertCallback& visitor, bool all) {
  static const ScanTexts kTexts = {
      L"CCryptSmartCard:EnumCertificates start",
      L"CCryptSmartCard::EnumCertificates - Error, Not initialized...",
      L"CCryptSmartCard:EnumCertificates SCardListReaders",
      L"CCryptSmartCard:EnumCertificates malloc",
      L"CCryptSmartCard:EnumCertificates ZeroMemory",
      L"CCryptSmartCard:EnumCertificates SCardGetStatusChange",
      L"CCryptSmartCard:EnumCertificates SCardListCards",
      L"CCryptSmartCard:EnumCertificates SCardGetCardTypeProviderName",
      L"CCryptSmartCard:EnumCertificates CryptAcquireContext",
  };
  ResultCode result = Scan(kTexts, false, [&](HCRYPTPROV provider, bool* stop) {
    *stop = false;
    return EnumCertificatesFromReader(provider, visitor, all);
  });
  theLog.Trace(L"CCryptSmartCard:EnumCertificates finished, result [%d]", result);
  return result;
}

ResultCode CCryptSmartCard::GetCertificateFromReader(HCRYPTPROV provider, const wchar_t* serial,
                                                     const wchar_t* thumbprint, const wchar_t* algorithm,
                                                     PCCERT_CONTEXT* cert) {
  const wchar_t kPrefix[] = L"CCryptSmartCard:GetCertificateFromReader";
  *cert = nullptr;
  theLog.Trace(L"%s start", kPrefix);
  DWORD property = IsMd5ThumbprintName(algorithm) ? CERT_MD5_HASH_PROP_ID : CERT_SHA1_HASH_PROP_ID;
  BYTE* raw = nullptr;
  DWORD length = 0;
  ResultCode code = String2Binary(thumbprint, &raw, &length);
  if (code != rc::kOk) {
    theLog.Error(L"Can't convert thumbprint to binary");
    return code;
  }
  MallocPtr<BYTE> wanted(raw);
  code = ReadContainerName(provider, L"CCryptSmartCard:GetCertificateFromReader CryptGetProvParam",
                           L"CCryptSmartCard:GetCertificateFromReader malloc");
  if (code != rc::kOk) return code;
  ScopedCertContext match;
  for (const KeySpec& key : kKeySpecs) {
    bool noKey = false;
    ScopedCertContext candidate;
    code = ReadKeyCertificate(provider, key, kPrefix, &noKey, &candidate);
    if (code != rc::kOk) return code;
    if (noKey) continue;
    theLog.Trace(L"%s CertGetCertificateContextProperty", kPrefix);
    DWORD hashLength = 0;
    if (!CertGetCertificateContextProperty(candidate.Get(), property, nullptr, &hashLength)) {
      theLog.Error(L"Can't get certificate hash length, error code [%lx]", GetLastError());
      theLog.Trace(L"%s finished", kPrefix);
      return rc::kThumbprintNotRead;
    }
    theLog.Trace(L"%s malloc", kPrefix);
    auto hash = AllocZeroed<BYTE>(hashLength);
    if (!hash) {
      theLog.Error(L"Can't allocate memory for certificate thumbprint blob");
      return rc::kNoMemory;
    }
    theLog.Trace(L"%s CertGetCertificateContextProperty", kPrefix);
    if (!CertGetCertificateContextProperty(candidate.Get(), property, hash.get(), &hashLength)) {
      theLog.Error(L"Can't get certificate hash, error code [%lx]", GetLastError());
      theLog.Trace(L"%s finished", kPrefix);
      return rc::kThumbprintNotRead;
    }
    bool matches = hashLength == length && memcmp(hash.get(), wanted.get(), length) == 0;
    if (matches && CheckSerial(candidate.Get(), serial) != rc::kOk) {
      theLog.Warning(L"Serial number check failed");
      matches = false;
    } else if (matches) {
      matches = CardCertMaySign(candidate.Get());
    }
    if (matches) {
      match = std::move(candidate);
      break;
    }
  }
  bool found = static_cast<bool>(match);
  *cert = match.Detach();
  theLog.Trace(L"%s finished, result [%s]", kPrefix, found ? L"FOUND" : L"NOT FOUND");
  return found ? rc::kOk : rc::kCertNotFound;
}

ResultCode CCryptSmartCard::EnumCertificatesFromReader(HCRYPTPROV provider, CCertCallback& visitor, bool all) {
  const wchar_t kPrefix[] = L"CCryptSmartCard:EnumCertificatesFromReader";
  theLog.Trace(L"%s start", kPrefix);
  ResultCode code = ReadContainerName(provider, L"CCryptSmartCard:EnumCertificatesFromReader CryptGetProvParam",
                                      L"CCryptSmartCard:EnumCertificatesFromReader malloc");
  if (code != rc::kOk) return code;
  int count = 0;
  for (const KeySpec& key : kKeySpecs) {
    bool noKey = false;
    ScopedCertContext cert;
    code = ReadKeyCertificate(provider, key, kPrefix, &noKey, &cert);
    if (code != rc::kOk) return code;
    if (noKey) continue;
    bool hand = all;
    if (!all) {
      theLog.Trace(L"CCryptSmartCard:EnumCertificates CertGetIntendedKeyUsage");
      hand = CardCertMaySign(cert.Get());
    }
    if (hand) {
      ++count;
      visitor.OnCertificate(cert.Get());
    }
  }
  theLog.Trace(L"%s finished, result [count: %d]", kPrefix, count);
  return rc::kOk;
}
