// Interfaced objects and interface lists: reference counting, QueryInterface, finding objects by identity.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "classlib/interfaces.h"

namespace dashtune {
namespace {

class IGreeter : public win::IUnknown {
 public:
  static constexpr win::IID iid = win::MakeGuid("6F1B2C3D-0001-4A5B-8C7D-112233445566");
  virtual std::string Greet() = 0;

 protected:
  ~IGreeter() = default;
};

class TGreeter : public TInterfacedObjectOf<IGreeter> {
 public:
  TGreeter(std::vector<std::string>& log, std::string name) : log_(log), name_(std::move(name)) {}
  std::string Greet() override { return "hello from " + name_; }

 protected:
  ~TGreeter() override { log_.push_back("freed " + name_); }

 private:
  std::vector<std::string>& log_;
  std::string name_;
};

TEST(InterfacedObjectTest, LastReleaseFreesTheObject) {
  std::vector<std::string> log;
  {
    win::ComPtr<IGreeter> greeter(new TGreeter(log, "one"));
    win::ComPtr<win::IUnknown> unknown;
    ASSERT_EQ(greeter.As(&unknown), win::S_OK);
    win::ComPtr<IGreeter> again;
    ASSERT_EQ(unknown.As(&again), win::S_OK);
    EXPECT_EQ(again->Greet(), "hello from one");
    greeter.Reset();
    unknown.Reset();
    EXPECT_TRUE(log.empty());
  }
  EXPECT_EQ(log, (std::vector<std::string>{"freed one"}));
}

TEST(InterfacedObjectTest, PlainObjectAnswersOnlyIUnknown) {
  win::ComPtr<win::IUnknown> plain(static_cast<win::IUnknown*>(new TInterfacedObject()));
  win::ComPtr<IGreeter> greeter;
  EXPECT_EQ(plain.As(&greeter), win::E_NOINTERFACE);
  EXPECT_FALSE(greeter);
}

TEST(InterfaceListTest, HoldsReferencesAndFindsObjectsByIdentity) {
  std::vector<std::string> log;
  TInterfaceList list;
  {
    win::ComPtr<IGreeter> a(new TGreeter(log, "a"));
    win::ComPtr<IGreeter> b(new TGreeter(log, "b"));
    list.Add(a);
    list.Add(b);
    win::ComPtr<win::IUnknown> b_as_unknown;
    ASSERT_EQ(b.As(&b_as_unknown), win::S_OK);
    EXPECT_EQ(list.IndexOf(b_as_unknown), 1);
    list.Exchange(0, 1);
    EXPECT_EQ(list.IndexOf(a), 1);
  }
  EXPECT_TRUE(log.empty());  // the list keeps both alive
  win::ComPtr<IGreeter> first;
  ASSERT_EQ(list.First().As(&first), win::S_OK);
  EXPECT_EQ(first->Greet(), "hello from b");
  first.Reset();
  list.Delete(0);
  EXPECT_EQ(log, (std::vector<std::string>{"freed b"}));
  EXPECT_THROW(list.Get(1), EListError);
  list.Clear();
  EXPECT_EQ(log, (std::vector<std::string>{"freed b", "freed a"}));
  EXPECT_THROW(list.Last(), EListError);
}

}  // namespace
}  // namespace dashtune
