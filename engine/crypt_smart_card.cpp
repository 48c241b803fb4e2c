#include "engine/crypt_smart_card.h"

#include "certutil/crypt_handles.h"
#include "diag/log.h"

CCryptSmartCard::~CCryptSmartCard() {
  if (m_bInitialized || m_context) Close();
}

ResultCode CCryptSmartCard::Init() {
  theLog.Trace(L"CCryptSmartCard:Init start");
  m_context.Reset();
  m_bInitialized = false;
  SCARDCONTEXT established = 0;
  LONG answer = SCardEstablishContext(SCARD_SCOPE_USER, nullptr, nullptr, &established);
  if (answer != SCARD_S_SUCCESS) {
    theLog.Error(L"Cannot establish card context [%ld]", answer);
    return rc::kCardContext;
  }
  m_context.Reset(established);
  if (GetReaderCount() <= 0) {
    theLog.Error(L"No reader is connected!");
    return rc::kReadersNotListed;
  }
  m_bInitialized = true;
  theLog.Trace(L"CCryptSmartCard:Init finished");
  return rc::kOk;
}

int CCryptSmartCard::GetReaderCount() const {
  ScopedCardMemory list(m_context.Get());
  DWORD chars = SCARD_AUTOALLOCATE;
  if (SCardListReadersW(m_context.Get(), nullptr, reinterpret_cast<LPWSTR>(list.ReceiveText()), &chars) !=
          SCARD_S_SUCCESS ||
      !list)
    return -2;
  const wchar_t* readers = list.Text();
  int count = 0;
  // A multi-string: names separated by a zero, ended by an empty name; the
  // platform's length bounds the walk.
  for (DWORD i = 0; i < chars && readers[i]; ++count) {
    while (i < chars && readers[i]) ++i;
    ++i;
  }
  return count;
}

void CCryptSmartCard::Close() {
  theLog.Trace(L"CCryptSmartCard:Close start");
  if (m_bInitialized || m_context) {
    LONG answer = m_context.CloseReporting();
    if (answer == SCARD_S_SUCCESS) m_bInitialized = false;
    else theLog.Error(L"Cannot release card context [%ld]", answer);
  }
  theLog.Trace(L"CCryptSmartCard:Close finished");
}
