// COM: GUIDs, HRESULT helpers, reference counting, per-thread initialisation, CoCreateInstance.
#include "platform/com/com_init.h"
#include "platform/com/com_ptr.h"
#include "platform/com/guid.h"
#include "platform/com/result.h"
#include "platform/com/unknown.h"

#include <gtest/gtest.h>

#include <thread>

namespace {

class ICounter : public win::IUnknown {
 public:
  static constexpr win::IID iid = win::MakeGuid("{6E8D4A20-310C-11D0-B79A-00AA003767A7}");
  virtual int Next() = 0;
};

class INamed : public win::IUnknown {
 public:
  static constexpr win::IID iid = win::MakeGuid("E4206432-01A1-4BEE-B3E1-3702C8EDC574");
  virtual const char* Name() = 0;
};

int live_objects = 0;

class Counter final : public win::ComObject<ICounter, INamed> {
 public:
  Counter() { ++live_objects; }
  ~Counter() override { --live_objects; }
  int Next() override { return ++value_; }
  const char* Name() override { return "counter"; }

 private:
  int value_ = 0;
};

constexpr win::CLSID kCounterClass = win::MakeGuid("70E102B0-5556-11CE-97C0-00AA0055595A");

TEST(Guid, ParsesFormatsAndCompares) {
  constexpr win::GUID guid = win::MakeGuid("{B87BEB7B-8D29-423F-AE4D-6582C10175AC}");
  static_assert(guid.Data1 == 0xB87BEB7B && guid.Data2 == 0x8D29 && guid.Data3 == 0x423F);
  static_assert(guid.Data4[0] == 0xAE && guid.Data4[7] == 0xAC);
  EXPECT_EQ(win::GuidToString(guid), "{B87BEB7B-8D29-423F-AE4D-6582C10175AC}");
  EXPECT_EQ(win::GuidToString(win::IID_IUnknown), "{00000000-0000-0000-C000-000000000046}");
  EXPECT_TRUE(win::IsEqualGUID(guid, win::MakeGuid("b87beb7b-8d29-423f-ae4d-6582c10175ac")));
  EXPECT_FALSE(win::IsEqualGUID(guid, win::GUID_NULL));

  for (const char* bad : {"", "{B87BEB7B-8D29-423F-AE4D-6582C10175AC", "B87BEB7B-8D29-423F-AE4D-6582C10175AG",
                          "B87BEB7B 8D29-423F-AE4D-6582C10175AC", "{B87BEB7B-8D29-423F-AE4D-6582C10175AC}x"}) {
    bool ok = true;
    EXPECT_EQ(win::ParseGuid(bad, ok), win::GUID_NULL) << bad;
    EXPECT_FALSE(ok) << bad;
  }
}

TEST(HresultHelpers, ClassifyAndBuildResults) {
  struct Case {
    win::HRESULT result;
    bool succeeded;
  };
  for (const Case& c : {Case{win::S_OK, true}, Case{win::S_FALSE, true}, Case{win::E_FAIL, false},
                        Case{win::E_NOINTERFACE, false}, Case{win::REGDB_E_CLASSNOTREG, false}}) {
    EXPECT_EQ(win::SUCCEEDED(c.result), c.succeeded);
    EXPECT_EQ(win::FAILED(c.result), !c.succeeded);
  }
  EXPECT_EQ(win::HRESULT_FROM_WIN32(0), win::S_OK);
  EXPECT_EQ(win::HRESULT_FROM_WIN32(5), win::E_ACCESSDENIED);
  EXPECT_EQ(win::HRESULT_FROM_WIN32(87), win::E_INVALIDARG);
  EXPECT_EQ(win::HRESULT_CODE(win::E_OUTOFMEMORY), 14u);
  EXPECT_EQ(win::HRESULT_FACILITY(win::E_OUTOFMEMORY), win::FACILITY_WIN32);
}

TEST(ComObject, CountsReferencesAndAnswersItsInterfaces) {
  {
    win::ComPtr<ICounter> counter = win::MakeCom<Counter>();
    EXPECT_EQ(live_objects, 1);
    win::ComPtr<INamed> named;
    ASSERT_EQ(counter.As(&named), win::S_OK);
    EXPECT_STREQ(named->Name(), "counter");
    win::ComPtr<win::IUnknown> a, b;
    ASSERT_EQ(counter.As(&a), win::S_OK);
    ASSERT_EQ(named.As(&b), win::S_OK);
    EXPECT_EQ(a.Get(), b.Get()) << "one identity for IUnknown";

    void* raw = reinterpret_cast<void*>(1);
    EXPECT_EQ(counter->QueryInterface(win::MakeGuid("11111111-2222-3333-4444-555555555555"), &raw),
              win::E_NOINTERFACE);
    EXPECT_EQ(raw, nullptr);
    EXPECT_EQ(counter->QueryInterface(ICounter::iid, nullptr), win::E_POINTER);

    win::ComPtr<ICounter> copy = counter;
    counter.Reset();
    EXPECT_EQ(copy->Next(), 1);
    EXPECT_EQ(live_objects, 1);
    ICounter* detached = copy.Detach();
    win::ComPtr<ICounter> adopted;
    adopted.Attach(detached);
  }
  EXPECT_EQ(live_objects, 0) << "freed by the last release";
}

TEST(ComInit, CountsPerThreadAndKeepsTheModel) {
  EXPECT_EQ(win::ComInitializeCount(), 0u);
  EXPECT_EQ(win::CoInitialize(nullptr), win::S_OK);
  EXPECT_EQ(win::OleInitialize(nullptr), win::S_OK);
  EXPECT_EQ(win::OleInitialize(nullptr), win::S_FALSE);
  EXPECT_EQ(win::CoInitializeEx(nullptr, win::COINIT_MULTITHREADED), win::RPC_E_CHANGED_MODE);
  EXPECT_EQ(win::ComInitializeCount(), 3u);
  EXPECT_EQ(win::OleInitializeCount(), 2u);
  std::thread([] {
    EXPECT_EQ(win::ComInitializeCount(), 0u);
    EXPECT_EQ(win::CoInitializeEx(nullptr, win::COINIT_MULTITHREADED), win::S_OK);
    win::CoUninitialize();
  }).join();
  win::OleUninitialize();
  win::OleUninitialize();
  win::OleUninitialize();  // unbalanced: ignored
  EXPECT_EQ(win::OleInitializeCount(), 0u);
  EXPECT_EQ(win::ComInitializeCount(), 1u);
  win::CoUninitialize();
  win::CoUninitialize();
  EXPECT_EQ(win::ComInitializeCount(), 0u);
}

TEST(CoCreateInstance, MakesRegisteredClassesAndRefusesTheRest) {
  win::RegisterComClass(kCounterClass, [](win::REFIID iid, void** object) {
    win::ComPtr<ICounter> counter = win::MakeCom<Counter>();
    return counter->QueryInterface(iid, object);
  });
  ICounter* raw = nullptr;
  ASSERT_EQ(win::CoCreateInstance(kCounterClass, nullptr, win::CLSCTX_INPROC_SERVER, ICounter::iid,
                                  reinterpret_cast<void**>(&raw)),
            win::S_OK);
  win::ComPtr<ICounter> counter;
  counter.Attach(raw);
  EXPECT_EQ(counter->Next(), 1);

  struct Case {
    win::CLSID clsid;
    bool with_outer;
    win::IID iid;
    win::HRESULT expected;
  };
  const win::CLSID unknown_class = win::MakeGuid("CD8743A1-3736-11D0-9E69-00C04FD7C15B");
  for (const Case& c : {Case{unknown_class, false, ICounter::iid, win::REGDB_E_CLASSNOTREG},
                        Case{kCounterClass, true, ICounter::iid, win::CLASS_E_NOAGGREGATION},
                        Case{kCounterClass, false, win::MakeGuid("11111111-2222-3333-4444-555555555555"),
                             win::E_NOINTERFACE}}) {
    void* object = reinterpret_cast<void*>(1);
    EXPECT_EQ(win::CoCreateInstance(c.clsid, c.with_outer ? counter.Get() : nullptr, win::CLSCTX_ALL, c.iid, &object),
              c.expected);
    EXPECT_EQ(object, nullptr);
  }
  win::RegisterComClass(kCounterClass, nullptr);
  EXPECT_FALSE(win::IsComClassRegistered(kCounterClass));
  counter.Reset();
  EXPECT_EQ(live_objects, 0);
}

}  // namespace
