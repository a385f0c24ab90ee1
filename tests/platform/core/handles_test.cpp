// The kernel handle table, its scoped owner and the per-thread last error.
#include "platform/core/errors.h"
#include "platform/core/handles.h"

#include <gtest/gtest.h>

#include <set>
#include <thread>

namespace {

class CountingObject : public win::KernelObject {
 public:
  explicit CountingObject(int* closed) : closed_(closed) {}
  void HandleClosed() override { ++*closed_; }

 private:
  int* closed_;
};

TEST(HandleTable, HandlesAreNeverReusedAndCloseOnlyOnce) {
  int closed = 0;
  std::set<win::HANDLE> seen;
  for (int i = 0; i < 100; ++i) {
    const win::HANDLE handle = win::InsertHandle(std::make_shared<CountingObject>(&closed));
    ASSERT_NE(handle, nullptr);
    ASSERT_NE(handle, win::INVALID_HANDLE_VALUE);
    EXPECT_TRUE(seen.insert(handle).second) << "handle value reused";
    ASSERT_EQ(win::CloseHandle(handle), win::TRUE);
    EXPECT_EQ(win::LookupHandle(handle), nullptr);
  }
  EXPECT_EQ(closed, 100);
  const win::HANDLE stale = *seen.begin();
  win::SetLastError(0);
  EXPECT_EQ(win::CloseHandle(stale), win::FALSE);
  EXPECT_EQ(win::GetLastError(), win::ERROR_INVALID_HANDLE);
  EXPECT_EQ(closed, 100);
}

TEST(HandleTable, InvalidHandlesNameNoObject) {
  for (const win::HANDLE handle : {win::HANDLE{nullptr}, win::INVALID_HANDLE_VALUE}) {
    win::SetLastError(0);
    EXPECT_EQ(win::LookupHandle(handle), nullptr);
    EXPECT_EQ(win::CloseHandle(handle), win::FALSE);
    EXPECT_EQ(win::GetLastError(), win::ERROR_INVALID_HANDLE);
  }
}

TEST(HandleTable, LookupByKindRefusesOtherKinds) {
  int closed = 0;
  const win::HANDLE handle = win::InsertHandle(std::make_shared<CountingObject>(&closed));
  struct OtherKind : win::KernelObject {};
  EXPECT_NE(win::LookupHandleAs<CountingObject>(handle), nullptr);
  EXPECT_EQ(win::LookupHandleAs<OtherKind>(handle), nullptr);
  win::CloseHandle(handle);
}

TEST(ScopedHandle, ClosesOnceWhenItsOwnerEndsOrMovesOn) {
  int closed = 0;
  const win::HANDLE first = win::InsertHandle(std::make_shared<CountingObject>(&closed));
  const win::HANDLE second = win::InsertHandle(std::make_shared<CountingObject>(&closed));
  {
    win::ScopedHandle a(first);
    win::ScopedHandle b(std::move(a));
    EXPECT_FALSE(a);
    EXPECT_EQ(b.Get(), first);
    win::ScopedHandle c(second);
    c = std::move(b);
    EXPECT_EQ(closed, 1) << "the second handle closes when its owner takes the first";
    EXPECT_EQ(win::LookupHandle(second), nullptr);
  }
  EXPECT_EQ(closed, 2);
  EXPECT_EQ(win::LookupHandle(first), nullptr);
}

TEST(ScopedHandle, DetachKeepsTheHandleOpenAndInvalidValuesOwnNothing) {
  int closed = 0;
  const win::HANDLE handle = win::InsertHandle(std::make_shared<CountingObject>(&closed));
  {
    win::ScopedHandle owner(handle);
    EXPECT_EQ(owner.Detach(), handle);
    win::ScopedHandle invalid(win::INVALID_HANDLE_VALUE);
    EXPECT_FALSE(invalid);
  }
  EXPECT_EQ(closed, 0);
  EXPECT_EQ(win::CloseHandle(handle), win::TRUE);
}

TEST(LastError, IsKeptPerThread) {
  win::SetLastError(win::ERROR_ACCESS_DENIED);
  win::DWORD seen_by_other = 1;
  std::thread other([&] {
    seen_by_other = win::GetLastError();
    win::SetLastError(win::ERROR_SEM_TIMEOUT);
  });
  other.join();
  EXPECT_EQ(seen_by_other, win::ERROR_SUCCESS);
  EXPECT_EQ(win::GetLastError(), win::ERROR_ACCESS_DENIED);
}

}  // namespace
