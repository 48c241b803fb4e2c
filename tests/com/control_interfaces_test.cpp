// The OLE side a web page container uses: identity, class information,
// property pages, connection points, drawing and persistence.
#include <gtest/gtest.h>
#include <olectl.h>

#include <list>

#include "tests/com/test_support.h"
#include "tests/support/dispids.h"

using namespace testing_support;

namespace {

const CLSID kClsid = {0xE0D18E29, 0x700A, 0x419B, {0xA6, 0x91, 0xD0, 0xE8, 0x2E, 0x7C, 0xBC, 0xA5}};
const CLSID kPropPage = {0x4D857FA2, 0xE8BE, 0x42A5, {0x83, 0x6C, 0xD6, 0xC2, 0x28, 0x39, 0x1D, 0xAD}};
const IID kDispatchIid = {0x1BFAAC6D, 0x2B1F, 0x4CF9, {0x8D, 0xF1, 0xA2, 0x5D, 0xC6, 0xC4, 0x9B, 0x55}};
const IID kEventIid = {0x933AA70C, 0xA8B0, 0x46FA, {0xA0, 0xAD, 0x96, 0x39, 0xA5, 0xD2, 0x46, 0x25}};

class ControlTest : public ::testing::Test {
 protected:
  void SetUp() override {
    control = CreateControl();
    ASSERT_TRUE(control);
  }
  ComScope com;
  ComPtr<IDispatch> control;
};

TEST_F(ControlTest, EveryInterfaceIsReachableAndLeadsBackToOneIdentity) {
  const IID* iids[] = {&IID_IDispatch, &kDispatchIid, &IID_IProvideClassInfo, &IID_IProvideClassInfo2,
                       &IID_IPersistStreamInit, &IID_IPersistPropertyBag, &IID_IPersistStorage,
                       &IID_IOleObject, &IID_IOleControl, &IID_IOleInPlaceObject,
                       &IID_IOleInPlaceActiveObject, &IID_IViewObject, &IID_IViewObject2,
                       &IID_ISpecifyPropertyPages, &IID_IConnectionPointContainer, &IID_IPersist,
                       &IID_IOleWindow};
  ComPtr<IUnknown> identity;
  ASSERT_EQ(S_OK, control->QueryInterface(IID_IUnknown, identity.ReceiveVoid()));
  for (const IID* iid : iids) {
    ComPtr<IUnknown> p;
    ASSERT_EQ(S_OK, control->QueryInterface(*iid, p.ReceiveVoid())) << GuidText(*iid).c_str();
    ComPtr<IUnknown> back;
    ASSERT_EQ(S_OK, p->QueryInterface(IID_IUnknown, back.ReceiveVoid()));
    EXPECT_EQ(identity.Get(), back.Get());
  }
  ComPtr<IUnknown> none;
  EXPECT_EQ(E_NOINTERFACE, control->QueryInterface(IID_IClassFactory, none.ReceiveVoid()));
}

TEST_F(ControlTest, ClassInformationNamesTheCoclassAndTheEventInterface) {
  ComPtr<IProvideClassInfo2> info;
  ASSERT_EQ(S_OK, control.As(info));
  GUID guid = GUID_NULL;
  ASSERT_EQ(S_OK, info->GetGUID(GUIDKIND_DEFAULT_SOURCE_DISP_IID, &guid));
  EXPECT_TRUE(IsEqualGUID(kEventIid, guid));
  ComPtr<ITypeInfo> coclass;
  ASSERT_EQ(S_OK, info->GetClassInfo(coclass.Receive()));
  TYPEATTR* attr = nullptr;
  ASSERT_EQ(S_OK, coclass->GetTypeAttr(&attr));
  EXPECT_EQ(TKIND_COCLASS, attr->typekind);
  EXPECT_TRUE(IsEqualGUID(kClsid, attr->guid));
  EXPECT_EQ(2, attr->cImplTypes);
  coclass->ReleaseTypeAttr(attr);
  ComPtr<IPersist> persist;
  ASSERT_EQ(S_OK, control.As(persist));
  CLSID clsid;
  ASSERT_EQ(S_OK, persist->GetClassID(&clsid));
  EXPECT_TRUE(IsEqualCLSID(kClsid, clsid));
}

TEST_F(ControlTest, OnePropertyPage) {
  ComPtr<ISpecifyPropertyPages> pages;
  ASSERT_EQ(S_OK, control.As(pages));
  CAUUID list = {};
  ASSERT_EQ(S_OK, pages->GetPages(&list));
  ASSERT_EQ(1u, list.cElems);
  EXPECT_TRUE(IsEqualGUID(kPropPage, list.pElems[0]));
  CoTaskMemFree(list.pElems);
}

TEST_F(ControlTest, InvisibleAtRunTimeWithoutUiActivation) {
  ComPtr<IOleObject> object;
  ASSERT_EQ(S_OK, control.As(object));
  DWORD status = 0;
  ASSERT_EQ(S_OK, object->GetMiscStatus(DVASPECT_CONTENT, &status));
  EXPECT_EQ(0x4400u, status);
  LPOLESTR name = nullptr;
  ASSERT_EQ(S_OK, object->GetUserType(USERCLASSTYPE_FULL, &name));
  EXPECT_STREQ(L"Tessarn Control", name);
  CoTaskMemFree(name);
  ComPtr<IOleControl> ole;
  ASSERT_EQ(S_OK, control.As(ole));
  CONTROLINFO ci = {};
  ci.cb = sizeof(ci);
  EXPECT_EQ(S_OK, ole->GetControlInfo(&ci));
  EXPECT_EQ(0, ci.cAccel);
  EXPECT_EQ(S_OK, object->Close(OLECLOSE_NOSAVE));
}

// A sink for the event interface; the control never calls it.
class EventSink : public IDispatch {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** o) override {
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDispatch) || IsEqualIID(iid, kEventIid)) {
      *o = this;
      AddRef();
      return S_OK;
    }
    *o = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++refs; }
  ULONG STDMETHODCALLTYPE Release() override { return --refs; }
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* c) override { *c = 0; return S_OK; }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override {
    ++calls;
    return S_OK;
  }
  ULONG refs = 1;
  int calls = 0;
};

TEST_F(ControlTest, ContainerCanConnectToTheEventInterfaceAndLetGo) {
  ComPtr<IConnectionPointContainer> container;
  ASSERT_EQ(S_OK, control.As(container));
  ComPtr<IConnectionPoint> point;
  ASSERT_EQ(S_OK, container->FindConnectionPoint(kEventIid, point.Receive()));
  IID iid;
  ASSERT_EQ(S_OK, point->GetConnectionInterface(&iid));
  EXPECT_TRUE(IsEqualIID(kEventIid, iid));
  EventSink sink;
  DWORD cookie = 0;
  ASSERT_EQ(S_OK, point->Advise(&sink, &cookie));
  EXPECT_NE(0u, cookie);
  EXPECT_GT(sink.refs, 1u);
  ScopedVariant r;
  Call(control.Get(), dispid::kLibGetInfo, {I4(0)}, r.Get());
  EXPECT_EQ(0, sink.calls);
  EXPECT_EQ(S_OK, point->Unadvise(cookie));
  EXPECT_EQ(1u, sink.refs);
  EXPECT_EQ(CONNECT_E_NOCONNECTION, point->Unadvise(cookie));
  ComPtr<IConnectionPoint> other;
  EXPECT_EQ(CONNECT_E_NOCONNECTION, container->FindConnectionPoint(IID_IDispatch, other.Receive()));
  ComPtr<IEnumConnectionPoints> all;
  ASSERT_EQ(S_OK, container->EnumConnectionPoints(all.Receive()));
  IConnectionPoint* got[4] = {};
  ULONG fetched = 0;
  EXPECT_EQ(S_FALSE, all->Next(4, got, &fetched));
  EXPECT_EQ(2u, fetched);
  for (ULONG i = 0; i < fetched; ++i) got[i]->Release();
}

TEST_F(ControlTest, DrawsAWhiteBoxWithAnInscribedEllipse) {
  ComPtr<IViewObject2> view;
  ASSERT_EQ(S_OK, control.As(view));
  HDC screen = GetDC(nullptr);
  HDC dc = CreateCompatibleDC(screen);
  HBITMAP bitmap = CreateCompatibleBitmap(screen, 100, 60);
  ReleaseDC(nullptr, screen);
  HGDIOBJ old = SelectObject(dc, bitmap);
  RECT all = {0, 0, 100, 60};
  FillRect(dc, &all, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
  RECTL bounds = {10, 10, 90, 50};
  ASSERT_EQ(S_OK, view->Draw(DVASPECT_CONTENT, -1, nullptr, nullptr, nullptr, dc, &bounds, nullptr, nullptr, 0));
  EXPECT_EQ(RGB(0, 0, 0), GetPixel(dc, 5, 5) & 0xFFFFFF) << "outside the bounds untouched";
  EXPECT_EQ(RGB(255, 255, 255), GetPixel(dc, 11, 11) & 0xFFFFFF) << "corner of the bounds filled white";
  EXPECT_EQ(RGB(255, 255, 255), GetPixel(dc, 50, 30) & 0xFFFFFF) << "inside the ellipse";
  EXPECT_EQ(RGB(0, 0, 0), GetPixel(dc, 10, 30) & 0xFFFFFF) << "the ellipse's left edge";
  EXPECT_EQ(E_INVALIDARG, view->Draw(DVASPECT_CONTENT, -1, nullptr, nullptr, nullptr, nullptr, &bounds, nullptr,
                                     nullptr, 0));
  SelectObject(dc, old);
  DeleteObject(bitmap);
  DeleteDC(dc);
}

// A property bag that records what is written.
class Bag : public IPropertyBag {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** o) override {
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IPropertyBag)) {
      *o = this;
      return S_OK;
    }
    *o = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }
  HRESULT STDMETHODCALLTYPE Read(LPCOLESTR name, VARIANT* v, IErrorLog*) override {
    for (auto& e : values) {
      if (e.name == name) return VariantCopy(v, e.value.Get());
    }
    return E_INVALIDARG;
  }
  HRESULT STDMETHODCALLTYPE Write(LPCOLESTR name, VARIANT* v) override {
    values.emplace_back(name);
    return VariantCopy(values.back().value.Get(), v);
  }
  struct Entry {
    explicit Entry(const wchar_t* n) : name(n) {}
    std::wstring name;
    ScopedVariant value;
  };
  std::list<Entry> values;
};

TEST_F(ControlTest, PropertyBagHoldsTheVersion) {
  ComPtr<IPersistPropertyBag> persist;
  ASSERT_EQ(S_OK, control.As(persist));
  Bag bag;
  ASSERT_EQ(S_OK, persist->Save(&bag, TRUE, TRUE));
  bool versionSeen = false;
  for (auto& e : bag.values) {
    if (e.name == L"_Version") {
      versionSeen = true;
      EXPECT_EQ(VT_I4, V_VT(e.value.Get()));
      EXPECT_EQ(0x00010000, V_I4(e.value.Get()));
    }
  }
  EXPECT_TRUE(versionSeen);
  ComPtr<IDispatch> second = CreateControl(Init::kNone);
  ComPtr<IPersistPropertyBag> loader;
  ASSERT_EQ(S_OK, second.As(loader));
  ASSERT_EQ(S_OK, loader->Load(&bag, nullptr));
  ScopedVariant r;
  EXPECT_EQ(S_OK, Call(second.Get(), dispid::kLibGetInfo, {I4(0)}, r.Get()));
}

TEST_F(ControlTest, StorageRoundTrip) {
  ComPtr<ILockBytes> bytes;
  ASSERT_EQ(S_OK, CreateILockBytesOnHGlobal(nullptr, TRUE, bytes.Receive()));
  ComPtr<IStorage> storage;
  ASSERT_EQ(S_OK, StgCreateDocfileOnILockBytes(bytes.Get(), STGM_CREATE | STGM_READWRITE | STGM_SHARE_EXCLUSIVE, 0,
                                               storage.Receive()));
  ComPtr<IPersistStorage> saver;
  ASSERT_EQ(S_OK, control.As(saver));
  ASSERT_EQ(S_OK, saver->Save(storage.Get(), FALSE));
  ComPtr<IDispatch> second = CreateControl(Init::kNone);
  ComPtr<IPersistStorage> loader;
  ASSERT_EQ(S_OK, second.As(loader));
  ASSERT_EQ(S_OK, loader->Load(storage.Get()));
  ScopedVariant r;
  EXPECT_EQ(S_OK, Call(second.Get(), dispid::kLibGetInfo, {I4(0)}, r.Get()));
}

}  // namespace
