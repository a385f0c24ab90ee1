// The item-identifier-list manager of the common units: copying, joining, walking and freeing
// item-ID lists through the shell allocator.
#pragma once

#include "classlib/system.h"
#include "platform/shell/shell_types.h"

namespace dashtune {

class TCommonPIDLManager : public TObject {
 public:
  // Takes the shell allocator; when the shell gives none every list operation answers nil.
  TCommonPIDLManager();
  ~TCommonPIDLManager() override;
  TCommonPIDLManager(const TCommonPIDLManager&) = delete;
  TCommonPIDLManager& operator=(const TCommonPIDLManager&) = delete;

  // A new list: `first` without its terminator followed by `second` (nil counts as empty). The
  // caller owns it.
  virtual win::LPITEMIDLIST AppendPIDL(win::LPCITEMIDLIST first, win::LPCITEMIDLIST second);
  // A copy; nil for nil. The caller owns it.
  virtual win::LPITEMIDLIST CopyPIDL(win::LPCITEMIDLIST list);
  // Nil is allowed.
  virtual void FreePIDL(win::LPITEMIDLIST list);
  // Frees a shell-allocated block such as a wide string from a shell interface.
  virtual void FreeOLEStr(win::LPWSTR block);
  // The last ID inside the list (the list itself when it holds one ID or none).
  virtual win::LPITEMIDLIST GetPointerToLastID(win::LPITEMIDLIST list);
  virtual int IDCount(win::LPCITEMIDLIST list);
  // True for the empty list.
  virtual bool IsDesktopFolder(win::LPCITEMIDLIST list);
  // The next ID (stays at the terminator).
  virtual win::LPITEMIDLIST NextID(win::LPITEMIDLIST id);
  // Ends the list before its last ID, in place; answers the list.
  virtual win::LPITEMIDLIST StripLastID(win::LPITEMIDLIST list);
  // Bytes of the list with its terminator (0 for nil).
  virtual int PIDLSize(win::LPCITEMIDLIST list);

  win::IMalloc* Malloc() const { return malloc_; }

 private:
  win::IMalloc* malloc_ = nullptr;  // the shell allocator; one reference held
};

}  // namespace dashtune
