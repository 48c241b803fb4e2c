#pragma once
#include <windows.h>
#include <oleauto.h>

#include <string>

#include "control/page_url.h"
#include "framework/dispatch_table.h"
#include "framework/ole_control.h"
#include "sitelock/origin_list.h"

// The Tessarn control: an invisible ActiveX control whose whole function is
// its dispatch interface _DTessarn. It keeps nothing between calls but what
// the site lock learnt: the document it was sited in and the user's answers.
class CTessarnCtrl : public framework::OleControl {
 public:
  CTessarnCtrl();
  static HRESULT Create(REFIID iid, void** object);
  static const framework::DispatchTable& MethodTable();

  // The methods, in DISPID order. VARIANT answers are written to `answer`,
  // which the caller owns.
  void AboutBox();
  long RawSignCheck(const wchar_t* certSerialNumber, const wchar_t* certThumbprint, const wchar_t* certThumbprintAlg);
  void RawSign(const wchar_t* hashToSign, const wchar_t* certSerialNumber, const wchar_t* certThumbprint,
               const wchar_t* certThumbprintAlg, VARIANT* answer);
  void SetLogging(const wchar_t* loglevel, VARIANT* answer);
  void GetLogging(VARIANT* answer);
  void CertEnum(long certCriteria, VARIANT* answer);
  void CertLookup(const wchar_t* storeName, long flag, const wchar_t* value, VARIANT* answer);
  long CertIsValid(const wchar_t* certificate, long certCriteria);
  void CertGetInfo(const wchar_t* certificate, long attribute, VARIANT* answer);
  long CertHasPrivateKey(const wchar_t* certificate);
  long CertChainIsValid(const wchar_t* certificate);
  long CertDisplay(const wchar_t* certificate);
  void SignPKCS7(const wchar_t* certificate, const wchar_t* data, const wchar_t* digest, VARIANT* answer);
  void SignRaw(const wchar_t* certificate, const wchar_t* hashToSign, const wchar_t* digest, VARIANT* answer);
  void BinaryToString(const framework::ByteArg& value, long length, long flag, VARIANT* answer);
  void StringToBinary(const wchar_t* value, UINT valueLength, long flag, VARIANT* answer);
  void LocalTimeToUTCTime(const wchar_t* localTime, VARIANT* answer);
  void LibGetInfo(long attribute, VARIANT* answer);

  // Each call of a page runs at the log level of the page's origin
  // (site_gate.cpp).
  HRESULT STDMETHODCALLTYPE Invoke(DISPID dispid, REFIID iid, LCID lcid, WORD flags, DISPPARAMS* params,
                                   VARIANT* result, EXCEPINFO* excepInfo, UINT* argError) override;

 protected:
  void OnDraw(HDC dc, const RECT& bounds) override;
  // The site lock (site_gate.cpp).
  HRESULT GateCall(const framework::DispatchEntry& entry, VARIANT* result, bool* refused) override;
  void OnSiteChanged() override;

 private:
  sitelock::Caller CurrentCaller();
  sitelock::Reason Ask(const sitelock::Caller& caller);
  HWND PageWindow() const;

  sitelock::Session m_session;
  // Once sited in a document, the control stays locked to what it learnt
  // there when the site is taken away.
  PageLookup m_documentLookup = PageLookup::kNoDocument;
  std::wstring m_documentUrl;
  bool m_asking = false;  // a question is on screen: calls meanwhile are refused
  // The caller Invoke found for the call it is dispatching, so that the site
  // lock does not read the document's address a second time.
  const sitelock::Caller* m_invokeCaller = nullptr;
};
