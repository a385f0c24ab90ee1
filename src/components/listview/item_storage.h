// Storage for the list view's items. A control may hold a million items of one or two sizes; the
// general heap spends 8 to 16 bytes of bookkeeping and rounding on each, more than a tenth of an
// item. Here items of one size share slabs: slots packed end to end, each slab's header found by
// masking a slot's address, a slab given back once its last slot is released. Thread-safe, like
// the heap it stands in for.
#pragma once

#include <cstddef>

namespace dashtune::listview {

// Room for an object of `size` bytes, aligned as the heap aligns an object of that size (a size
// that is a multiple of 16 gets 16-byte alignment, any other 8). Throws std::bad_alloc.
void* AllocateItemStorage(std::size_t size);
// Gives back storage from AllocateItemStorage; nullptr is ignored.
void ReleaseItemStorage(void* storage) noexcept;

// The bytes of slabs currently held (for tests and diagnostics): the slabs in use plus at most
// one empty slab kept per slot size.
std::size_t ItemStorageBytesHeld();

}  // namespace dashtune::listview
