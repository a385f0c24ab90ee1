// Helpers shared by the shell library's tests.
#pragma once

#include "components/shell/namespace.h"

#include <memory>

namespace dashtune::testing {

// The first child of `folder` of the given kinds, or nil.
inline std::unique_ptr<TNamespace> FirstChild(TNamespace* folder, TFileObjects kinds) {
  std::unique_ptr<TNamespace> child;
  folder->EnumerateFolderEx(
      nullptr, kinds,
      [&](win::HWND, win::LPITEMIDLIST id, TNamespace* parent, void*, bool& terminate) {
        child = std::make_unique<TNamespace>(id, parent);
        terminate = true;
        return true;
      },
      nullptr);
  return child;
}

}  // namespace dashtune::testing
