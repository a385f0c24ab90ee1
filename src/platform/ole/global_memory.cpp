#include "platform/ole/global_memory.h"

#include <cstdint>
#include <map>
#include <mutex>
#include <vector>

namespace win {
namespace {

struct Block {
  std::vector<std::uint8_t> bytes;
  int locks = 0;
};

struct BlockTable {
  std::mutex lock;
  std::map<std::uintptr_t, Block> blocks;
  std::uintptr_t next = 0x10000;  // handles step by 16 and are never reused
};

BlockTable& Table() {
  static BlockTable table;
  return table;
}

}  // namespace

HGLOBAL GlobalAlloc(UINT, SIZE_T bytes) {
  if (bytes > kMaxGlobalBlock) return nullptr;
  BlockTable& table = Table();
  std::lock_guard guard(table.lock);
  const std::uintptr_t id = table.next;
  table.next += 16;
  table.blocks[id].bytes.assign(bytes, 0);
  return reinterpret_cast<HGLOBAL>(id);
}

LPVOID GlobalLock(HGLOBAL memory) {
  BlockTable& table = Table();
  std::lock_guard guard(table.lock);
  auto it = table.blocks.find(reinterpret_cast<std::uintptr_t>(memory));
  if (it == table.blocks.end() || it->second.bytes.empty()) return nullptr;
  ++it->second.locks;
  return it->second.bytes.data();
}

BOOL GlobalUnlock(HGLOBAL memory) {
  BlockTable& table = Table();
  std::lock_guard guard(table.lock);
  auto it = table.blocks.find(reinterpret_cast<std::uintptr_t>(memory));
  if (it == table.blocks.end() || it->second.locks == 0) return FALSE;
  return --it->second.locks > 0 ? TRUE : FALSE;
}

SIZE_T GlobalSize(HGLOBAL memory) {
  BlockTable& table = Table();
  std::lock_guard guard(table.lock);
  auto it = table.blocks.find(reinterpret_cast<std::uintptr_t>(memory));
  return it == table.blocks.end() ? 0 : it->second.bytes.size();
}

HGLOBAL GlobalFree(HGLOBAL memory) {
  BlockTable& table = Table();
  std::lock_guard guard(table.lock);
  return table.blocks.erase(reinterpret_cast<std::uintptr_t>(memory)) == 1 ? nullptr : memory;
}

}  // namespace win
