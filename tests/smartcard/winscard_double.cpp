// A stand-in for the smart-card resource manager (winscard.dll) that tests
// load in place of the platform's: it serves the readers and cards of the
// test's scenario file and injects the faults the scenario names. The calls
// have the real calling conventions and SCARD_AUTOALLOCATE /
// SCardFreeMemory semantics.
#include <windows.h>
// The functions are defined here, not imported.
#define WINSCARDAPI
#include <winscard.h>

#include <atomic>
#include <cstring>
#include <string>

#include "tests/smartcard/scenario.h"

namespace {

std::atomic<LONG> g_liveContexts{0};
std::atomic<LONG> g_outstandingBlocks{0};
std::atomic<ULONG_PTR> g_nextContext{0x5C000};

// Hands a multi-string to the caller: as a fresh block for
// SCARD_AUTOALLOCATE, into the caller's buffer, or as a size only.
LONG ReturnMultiString(const std::wstring& multi, LPWSTR out, LPDWORD chars) {
  if (!chars) return SCARD_E_INVALID_PARAMETER;
  DWORD needed = static_cast<DWORD>(multi.size());
  if (*chars == SCARD_AUTOALLOCATE) {
    if (!out) return SCARD_E_INVALID_PARAMETER;
    auto* block = static_cast<wchar_t*>(HeapAlloc(GetProcessHeap(), 0, needed * sizeof(wchar_t)));
    if (!block) return SCARD_E_NO_MEMORY;
    memcpy(block, multi.data(), needed * sizeof(wchar_t));
    *reinterpret_cast<LPWSTR*>(out) = block;
    g_outstandingBlocks++;
    *chars = needed;
    return SCARD_S_SUCCESS;
  }
  if (!out) {
    *chars = needed;
    return SCARD_S_SUCCESS;
  }
  if (*chars < needed) {
    *chars = needed;
    return SCARD_E_INSUFFICIENT_BUFFER;
  }
  memcpy(out, multi.data(), needed * sizeof(wchar_t));
  *chars = needed;
  return SCARD_S_SUCCESS;
}

// "a\0b\0\0"
std::wstring MultiString(const std::wstring& single) { return single + L'\0' + L'\0'; }

}  // namespace

extern "C" {

LONG WINAPI SCardEstablishContext(DWORD, LPCVOID, LPCVOID, LPSCARDCONTEXT context) {
  if (!context) return SCARD_E_INVALID_PARAMETER;
  if (DWORD fault = LoadScenario().Fault(L"establish")) return static_cast<LONG>(fault);
  *context = g_nextContext++;
  g_liveContexts++;
  return SCARD_S_SUCCESS;
}

LONG WINAPI SCardReleaseContext(SCARDCONTEXT context) {
  if (!context) return SCARD_E_INVALID_HANDLE;
  if (DWORD fault = LoadScenario().Fault(L"release")) return static_cast<LONG>(fault);
  g_liveContexts--;
  return SCARD_S_SUCCESS;
}

LONG WINAPI SCardFreeMemory(SCARDCONTEXT, LPCVOID memory) {
  if (memory) {
    HeapFree(GetProcessHeap(), 0, const_cast<LPVOID>(memory));
    g_outstandingBlocks--;
  }
  return SCARD_S_SUCCESS;
}

LONG WINAPI SCardListReadersW(SCARDCONTEXT context, LPCWSTR, LPWSTR readers, LPDWORD chars) {
  if (!context) return SCARD_E_INVALID_HANDLE;
  Scenario s = LoadScenario();
  if (DWORD fault = s.Fault(L"listreaders")) return static_cast<LONG>(fault);
  if (s.readers.empty()) return SCARD_E_NO_READERS_AVAILABLE;
  std::wstring multi;
  for (const CardReader& r : s.readers) multi += r.name + L'\0';
  multi += L'\0';
  return ReturnMultiString(multi, readers, chars);
}

LONG WINAPI SCardGetStatusChangeW(SCARDCONTEXT context, DWORD, LPSCARD_READERSTATEW states, DWORD count) {
  if (!context) return SCARD_E_INVALID_HANDLE;
  Scenario s = LoadScenario();
  if (DWORD fault = s.Fault(L"status")) return static_cast<LONG>(fault);
  for (DWORD i = 0; i < count; ++i) {
    const CardReader* r = states[i].szReader ? s.FindReader(states[i].szReader) : nullptr;
    if (!r) {
      states[i].dwEventState = SCARD_STATE_UNKNOWN | SCARD_STATE_CHANGED;
      continue;
    }
    states[i].dwEventState = SCARD_STATE_CHANGED | (r->present ? SCARD_STATE_PRESENT : SCARD_STATE_EMPTY);
    states[i].cbAtr = r->present ? static_cast<DWORD>(r->atr.size() < 36 ? r->atr.size() : 36) : 0;
    if (states[i].cbAtr) memcpy(states[i].rgbAtr, r->atr.data(), states[i].cbAtr);
  }
  return SCARD_S_SUCCESS;
}

LONG WINAPI SCardListCardsW(SCARDCONTEXT context, LPCBYTE atr, LPCGUID, DWORD, LPWSTR cards, LPDWORD chars) {
  if (!context) return SCARD_E_INVALID_HANDLE;
  Scenario s = LoadScenario();
  if (DWORD fault = s.Fault(L"listcards")) return static_cast<LONG>(fault);
  for (const CardReader& r : s.readers) {
    if (r.present && atr && !r.atr.empty() && memcmp(r.atr.data(), atr, r.atr.size()) == 0) {
      if (r.cardName.empty()) return SCARD_E_UNKNOWN_CARD;
      return ReturnMultiString(MultiString(r.cardName), cards, chars);
    }
  }
  return SCARD_E_UNKNOWN_CARD;
}

LONG WINAPI SCardGetCardTypeProviderNameW(SCARDCONTEXT context, LPCWSTR cardName, DWORD providerId,
                                          LPWSTR provider, LPDWORD chars) {
  if (!context) return SCARD_E_INVALID_HANDLE;
  Scenario s = LoadScenario();
  if (DWORD fault = s.Fault(L"providername")) return static_cast<LONG>(fault);
  if (providerId != SCARD_PROVIDER_CSP || !cardName) return SCARD_E_INVALID_PARAMETER;
  for (const CardReader& r : s.readers) {
    if (r.present && r.cardName == cardName) {
      if (r.cspName.empty()) return SCARD_E_UNKNOWN_CARD;
      std::wstring name = r.cspName + L'\0';
      return ReturnMultiString(name, provider, chars);
    }
  }
  return SCARD_E_UNKNOWN_CARD;
}

// What a test asks the double: contexts still established and blocks not
// yet freed.
LONG WINAPI TessarnDoubleLiveContexts() { return g_liveContexts.load(); }
LONG WINAPI TessarnDoubleOutstandingBlocks() { return g_outstandingBlocks.load(); }

}  // extern "C"
