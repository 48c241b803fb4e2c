// The control through IDispatch, as an Automation client that binds by name
// sees it: name lookup with and without a locale, the type information, and
// the dispatch errors.
#include <gtest/gtest.h>

#include <cstring>

#include "tests/com/test_support.h"
#include "tests/support/dispids.h"

using namespace testing_support;

namespace {

struct Member {
  const wchar_t* name;
  DISPID id;
  int args;
};
const Member kMembers[] = {
    {L"AboutBox", -552, 0},         {L"RawSignCheck", 1, 3},      {L"RawSign", 2, 4},
    {L"SetLogging", 3, 1},          {L"GetLogging", 4, 0},        {L"CertEnum", 5, 1},
    {L"CertLookup", 6, 3},          {L"CertIsValid", 7, 2},       {L"CertGetInfo", 8, 2},
    {L"CertHasPrivateKey", 9, 1},   {L"CertChainIsValid", 10, 1}, {L"CertDisplay", 11, 1},
    {L"SignPKCS7", 12, 3},          {L"SignRaw", 14, 3},          {L"BinaryToString", 15, 3},
    {L"StringToBinary", 16, 2},     {L"LocalTimeToUTCTime", 17, 1}, {L"LibGetInfo", 18, 1},
};

class DispatchTest : public ::testing::Test {
 protected:
  void SetUp() override {
    control = CreateControl();
    ASSERT_TRUE(control);
  }
  DISPID Lookup(const wchar_t* name, LCID lcid, HRESULT* hr = nullptr) {
    LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
    DISPID id = 12345;
    HRESULT r = control->GetIDsOfNames(IID_NULL, names, 1, lcid, &id);
    if (hr) *hr = r;
    return id;
  }
  ComScope com;
  ComPtr<IDispatch> control;
};

TEST_F(DispatchTest, EveryMemberResolvesToItsTableDispidWithAndWithoutLocale) {
  for (LCID lcid : {LCID(0), LCID(0x409), LCID(0x405)}) {
    for (const Member& m : kMembers) {
      HRESULT hr = E_FAIL;
      EXPECT_EQ(m.id, Lookup(m.name, lcid, &hr)) << m.name << " lcid " << lcid;
      EXPECT_EQ(S_OK, hr) << m.name;
    }
  }
}

TEST_F(DispatchTest, NamesAreMatchedWithoutRegardToCase) {
  EXPECT_EQ(14, Lookup(L"signraw", 0));
  EXPECT_EQ(16, Lookup(L"STRINGTOBINARY", 0));
  EXPECT_EQ(18, Lookup(L"libGetInfo", 0x409));
}

TEST_F(DispatchTest, UnknownNameIsRefused) {
  for (LCID lcid : {LCID(0), LCID(0x409)}) {
    HRESULT hr = S_OK;
    EXPECT_EQ(DISPID_UNKNOWN, Lookup(L"NoSuchMethod", lcid, &hr));
    EXPECT_EQ(DISP_E_UNKNOWNNAME, hr);
  }
}

TEST_F(DispatchTest, ArgumentNamesWithoutLocaleGetMinusOne) {
  LPOLESTR names[] = {const_cast<LPOLESTR>(L"CertLookup"), const_cast<LPOLESTR>(L"flag"),
                      const_cast<LPOLESTR>(L"value")};
  DISPID ids[3] = {0, 0, 0};
  control->GetIDsOfNames(IID_NULL, names, 3, 0, ids);
  EXPECT_EQ(6, ids[0]);
  EXPECT_EQ(-1, ids[1]);
  EXPECT_EQ(-1, ids[2]);
}

TEST_F(DispatchTest, ArgumentNamesThroughTheTypeLibrary) {
  LPOLESTR names[] = {const_cast<LPOLESTR>(L"CertLookup"), const_cast<LPOLESTR>(L"value"),
                      const_cast<LPOLESTR>(L"storeName")};
  DISPID ids[3] = {0, 0, 0};
  EXPECT_EQ(S_OK, control->GetIDsOfNames(IID_NULL, names, 3, 0x409, ids));
  EXPECT_EQ(6, ids[0]);
  EXPECT_EQ(2, ids[1]);
  EXPECT_EQ(0, ids[2]);
}

TEST_F(DispatchTest, TypeInformationListsTheEighteenMethods) {
  UINT count = 0;
  ASSERT_EQ(S_OK, control->GetTypeInfoCount(&count));
  EXPECT_EQ(1u, count);
  ComPtr<ITypeInfo> info;
  ASSERT_EQ(S_OK, control->GetTypeInfo(0, 0x409, info.Receive()));
  TYPEATTR* attr = nullptr;
  ASSERT_EQ(S_OK, info->GetTypeAttr(&attr));
  EXPECT_EQ(TKIND_DISPATCH, attr->typekind);
  EXPECT_EQ(0u, attr->cVars);
  WORD funcs = attr->cFuncs;
  info->ReleaseTypeAttr(attr);
  // A dispinterface also lists IDispatch's own seven members on some
  // platforms; count ours by DISPID.
  int ours = 0;
  for (WORD i = 0; i < funcs; ++i) {
    FUNCDESC* f = nullptr;
    ASSERT_EQ(S_OK, info->GetFuncDesc(i, &f));
    for (const Member& m : kMembers) {
      SCOPED_TRACE(testing::Message() << m.name);
      if (m.id != f->memid) continue;
      ++ours;
      BSTR name = nullptr, doc = nullptr;
      info->GetDocumentation(f->memid, &name, &doc, nullptr, nullptr);
      EXPECT_STREQ(m.name, name);
      EXPECT_EQ(m.args, f->cParams) << m.name;
      if (m.id > 0) {
        EXPECT_EQ(std::wstring(L"method ") + m.name, doc ? doc : L"");
      }
      SysFreeString(name);
      SysFreeString(doc);
    }
    info->ReleaseFuncDesc(f);
  }
  EXPECT_EQ(18, ours);
}

TEST_F(DispatchTest, UnassignedDispidIsNotAMember) {
  ScopedVariant r;
  EXPECT_EQ(DISP_E_MEMBERNOTFOUND, Call(control.Get(), 13, {}, r.Get()));
  EXPECT_EQ(DISP_E_MEMBERNOTFOUND, Call(control.Get(), 19, {}, r.Get()));
  EXPECT_EQ(DISP_E_MEMBERNOTFOUND, Call(control.Get(), 0, {}, r.Get()));
}

TEST_F(DispatchTest, WrongArgumentCountsAndTypes) {
  ScopedVariant r;
  EXPECT_EQ(DISP_E_BADPARAMCOUNT, Call(control.Get(), dispid::kLibGetInfo, {}, r.Get()));
  EXPECT_EQ(DISP_E_BADPARAMCOUNT, Call(control.Get(), dispid::kLibGetInfo, {I4(0), I4(1)}, r.Get()));
  EXPECT_EQ(DISP_E_BADPARAMCOUNT, Call(control.Get(), dispid::kSignRaw, {Bstr(L"a"), Bstr(L"b")}, r.Get()));
  UINT argError = 99;
  EXPECT_EQ(DISP_E_TYPEMISMATCH, Call(control.Get(), dispid::kLibGetInfo, {Bstr(L"twelve")}, r.Get(), &argError));
  EXPECT_EQ(0u, argError);
  VARIANT null;
  VariantInit(&null);
  V_VT(&null) = VT_NULL;
  EXPECT_EQ(DISP_E_TYPEMISMATCH, Call(control.Get(), dispid::kSetLogging, {null}, r.Get()));
  // BinaryToString's first argument must be bytes.
  EXPECT_EQ(DISP_E_TYPEMISMATCH, Call(control.Get(), dispid::kBinaryToString, {Bstr(L"ab"), I4(2), I4(0)}, r.Get(), &argError));
  EXPECT_EQ(2u, argError);  // rgvarg holds the last argument first
}

TEST_F(DispatchTest, NamedArgumentsAreRefused) {
  VARIANT arg = I4(0);
  DISPID named = 0;
  DISPPARAMS params = {&arg, &named, 1, 1};
  ScopedVariant r;
  EXPECT_EQ(DISP_E_NONAMEDARGS, control->Invoke(18, IID_NULL, 0, DISPATCH_METHOD, &params, r.Get(), nullptr, nullptr));
}

TEST_F(DispatchTest, PropertyPutOnAMethodIsNotAMember) {
  VARIANT arg = I4(0);
  DISPID put = DISPID_PROPERTYPUT;
  DISPPARAMS params = {&arg, &put, 1, 1};
  EXPECT_EQ(DISP_E_MEMBERNOTFOUND, control->Invoke(18, IID_NULL, 0, DISPATCH_PROPERTYPUT, &params, nullptr, nullptr, nullptr));
}

TEST_F(DispatchTest, LibGetInfoAnswerIsAZeroBasedVariantArray) {
  ScopedVariant r;
  ASSERT_EQ(S_OK, Call(control.Get(), dispid::kLibGetInfo, {I4(0)}, r.Get()));
  ASSERT_EQ(VT_ARRAY | VT_VARIANT, V_VT(r.Get()));
  SAFEARRAY* a = V_ARRAY(r.Get());
  EXPECT_EQ(1u, SafeArrayGetDim(a));
  LONG lo = -1;
  SafeArrayGetLBound(a, 1, &lo);
  EXPECT_EQ(0, lo);
  long code = -1;
  auto texts = AnswerTexts(*r.Get(), &code);
  EXPECT_EQ(0, code);
  ASSERT_EQ(2u, texts.size());
  EXPECT_EQ(L"Tessarn", texts[0]);
  EXPECT_EQ(L"2.3.21113.0", texts[1]);
}

// A Visual Basic or C++ caller hands BinaryToString the first byte of its
// own longer buffer by reference.
TEST_F(DispatchTest, BinaryToStringReadsTheCallersBufferThroughAByteReference) {
  BYTE buffer[] = {1, 2, 3, 4};
  VARIANT ref;
  VariantInit(&ref);
  V_VT(&ref) = VT_UI1 | VT_BYREF;
  V_UI1REF(&ref) = buffer;
  ScopedVariant r;
  ASSERT_EQ(S_OK, Call(control.Get(), dispid::kBinaryToString, {ref, I4(4), I4(0x40000001)}, r.Get()));
  long code = -1;
  auto texts = AnswerTexts(*r.Get(), &code);
  EXPECT_EQ(0, code);
  ASSERT_EQ(1u, texts.size());
  EXPECT_EQ(L"AQIDBA==", texts[0]);
}

// A script variable holding a byte array arrives by reference, as the
// array by reference or as a VARIANT by reference that holds it. The call
// reads its bytes and leaves the caller's array as it was: unlocked, so the
// caller can resize or free it after the call.
TEST_F(DispatchTest, BinaryToStringReadsAByteArrayByReferenceAndLeavesItUnlocked) {
  for (bool inVariant : {false, true}) {
    SCOPED_TRACE(inVariant ? "VARIANT by reference" : "array by reference");
    SAFEARRAY* array = SafeArrayCreateVector(VT_UI1, 0, 4);
    ASSERT_NE(nullptr, array);
    const BYTE bytes[] = {1, 2, 3, 4};
    memcpy(array->pvData, bytes, sizeof(bytes));
    VARIANT holder;
    VariantInit(&holder);
    V_VT(&holder) = VT_ARRAY | VT_UI1;
    V_ARRAY(&holder) = array;
    VARIANT ref = ByteArrayByRef(&holder, inVariant);
    ScopedVariant r;
    ASSERT_EQ(S_OK, Call(control.Get(), dispid::kBinaryToString, {ref, I4(4), I4(0x40000001)}, r.Get()));
    long code = -1;
    auto texts = AnswerTexts(*r.Get(), &code);
    EXPECT_EQ(0, code);
    ASSERT_EQ(1u, texts.size());
    EXPECT_EQ(L"AQIDBA==", texts[0]);
    EXPECT_EQ(array, V_ARRAY(&holder)) << "the caller's variable is untouched";
    EXPECT_EQ(0u, array->cLocks);
    EXPECT_EQ(0, memcmp(array->pvData, bytes, sizeof(bytes)));
    SAFEARRAYBOUND longer = {8, 0};
    EXPECT_EQ(S_OK, SafeArrayRedim(array, &longer));
    EXPECT_EQ(S_OK, VariantClear(&holder));
  }
}

TEST_F(DispatchTest, NullTextsAreDecodeFailures) {
  ScopedVariant r;
  ASSERT_EQ(S_OK, Call(control.Get(), dispid::kStringToBinary, {Bstr(nullptr), I4(1)}, r.Get()));
  ASSERT_EQ(VT_ARRAY | VT_VARIANT, V_VT(r.Get()));
  LONG index = 1;
  ScopedVariant bytes;
  SafeArrayGetElement(V_ARRAY(r.Get()), &index, bytes.Get());
  EXPECT_EQ(VT_ARRAY | VT_UI1, V_VT(bytes.Get()));
  LONG upper = 0;
  SafeArrayGetUBound(V_ARRAY(bytes.Get()), 1, &upper);
  EXPECT_EQ(-1, upper) << "an empty byte array";
  long code = -1;
  AnswerTexts(*r.Get(), &code);
  EXPECT_EQ(39, code);
  ASSERT_EQ(S_OK, Call(control.Get(), dispid::kCertGetInfo, {Bstr(nullptr), I4(0)}, r.Receive()));
  auto texts = AnswerTexts(*r.Get(), &code);
  EXPECT_EQ(39, code);
  EXPECT_TRUE(texts.empty());
  // An empty text element is a BSTR whose pointer is null.
  ASSERT_EQ(S_OK, Call(control.Get(), dispid::kLocalTimeToUTCTime, {Bstr(L"not a time")}, r.Receive()));
  VARIANT* elements = nullptr;
  ASSERT_EQ(S_OK, SafeArrayAccessData(V_ARRAY(r.Get()), reinterpret_cast<void**>(&elements)));
  EXPECT_EQ(VT_BSTR, V_VT(&elements[1]));
  EXPECT_EQ(nullptr, V_BSTR(&elements[1]));
  SafeArrayUnaccessData(V_ARRAY(r.Get()));
}

TEST_F(DispatchTest, MethodCalledWithoutResultVariant) {
  EXPECT_EQ(S_OK, Call(control.Get(), dispid::kLibGetInfo, {I4(0)}, nullptr));
}

TEST(Initialisation, EveryInvocationIsRefusedUntilTheStateIsInitialised) {
  ComScope com;
  ComPtr<IDispatch> raw = CreateControl(Init::kNone);
  ASSERT_TRUE(raw);
  ScopedVariant r;
  EXPECT_EQ(E_UNEXPECTED, Call(raw.Get(), dispid::kLibGetInfo, {I4(0)}, r.Get()));
  EXPECT_EQ(E_UNEXPECTED, Call(raw.Get(), dispid::kGetLogging, {}, r.Get()));
  // Name lookup works before initialisation.
  LPOLESTR names[] = {const_cast<LPOLESTR>(L"LibGetInfo")};
  DISPID id = 0;
  EXPECT_EQ(S_OK, raw->GetIDsOfNames(IID_NULL, names, 1, 0, &id));
  ComPtr<IPersistStreamInit> init;
  ASSERT_EQ(S_OK, raw.As(init));
  ASSERT_EQ(S_OK, init->InitNew());
  EXPECT_EQ(S_OK, Call(raw.Get(), dispid::kLibGetInfo, {I4(0)}, r.Receive()));
}

TEST(Initialisation, LoadingSavedStateInitialises) {
  ComScope com;
  ComPtr<IDispatch> first = CreateControl(Init::kStreamInit);
  ASSERT_TRUE(first);
  ComPtr<IStream> stream;
  ASSERT_EQ(S_OK, CreateStreamOnHGlobal(nullptr, TRUE, stream.Receive()));
  ComPtr<IPersistStreamInit> saver;
  ASSERT_EQ(S_OK, first.As(saver));
  ASSERT_EQ(S_OK, saver->Save(stream.Get(), TRUE));
  LARGE_INTEGER zero = {};
  stream->Seek(zero, STREAM_SEEK_SET, nullptr);
  DWORD version = 0;
  ULONG read = 0;
  stream->Read(&version, sizeof(version), &read);
  EXPECT_EQ(0x00010000u, version);
  stream->Seek(zero, STREAM_SEEK_SET, nullptr);

  ComPtr<IDispatch> second = CreateControl(Init::kNone);
  ComPtr<IPersistStreamInit> loader;
  ASSERT_EQ(S_OK, second.As(loader));
  ASSERT_EQ(S_OK, loader->Load(stream.Get()));
  ScopedVariant r;
  EXPECT_EQ(S_OK, Call(second.Get(), dispid::kLibGetInfo, {I4(1)}, r.Get()));

  // An empty stream is not saved state.
  ComPtr<IStream> empty;
  CreateStreamOnHGlobal(nullptr, TRUE, empty.Receive());
  ComPtr<IDispatch> third = CreateControl(Init::kNone);
  ComPtr<IPersistStreamInit> emptyLoader;
  ASSERT_EQ(S_OK, third.As(emptyLoader));
  EXPECT_FALSE(SUCCEEDED(emptyLoader->Load(empty.Get())));
  EXPECT_EQ(E_UNEXPECTED, Call(third.Get(), dispid::kLibGetInfo, {I4(1)}, r.Receive()));
}

}  // namespace
