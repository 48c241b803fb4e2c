#pragma once
#include <windows.h>
#include <wincrypt.h>

#include "framework/ole_safe_array.h"

// The visitors an enumeration hands each certificate to. The list visitors
// append every certificate they accept, as one line of base64, to the
// running method's answer array.
class CCertCallback {
 public:
  virtual bool OnCertificate(PCCERT_CONTEXT cert);

 protected:
  ~CCertCallback() = default;
};

class CCertCallbackList : public CCertCallback {
 public:
  explicit CCertCallbackList(framework::COleSafeArray& result) : m_result(result) {}
  bool OnCertificate(PCCERT_CONTEXT cert) override;
  virtual bool IsMatch(PCCERT_CONTEXT cert);

 protected:
  ~CCertCallbackList() = default;

 private:
  framework::COleSafeArray& m_result;
};

class CCertCallbackEnum : public CCertCallbackList {
 public:
  CCertCallbackEnum(framework::COleSafeArray& result, long criteria) : CCertCallbackList(result), m_criteria(criteria) {}
  bool IsMatch(PCCERT_CONTEXT cert) override;

 private:
  long m_criteria;
};

class CCertCallbackLookupAll : public CCertCallbackList {
 public:
  using CCertCallbackList::CCertCallbackList;
  bool IsMatch(PCCERT_CONTEXT cert) override;
};

class CCertCallbackLookupHash : public CCertCallbackList {
 public:
  CCertCallbackLookupHash(framework::COleSafeArray& result, const wchar_t* search)
      : CCertCallbackList(result), m_search(search) {}
  bool IsMatch(PCCERT_CONTEXT cert) override;

 private:
  const wchar_t* m_search;
};

class CCertCallbackLookupIssuer : public CCertCallbackList {
 public:
  CCertCallbackLookupIssuer(framework::COleSafeArray& result, const wchar_t* search)
      : CCertCallbackList(result), m_search(search) {}
  bool IsMatch(PCCERT_CONTEXT cert) override;

 private:
  const wchar_t* m_search;
};
