// The site lock at the control's door: every call of a gated method from a
// page is checked against the lists (read afresh for each call) and, when
// no list decides, the user is asked. A refused call answers code 34 in the
// method's usual shape and logs the origin, never the call's arguments.
#include <new>

#include "certutil/result_array.h"
#include "control/consent_prompt.h"
#include "control/method_frame.h"
#include "control/page_memory.h"
#include "control/result_codes.h"
#include "control/tessarn_ctrl.h"
#include "framework/exception_boundary.h"
#include "framework/ole_exception.h"
#include "sitelock/site_lock_registry.h"
#include "sitelock/url_origin.h"

using namespace sitelock;

namespace {

// Methods that touch neither certificates, keys, stores nor the log.
bool IsGated(DISPID dispid) {
  switch (dispid) {
    case 15:  // BinaryToString
    case 16:  // StringToBinary
    case 17:  // LocalTimeToUTCTime
    case 18:  // LibGetInfo
      return false;
  }
  return true;
}

// The methods that report a code's text next to it.
bool AnswersText(DISPID dispid) { return dispid == 2 /* RawSign */ || dispid == 3 /* SetLogging */; }

void WriteRefusal(const framework::DispatchEntry& entry, VARIANT* result) {
  if (!result) return;
  VariantInit(result);
  if (entry.answer == VT_I4) {
    V_VT(result) = VT_I4;
    V_I4(result) = rc::kAccessDenied;
  } else if (entry.answer == VT_VARIANT) {
    framework::COleSafeArray answer;
    norelCertInfoUtl::nrlCOleSafeArrayCreate(answer, rc::kAccessDenied);
    if (AnswersText(entry.dispid)) {
      wchar_t text[kResultTextChars];
      LoadResultText(rc::kAccessDenied, text);
      norelCertInfoUtl::nrlAppendText(answer, text);
    }
    answer.Detach(result);
  }
  // AboutBox: nothing is shown and nothing answered.
}

// What the log says of the caller: the reduced origin, or what kind of
// caller it is. The document's full URL may carry a session's secrets in
// its path or query and is never written.
std::wstring Describe(const Caller& caller) {
  switch (caller.kind) {
    case Caller::Kind::kNoPage: return L"(no page)";
    case Caller::Kind::kUnreadablePage: return L"(unreadable document address)";
    case Caller::Kind::kPage: break;
  }
  if (caller.status == OriginStatus::kOk) return caller.origin.Text();
  return std::wstring(L"(") + OriginStatusName(caller.status) + L")";
}

}  // namespace

void CTessarnCtrl::OnSiteChanged() {
  std::wstring url;
  PageLookup found = LookUpPageUrl(ClientSite(), ObjectSite(), &url);
  if (found == PageLookup::kNoDocument) return;  // a site taken away lifts nothing
  m_documentLookup = found;
  m_documentUrl = url;
}

Caller CTessarnCtrl::CurrentCaller() {
  OnSiteChanged();  // the document may have been reached only now
  switch (m_documentLookup) {
    case PageLookup::kNoDocument: return Caller();
    case PageLookup::kUnreadable: return CallerFromUrl(nullptr);
    case PageLookup::kUrl: break;
  }
  return CallerFromUrl(m_documentUrl.c_str());
}

HWND CTessarnCtrl::PageWindow() const {
  HWND window = nullptr;
  ComPtr<IOleInPlaceSite> inPlace;
  if (ClientSite() && SUCCEEDED(ClientSite()->QueryInterface(IID_IOleInPlaceSite, inPlace.ReceiveVoid())) && inPlace)
    inPlace->GetWindow(&window);
  return window && IsWindow(window) ? window : nullptr;
}

Reason CTessarnCtrl::Ask(const Caller& caller) {
  // A page that calls again while the question is on screen (a timer, an
  // event) gets no second question, neither from this control nor from
  // another control of the same origin: questions piled up behind the
  // first would each have to be denied.
  if (m_asking) return Reason::kDeniedEarlier;
  std::wstring origin = caller.origin.Text();
  if (!page_memory::BeginQuestion(origin)) return Reason::kDeniedEarlier;
  m_asking = true;
  Consent consent = Consent::kDeny;
  try {
    consent = AskConsent(PageWindow(), origin);
  } catch (...) {
    m_asking = false;
    page_memory::EndQuestion(origin);
    throw;
  }
  m_asking = false;
  page_memory::EndQuestion(origin);
  switch (consent) {
    case Consent::kAlwaysAllow:
      if (!AddUserAllowedOrigin(caller.origin))
        theLog.Error(L"CSiteLock: cannot store [%s] in the user's AllowedOrigins", caller.origin.Text().c_str());
      m_session.allowedOnce.push_back(caller.origin);
      return Reason::kUserAllowed;
    case Consent::kAllowOnce:
      m_session.allowedOnce.push_back(caller.origin);
      return Reason::kAllowedOnce;
    case Consent::kDeny:
      break;
  }
  m_session.denied = true;
  // Every control on this page, and any made later, is refused without a
  // question too (in the bridge the page's address is its origin).
  page_memory::RecordDenial(m_documentUrl, caller.origin);
  return Reason::kDeniedEarlier;
}

HRESULT CTessarnCtrl::Invoke(DISPID dispid, REFIID iid, LCID lcid, WORD flags, DISPPARAMS* params,
                             VARIANT* result, EXCEPINFO* excepInfo, UINT* argError) {
  // A page's call logs at the level its origin set with SetLogging; other
  // callers (no page) at the process's.
  std::atomic<int>* level = nullptr;
  std::atomic<int> fresh{0};  // "NONE", for an origin that has set no level
  std::wstring origin;
  Caller caller;
  bool known = false;
  try {
    caller = CurrentCaller();
    known = true;
    if (caller.kind != Caller::Kind::kNoPage) {
      if (caller.kind == Caller::Kind::kPage && caller.status == OriginStatus::kOk) {
        origin = caller.origin.Text();
        level = page_memory::LogLevelOf(origin);
      }
      if (!level) level = &fresh;
    }
  } catch (...) {
    level = &fresh;
  }
  // A call made while this one runs (a callback, a question's message loop)
  // finds its own caller and gives this one back when it returns.
  struct RestoreCaller {
    const Caller*& slot;
    const Caller* outer;
    ~RestoreCaller() { slot = outer; }
  } restore{m_invokeCaller, m_invokeCaller};
  m_invokeCaller = known ? &caller : nullptr;
  HRESULT hr;
  if (!level) {
    hr = OleControl::Invoke(dispid, iid, lcid, flags, params, result, excepInfo, argError);
  } else {
    CMyLogLevelScope scope(level);
    hr = OleControl::Invoke(dispid, iid, lcid, flags, params, result, excepInfo, argError);
  }
  // The origin's first SetLogging: its level is kept for its later calls
  // (with no origin, or beyond the bound, it lasted for this call only).
  int set = fresh.load();
  if (level == &fresh && set != 0 && !origin.empty()) {
    try {
      page_memory::KeepLogLevel(origin, set);
    } catch (...) {
    }
  }
  return hr;
}

HRESULT CTessarnCtrl::GateCall(const framework::DispatchEntry& entry, VARIANT* result, bool* refused) {
  *refused = false;
  if (!IsGated(entry.dispid)) return S_OK;
  try {
    framework::ModuleStateScope state;
    Caller caller = m_invokeCaller ? *m_invokeCaller : CurrentCaller();
    Reason reason = Decide(caller, ReadSettings(caller), m_session);
    if (VerdictOf(reason) == Verdict::kAsk) {
      switch (page_memory::RememberedDenial(m_documentUrl, caller.origin)) {
        case Recall::kPageDenied: reason = Reason::kDeniedEarlier; break;
        case Recall::kOriginQuiet: reason = Reason::kDeniedRepeatedly; break;
        case Recall::kNothing:
          // Invoke holds a reference while the dialog runs.
          reason = Ask(caller);
          break;
      }
    }
    if (VerdictOf(reason) == Verdict::kAllow) return S_OK;
    *refused = true;
    // One line, and nothing of the call: a page that is refused cannot make
    // the log grow by more than this per call.
    theLog.Warning(L"CTessarnCtrl::%s refused for origin %s: %s", entry.name, Describe(caller).c_str(),
                   ReasonName(reason));
    WriteRefusal(entry, result);
    return S_OK;
  } catch (...) {
    return framework::ResultFromCaughtException();
  }
}
