// The clipboard object of the class library: opens the process clipboard around its calls and
// moves graphics and pictures to and from it by their clipboard formats.
#pragma once

#include <cstdint>

#include "classlib/classes.h"
#include "classlib/graphics.h"
#include "platform/core/types.h"

namespace dashtune {

class TClipboard : public TPersistent {
 public:
  TClipboard() = default;
  ~TClipboard() override;
  TClipboard(const TClipboard&) = delete;
  TClipboard& operator=(const TClipboard&) = delete;

  // Nested: only the outermost Close closes the process clipboard. Opening a clipboard that
  // another thread holds raises EInvalidOperation.
  void Open();
  void Close();
  // Empties the clipboard (its data is freed).
  void Clear();
  bool HasFormat(std::uint16_t Format) const;
  // The data of a format (still owned by the clipboard), or nullptr.
  win::HANDLE GetAsHandle(std::uint16_t Format);
  // Places data of a format; the clipboard owns it from now on.
  void SetAsHandle(std::uint16_t Format, win::HANDLE Value);

  // A graphic or a picture's graphic is placed in its clipboard format (with its palette);
  // placing leaves the source unchanged. Anything else raises the assignment error.
  void Assign(const TPersistent* Source) override;

 protected:
  // A picture or graphic destination is loaded from the first format the clipboard holds that
  // the picture container supports (for a graphic: that its class loads); none raises
  // EInvalidGraphic.
  void AssignTo(TPersistent* Dest) const override;

 private:
  void PlaceGraphic(TGraphic* graphic);

  int open_count_ = 0;
};

// The process's clipboard object.
TClipboard* Clipboard();

}  // namespace dashtune
