// The items' storage: slots that neither overlap nor move, the heap's alignment, slabs given back
// once empty, released slots off limits to the checked build, many threads at once, and items made
// and freed through it.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <new>
#include <cstring>
#include <random>
#include <stdexcept>
#include <thread>
#include <vector>

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/asan_interface.h>
#endif

#include "components/listview/item_storage.h"
#include "components/listview/items.h"
#include "components/listview/listview.h"

namespace dashtune {
namespace {

using listview::AllocateItemStorage;
using listview::ItemStorageBytesHeld;
using listview::ReleaseItemStorage;

constexpr std::size_t kSlabBytes = 256 * 1024;

struct Block {
  unsigned char* address;
  std::size_t size;
  unsigned char fill;
};

Block Take(std::size_t size, unsigned char fill) {
  auto* address = static_cast<unsigned char*>(AllocateItemStorage(size));
  std::memset(address, fill, size);
  return {address, size, fill};
}

bool Intact(const Block& block) {
  return std::all_of(block.address, block.address + block.size, [&](unsigned char b) { return b == block.fill; });
}

struct SizeCase {
  std::size_t size;
  int count;
};

TEST(ItemStorage, SlotsKeepTheirBytesAreAlignedAndAllGoBack) {
  const std::vector<SizeCase> cases = {{1, 4000},    {8, 4000},    {24, 4000}, {72, 9000},
                                       {80, 4000},   {4096, 200},  {4097, 20}, {300000, 3}};
  std::mt19937 random(36);
  for (const SizeCase& c : cases) {
    SCOPED_TRACE(c.size);
    const std::size_t held_before = ItemStorageBytesHeld();
    std::vector<Block> blocks;
    for (int i = 0; i < c.count; ++i) {
      blocks.push_back(Take(c.size, static_cast<unsigned char>(i * 7 + 1)));
      const std::uintptr_t address = reinterpret_cast<std::uintptr_t>(blocks.back().address);
      ASSERT_EQ(address % (c.size % 16 == 0 ? 16 : 8), 0u);
    }
    for (const Block& block : blocks) ASSERT_TRUE(Intact(block));
    // Release half, take the same number again: the bytes of the others are untouched.
    std::shuffle(blocks.begin(), blocks.end(), random);
    const std::size_t half = blocks.size() / 2;
    for (std::size_t i = 0; i < half; ++i) ReleaseItemStorage(blocks[i].address);
    for (std::size_t i = 0; i < half; ++i) blocks[i] = Take(c.size, static_cast<unsigned char>(0xA5 ^ i));
    for (const Block& block : blocks) ASSERT_TRUE(Intact(block));
    for (const Block& block : blocks) ReleaseItemStorage(block.address);
    // At most the one empty slab kept for this size.
    EXPECT_LE(ItemStorageBytesHeld(), held_before + kSlabBytes);
  }
}

TEST(ItemStorage, SizesNoMappingCanHoldAreRefusedAndNothingIsHeld) {
  const std::size_t held_before = ItemStorageBytesHeld();
  for (const std::size_t size : {SIZE_MAX, SIZE_MAX - kSlabBytes, SIZE_MAX / 2 + 1}) {
    SCOPED_TRACE(size);
    EXPECT_THROW(AllocateItemStorage(size), std::bad_alloc);
  }
  EXPECT_EQ(ItemStorageBytesHeld(), held_before);
}

TEST(ItemStorage, ReleasedSlotsAreTakenAgainBeforeTheStorageGrows) {
  const std::size_t held_before = ItemStorageBytesHeld();
  std::vector<void*> slots;
  for (int i = 0; i < 20000; ++i) slots.push_back(AllocateItemStorage(72));
  const std::size_t held = ItemStorageBytesHeld();
  for (int round = 0; round < 3; ++round) {
    for (std::size_t i = 0; i < slots.size(); i += 2) ReleaseItemStorage(slots[i]);
    for (std::size_t i = 0; i < slots.size(); i += 2) slots[i] = AllocateItemStorage(72);
    EXPECT_EQ(ItemStorageBytesHeld(), held);
  }
  for (void* slot : slots) ReleaseItemStorage(slot);
  EXPECT_LE(ItemStorageBytesHeld(), held_before + kSlabBytes);
  ReleaseItemStorage(nullptr);
}

#if defined(__SANITIZE_ADDRESS__)
TEST(ItemStorage, AReleasedSlotIsOffLimitsUntilItIsTakenAgain) {
  void* keep = AllocateItemStorage(72);  // the slab stays, so the slot is not unmapped
  void* slot = AllocateItemStorage(72);
  EXPECT_EQ(__asan_region_is_poisoned(slot, 72), nullptr);
  ReleaseItemStorage(slot);
  EXPECT_NE(__asan_address_is_poisoned(slot), 0);
  EXPECT_NE(__asan_address_is_poisoned(static_cast<char*>(slot) + 71), 0);
  void* again = AllocateItemStorage(72);
  EXPECT_EQ(__asan_region_is_poisoned(again, 72), nullptr);
  ReleaseItemStorage(again);
  ReleaseItemStorage(keep);
}
#endif

TEST(ItemStorage, ThreadsTakeAndReleaseAtOnce) {
  constexpr int kThreads = 4, kRounds = 20, kPerRound = 500;
  std::vector<std::thread> threads;
  std::vector<int> damaged(kThreads, 0);
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([t, &damaged] {
      for (int round = 0; round < kRounds; ++round) {
        std::vector<Block> blocks;
        for (int i = 0; i < kPerRound; ++i) blocks.push_back(Take(40 + 32 * (i % 3), static_cast<unsigned char>(t * 16 + i)));
        for (const Block& block : blocks) {
          damaged[t] += !Intact(block);
          ReleaseItemStorage(block.address);
        }
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  for (int t = 0; t < kThreads; ++t) EXPECT_EQ(damaged[t], 0) << "thread " << t;
}

// An item whose constructor throws after the storage was taken.
class TThrowingItem : public TTouchItemVirtual {
 public:
  explicit TThrowingItem(TTouchCollection* collection) : TTouchItemVirtual(collection) {
    throw std::runtime_error("refused");
  }
};

TEST(ItemStorage, ItemsComeFromItAndGoBackWhicheverWayTheyEnd) {
  const std::size_t held_before = ItemStorageBytesHeld();
  {
    TTouchItems items(nullptr, nullptr);
    for (int i = 0; i < 10000; ++i) items.AddVirtual(i);
    EXPECT_GE(ItemStorageBytesHeld(), 10000 * sizeof(TTouchItemVirtual));
    // Freed through the base of every object, and singly through the collection's owner.
    TTouchItem* last = items.GetItem(9999);
    delete static_cast<TObject*>(last);
    EXPECT_EQ(items.GetCount(), 9999);
    // A constructor that throws gives its slot back: 5,000 of them would fill more than a slab.
    const std::size_t held = ItemStorageBytesHeld();
    for (int i = 0; i < 5000; ++i) EXPECT_THROW(new TThrowingItem(&items), std::runtime_error);
    EXPECT_EQ(ItemStorageBytesHeld(), held);
  }
  EXPECT_LE(ItemStorageBytesHeld(), held_before + kSlabBytes);
}

}  // namespace
}  // namespace dashtune
