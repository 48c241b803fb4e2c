#include "engine/crypt_smart_card.h"

#include "certutil/crypt_handles.h"
#include "diag/log.h"

CCryptSmartCard::~CCryptSmartCard() {
  if (m_bInitialized || m_hContext) Close();
}

ResultCode CCryptSmartCard::Init() {
  theLog.Trace(L"CCryptSmartCard:Init start");
  m_hContext = 0;
  m_bInitialized = false;
  LONG answer = SCardEstablishContext(SCARD_SCOPE_USER, nullptr, nullptr, &m_hContext);
  if (answer != SCARD_S_SUCCESS) {
    theLog.Error(L"Cannot establish card context [%ld]", answer);
    m_hContext = 0;
    return rc::kCardContext;
  }
  if (GetReaderCount() <= 0) {
    theLog.Error(L"No reader is connected!");
    return rc::kReadersNotListed;
  }
  m_bInitialized = true;
  theLog.Trace(L"CCryptSmartCard:Init finished");
  return rc::kOk;
}

int CCryptSmartCard::GetReaderCount() const {
  ScopedCardMemory list(m_hContext);
  DWORD chars = SCARD_AUTOALLOCATE;
  if (SCardListReadersW(m_hContext, nullptr, reinterpret_cast<LPWSTR>(list.ReceiveText()), &chars) !=
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
  if (m_bInitialized || m_hContext) {
    LONG answer = SCardReleaseContext(m_hContext);
    if (answer == SCARD_S_SUCCESS) m_bInitialized = false;
    else theLog.Error(L"Cannot release card context [%ld]", answer);
  }
  m_hContext = 0;
  theLog.Trace(L"CCryptSmartCard:Close finished");
}
