#include "components/listview/item_storage.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <limits>
#include <mutex>
#include <new>
#include <type_traits>

#include <sys/mman.h>

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/asan_interface.h>
#include <sanitizer/lsan_interface.h>
#endif

namespace dashtune::listview {

namespace {

// Slabs are aligned to their size, so that a slot's slab is its address with the low bits cleared;
// a large object's slab is longer but starts at such a boundary too.
constexpr std::size_t kSlabBytes = 256 * 1024;
constexpr std::size_t kSlotStep = 8;
// Larger objects get a slab of their own, sized to them.
constexpr std::size_t kLargestSlot = 4096;
constexpr std::size_t kPageBytes = 4096;

constexpr std::size_t RoundUp(std::size_t value, std::size_t step) { return (value + step - 1) / step * step; }

// Released slots are off limits to the checked build, as freed heap memory is.
void MarkUnusable(void* address, std::size_t bytes) {
#if defined(__SANITIZE_ADDRESS__)
  ASAN_POISON_MEMORY_REGION(address, bytes);
#else
  (void)address, (void)bytes;
#endif
}

void MarkUsable(void* address, std::size_t bytes) {
#if defined(__SANITIZE_ADDRESS__)
  ASAN_UNPOISON_MEMORY_REGION(address, bytes);
#else
  (void)address, (void)bytes;
#endif
}

// Slabs come straight from the kernel: the heap would spend a page of bookkeeping on each aligned
// block. The leak checker is told to look inside them for the pointers the items hold.
void* MapSlab(std::size_t bytes) {
  const std::size_t span = bytes + kSlabBytes;
  void* mapped = mmap(nullptr, span, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (mapped == MAP_FAILED) throw std::bad_alloc();
  const std::uintptr_t start = reinterpret_cast<std::uintptr_t>(mapped);
  const std::uintptr_t slab = RoundUp(start, kSlabBytes), end = start + span;
  if (slab > start) munmap(mapped, slab - start);
  if (end > slab + bytes) munmap(reinterpret_cast<void*>(slab + bytes), end - (slab + bytes));
#if defined(__SANITIZE_ADDRESS__)
  __lsan_register_root_region(reinterpret_cast<void*>(slab), bytes);
#endif
  return reinterpret_cast<void*>(slab);
}

void UnmapSlab(void* slab, std::size_t bytes) {
#if defined(__SANITIZE_ADDRESS__)
  __lsan_unregister_root_region(slab, bytes);
#endif
  munmap(slab, bytes);
}

struct SizeClass;

// The header at the start of every slab; its slots follow it.
struct alignas(16) Slab {
  SizeClass* size_class;  // nullptr: the slab holds one large object
  std::size_t bytes;      // the whole slab
  Slab* previous;
  Slab* next;
  void* released;          // released slots, linked through their first word
  std::uint32_t live;      // slots handed out and not released
  std::uint32_t untouched; // slots from this index on were never handed out
  std::uint32_t capacity;

  char* Slots() { return reinterpret_cast<char*>(this) + sizeof(Slab); }
  bool Full() const { return released == nullptr && untouched == capacity; }
};
static_assert(sizeof(Slab) % 16 == 0, "slots start 16-byte aligned");

// A doubly linked list of slabs.
struct SlabList {
  Slab* head = nullptr;

  void Push(Slab* slab) {
    slab->previous = nullptr;
    slab->next = head;
    if (head) head->previous = slab;
    head = slab;
  }
  void Remove(Slab* slab) {
    (slab->previous ? slab->previous->next : head) = slab->next;
    if (slab->next) slab->next->previous = slab->previous;
    slab->previous = slab->next = nullptr;
  }
};

struct SizeClass {
  std::size_t slot_bytes = 0;
  SlabList with_room;  // full slabs are on no list until a slot comes back
  // One empty slab kept, so that taking and releasing one object at a slab's edge does not make
  // and free a slab each time.
  Slab* spare = nullptr;
};

struct Storage {
  std::mutex lock;
  std::array<SizeClass, kLargestSlot / kSlotStep> classes;
  std::size_t bytes_held = 0;
};
// Items may be released by other objects' static destructors: the storage must never go first.
static_assert(std::is_trivially_destructible_v<Storage>);

Storage& TheStorage() {
  static Storage storage;
  return storage;
}

Slab* SlabOf(void* storage) {
  return reinterpret_cast<Slab*>(reinterpret_cast<std::uintptr_t>(storage) & ~std::uintptr_t{kSlabBytes - 1});
}

Slab* NewSlabLocked(Storage& storage, SizeClass* size_class, std::size_t bytes) {
  void* memory = MapSlab(bytes);
  Slab* slab = new (memory) Slab{};
  slab->size_class = size_class;
  slab->bytes = bytes;
  if (size_class) slab->capacity = static_cast<std::uint32_t>((bytes - sizeof(Slab)) / size_class->slot_bytes);
  MarkUnusable(slab->Slots(), bytes - sizeof(Slab));
  storage.bytes_held += bytes;
  return slab;
}

void FreeSlabLocked(Storage& storage, Slab* slab) {
  const std::size_t bytes = slab->bytes;
  storage.bytes_held -= bytes;
  MarkUsable(slab->Slots(), bytes - sizeof(Slab));
  slab->~Slab();
  UnmapSlab(slab, bytes);
}

void* TakeSlot(Slab& slab) {
  const std::size_t slot_bytes = slab.size_class->slot_bytes;
  void* slot = slab.released;
  if (slot) {
    MarkUsable(slot, slot_bytes);
    slab.released = *static_cast<void**>(slot);
  } else {
    slot = slab.Slots() + std::size_t{slab.untouched} * slot_bytes;
    ++slab.untouched;
    MarkUsable(slot, slot_bytes);
  }
  ++slab.live;
  return slot;
}

void* AllocateLarge(Storage& storage, std::size_t size) {
  const std::lock_guard guard(storage.lock);
  Slab* slab = NewSlabLocked(storage, nullptr, RoundUp(sizeof(Slab) + size, kPageBytes));
  MarkUsable(slab->Slots(), size);
  return slab->Slots();
}

void ReleaseSlotLocked(Storage& storage, Slab* slab, void* slot) {
  SizeClass& size_class = *slab->size_class;
  const bool was_full = slab->Full();
  *static_cast<void**>(slot) = slab->released;
  slab->released = slot;
  MarkUnusable(slot, size_class.slot_bytes);
  --slab->live;
  if (was_full) size_class.with_room.Push(slab);
  if (slab->live != 0) return;
  size_class.with_room.Remove(slab);
  if (size_class.spare) {
    FreeSlabLocked(storage, slab);
    return;
  }
  slab->released = nullptr;
  slab->untouched = 0;
  size_class.spare = slab;
}

}  // namespace

void* AllocateItemStorage(std::size_t size) {
  // Sizes are rounded up, and a large slab is mapped with a slab's length to spare for aligning
  // it: no size may wrap those sums.
  if (size > std::numeric_limits<std::size_t>::max() / 2) throw std::bad_alloc();
  Storage& storage = TheStorage();
  const std::size_t slot_bytes = RoundUp(std::max(size, sizeof(void*)), kSlotStep);
  if (slot_bytes > kLargestSlot) return AllocateLarge(storage, size);
  const std::lock_guard guard(storage.lock);
  SizeClass& size_class = storage.classes[slot_bytes / kSlotStep - 1];
  size_class.slot_bytes = slot_bytes;
  Slab* slab = size_class.with_room.head;
  if (!slab) {
    slab = size_class.spare ? size_class.spare : NewSlabLocked(storage, &size_class, kSlabBytes);
    size_class.spare = nullptr;
    size_class.with_room.Push(slab);
  }
  void* slot = TakeSlot(*slab);
  if (slab->Full()) size_class.with_room.Remove(slab);
  return slot;
}

void ReleaseItemStorage(void* storage_address) noexcept {
  if (!storage_address) return;
  Storage& storage = TheStorage();
  Slab* slab = SlabOf(storage_address);
  const std::lock_guard guard(storage.lock);
  if (slab->size_class) {
    ReleaseSlotLocked(storage, slab, storage_address);
    return;
  }
  FreeSlabLocked(storage, slab);
}

std::size_t ItemStorageBytesHeld() {
  Storage& storage = TheStorage();
  const std::lock_guard guard(storage.lock);
  return storage.bytes_held;
}

}  // namespace dashtune::listview
