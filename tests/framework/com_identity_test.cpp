// The declared interface tables and the shared reference count: every
// interface an object lists is reachable, leads back to one IUnknown, and
// nothing else is; the count frees the object and its module lock.
#include <gtest/gtest.h>

#include <functional>
#include <vector>

#include "framework/module.h"
#include "tests/framework/bare_control.h"

namespace {

using framework_test::MakeBareControl;

const framework::DispatchTable kNoMembers = {nullptr, 0};

struct IdentityCase {
  const char* object;
  // Gives the object (one reference) from a live control.
  std::function<IUnknown*(framework::OleControl*)> make;
  std::vector<const IID*> answered;
};

IUnknown* Verbs(framework::OleControl* control) {
  IEnumOLEVERB* verbs = nullptr;
  EXPECT_EQ(S_OK, control->EnumVerbs(&verbs));
  return verbs;
}

IUnknown* PointEnum(framework::OleControl* control) {
  IEnumConnectionPoints* points = nullptr;
  EXPECT_EQ(S_OK, control->EnumConnectionPoints(&points));
  return points;
}

IUnknown* Control(framework::OleControl* control) {
  IUnknown* self = nullptr;
  EXPECT_EQ(S_OK, control->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&self)));
  return self;
}

const IdentityCase kCases[] = {
    {"control", Control,
     {&IID_IUnknown, &IID_IDispatch, &framework_test::kBareDispatchIid, &IID_IProvideClassInfo,
      &IID_IProvideClassInfo2, &IID_IPersist, &IID_IPersistStreamInit, &IID_IPersistPropertyBag,
      &IID_IPersistStorage, &IID_IOleObject, &IID_IOleControl, &IID_IOleWindow, &IID_IOleInPlaceObject,
      &IID_IOleInPlaceActiveObject, &IID_IViewObject, &IID_IViewObject2, &IID_ISpecifyPropertyPages,
      &IID_IConnectionPointContainer, &IID_IObjectWithSite}},
    {"verb enumerator", Verbs, {&IID_IUnknown, &IID_IEnumOLEVERB}},
    {"connection point enumerator", PointEnum, {&IID_IUnknown, &IID_IEnumConnectionPoints}},
};

// Asked of every object: interfaces none of them has.
const IID* const kNeverAnswered[] = {&IID_IPersistFile, &IID_IClassFactory, &IID_IStream, &IID_IEnumUnknown};

TEST(ComIdentity, EveryListedInterfaceLeadsToOneIdentityAndNothingElseAnswers) {
  const LONG locksBefore = framework::ModuleLockCount();
  for (const IdentityCase& row : kCases) {
    SCOPED_TRACE(row.object);
    framework::OleControl* control = MakeBareControl(kNoMembers);
    IUnknown* object = row.make(control);
    ASSERT_NE(nullptr, object);
    ComPtr<IUnknown> identity;
    ASSERT_EQ(S_OK, object->QueryInterface(IID_IUnknown, identity.ReceiveVoid()));

    for (const IID* iid : row.answered) {
      ComPtr<IUnknown> asked;
      ASSERT_EQ(S_OK, object->QueryInterface(*iid, asked.ReceiveVoid()));
      ASSERT_NE(nullptr, asked.Get());
      ComPtr<IUnknown> back;
      ASSERT_EQ(S_OK, asked->QueryInterface(IID_IUnknown, back.ReceiveVoid()));
      EXPECT_EQ(identity.Get(), back.Get()) << "IUnknown differs when reached through an interface";
    }
    for (const IID* iid : kNeverAnswered) {
      void* out = reinterpret_cast<void*>(1);
      EXPECT_EQ(E_NOINTERFACE, object->QueryInterface(*iid, &out));
      EXPECT_EQ(nullptr, out);
    }
    EXPECT_EQ(E_POINTER, object->QueryInterface(IID_IUnknown, nullptr));

    identity.Reset();
    object->Release();
    EXPECT_EQ(0u, control->Release()) << "the object kept a reference to its control";
  }
  EXPECT_EQ(locksBefore, framework::ModuleLockCount()) << "a freed object kept its module lock";
}

TEST(ComIdentity, ReferenceCountCountsEveryInterfaceOnOneObject) {
  const LONG locksBefore = framework::ModuleLockCount();
  framework::OleControl* control = MakeBareControl(kNoMembers);
  EXPECT_EQ(locksBefore + 1, framework::ModuleLockCount());
  IOleObject* ole = nullptr;
  ASSERT_EQ(S_OK, control->QueryInterface(IID_IOleObject, reinterpret_cast<void**>(&ole)));
  EXPECT_EQ(3u, static_cast<IDispatch*>(control)->AddRef());
  EXPECT_EQ(2u, ole->Release());
  EXPECT_EQ(1u, static_cast<IViewObject2*>(control)->Release());
  EXPECT_EQ(0u, static_cast<IDispatch*>(control)->Release());
  EXPECT_EQ(locksBefore, framework::ModuleLockCount());
}

}  // namespace
