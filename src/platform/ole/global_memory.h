// Global memory blocks: the movable blocks that clipboard and data-object data travel in. A block
// is reached through its handle; GlobalLock gives its address. Handles are never issued twice.
#pragma once

#include "platform/core/types.h"

namespace win {

constexpr UINT GMEM_FIXED = 0x0000;
constexpr UINT GMEM_MOVEABLE = 0x0002;
constexpr UINT GMEM_ZEROINIT = 0x0040;
constexpr UINT GHND = GMEM_MOVEABLE | GMEM_ZEROINIT;
// The largest block handed out; larger requests fail.
constexpr SIZE_T kMaxGlobalBlock = SIZE_T{1} << 28;

// A new zero-filled block (whatever the flags); nullptr when the size is above the limit.
HGLOBAL GlobalAlloc(UINT flags, SIZE_T bytes);
// The block's address (nullptr for an unknown handle or an empty block); counts the lock.
LPVOID GlobalLock(HGLOBAL memory);
// Drops one lock; answers TRUE while the block stays locked.
BOOL GlobalUnlock(HGLOBAL memory);
SIZE_T GlobalSize(HGLOBAL memory);
// Frees the block; answers nullptr on success and the handle for an unknown one.
HGLOBAL GlobalFree(HGLOBAL memory);

}  // namespace win
