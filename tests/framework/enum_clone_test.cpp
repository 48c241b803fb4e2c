// Clone of every enumerator the framework hands out: the copy starts where
// the original stands, not at the first item, and from there the two walk
// on without moving each other.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "framework/connection_point.h"
#include "framework/verb_enum.h"
#include "tests/framework/bare_control.h"

namespace {

// An enumerator seen through what every IEnumXxx has, its items named by a
// number each: Next of one item (-1 when none was left), Skip, Clone.
struct Walker {
  std::function<long()> next;
  std::function<HRESULT(ULONG)> skip;
  std::function<Walker()> clone;
};

template <class Enum, class Item>
Walker Walk(ComPtr<Enum> e, std::function<long(Item&)> name) {
  Walker w;
  w.next = [e, name]() -> long {
    Item item{};
    ULONG fetched = 0;
    if (e->Next(1, &item, &fetched) != S_OK || fetched != 1) return -1;
    return name(item);
  };
  w.skip = [e](ULONG n) { return e->Skip(n); };
  w.clone = [e, name]() -> Walker {
    ComPtr<Enum> copy;
    if (FAILED(e->Clone(copy.Receive())) || !copy) {
      ADD_FAILURE() << "Clone failed";
      return Walker{[] { return -2L; }, [](ULONG) { return E_FAIL; }, nullptr};
    }
    return Walk<Enum, Item>(copy, name);
  };
  return w;
}

// Three verbs, numbered by their verb numbers 1, 2, 3.
const OLEVERB kVerbs[] = {
    {1, const_cast<LPOLESTR>(L"&One"), 0, 0},
    {2, const_cast<LPOLESTR>(L"&Two"), 0, 0},
    {3, const_cast<LPOLESTR>(L"&Three"), 0, 0},
};

Walker VerbWalker() {
  ComPtr<IEnumOLEVERB> verbs;
  EXPECT_EQ(S_OK, framework::CreateVerbEnumerator(kVerbs, 3, verbs.Receive()));
  return Walk<IEnumOLEVERB, OLEVERB>(verbs, [](OLEVERB& v) {
    CoTaskMemFree(v.lpszVerbName);
    return v.lVerb;
  });
}

// Connection points of a bare control, numbered by the first byte of the
// interface each stands for (1, 2, 3).
struct PointFixture {
  PointFixture() : control(framework_test::MakeBareControl({nullptr, 0})) {
    ComPtr<IConnectionPointContainer> container;
    EXPECT_EQ(S_OK, control->QueryInterface(IID_IConnectionPointContainer, container.ReceiveVoid()));
    for (unsigned char n = 1; n <= 3; ++n) {
      IID iid = {0x3c1e0000u + n, 0, 0, {0, 0, 0, 0, 0, 0, 0, n}};
      owned.emplace_back(new framework::ConnectionPoint(container.Get(), iid));
      points.emplace_back(owned.back().get());
    }
  }
  ~PointFixture() {
    points.clear();
    control->Release();
  }
  framework::OleControl* control;
  std::vector<std::unique_ptr<framework::ConnectionPoint>> owned;
  std::vector<ComPtr<IConnectionPoint>> points;
};

Walker PointWalker(PointFixture& fixture) {
  ComPtr<IEnumConnectionPoints> e;
  EXPECT_EQ(S_OK, framework::CreateConnectionPointEnum(fixture.points, e.Receive()));
  return Walk<IEnumConnectionPoints, IConnectionPoint*>(e, [](IConnectionPoint*& p) {
    IID iid = {};
    p->GetConnectionInterface(&iid);
    p->Release();
    return static_cast<long>(iid.Data4[7]);
  });
}

// A sink that answers for any interface.
class Sink : public IUnknown {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** object) override {
    *object = this;
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }
};

// Three connections of one point, numbered by their cookies 1, 2, 3.
Walker ConnectionWalker(PointFixture& fixture, Sink* sink) {
  IConnectionPoint* point = fixture.points[0].Get();
  for (int i = 0; i < 3; ++i) {
    DWORD cookie = 0;
    EXPECT_EQ(S_OK, point->Advise(sink, &cookie));
  }
  ComPtr<IEnumConnections> e;
  EXPECT_EQ(S_OK, point->EnumConnections(e.Receive()));
  return Walk<IEnumConnections, CONNECTDATA>(e, [](CONNECTDATA& c) {
    c.pUnk->Release();
    return static_cast<long>(c.dwCookie);
  });
}

TEST(EnumClone, TheCopyStartsWhereTheOriginalStands) {
  PointFixture pointsForPoints, pointsForConnections;
  Sink sink;
  const struct {
    const char* what;
    std::function<Walker()> make;
  } enumerators[] = {
      {"the verb enumerator", VerbWalker},
      {"the connection-point enumerator", [&] { return PointWalker(pointsForPoints); }},
      {"the connection enumerator", [&] { return ConnectionWalker(pointsForConnections, &sink); }},
  };
  for (const auto& e : enumerators) {
    SCOPED_TRACE(e.what);
    Walker original = e.make();
    // Cloned at the start: the copy lists everything.
    Walker fromStart = original.clone();
    ASSERT_TRUE(fromStart.next);
    // Cloned after one item: the copy goes on with the second.
    ASSERT_EQ(1, original.next());
    Walker afterOne = original.clone();
    ASSERT_TRUE(afterOne.next);
    EXPECT_EQ(2, afterOne.next()) << e.what << ": Clone did not start at the original's position";
    // Each walks on by itself.
    EXPECT_EQ(2, original.next()) << e.what << ": the copy's Next moved the original";
    EXPECT_EQ(3, afterOne.next());
    EXPECT_EQ(-1, afterOne.next());
    EXPECT_EQ(3, original.next());
    EXPECT_EQ(1, fromStart.next()) << e.what << ": a copy made at the start did not start there";
    // Cloned at the end: the copy has nothing left, and Skip past its end
    // says so.
    Walker atEnd = original.clone();
    ASSERT_TRUE(atEnd.next);
    EXPECT_EQ(-1, atEnd.next()) << e.what << ": a copy made at the end did not start there";
    EXPECT_EQ(S_FALSE, atEnd.skip(1));
    // A copy of a copy stands where the copy stood.
    EXPECT_EQ(S_OK, fromStart.skip(1));
    Walker second = fromStart.clone();
    ASSERT_TRUE(second.next);
    EXPECT_EQ(3, second.next()) << e.what << ": a copy of a copy did not start at the copy's position";
  }
}

}  // namespace
