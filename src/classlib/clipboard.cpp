#include "classlib/clipboard.h"

#include "platform/ole/clipboard.h"

namespace dashtune {

TClipboard::~TClipboard() {
  if (open_count_ > 0) win::CloseClipboard();
}

void TClipboard::Open() {
  if (open_count_ == 0 && !win::OpenClipboard(nullptr))
    throw EInvalidOperation("Zwischenablage kann nicht geöffnet werden");
  ++open_count_;
}

void TClipboard::Close() {
  if (open_count_ == 0) return;
  if (--open_count_ == 0) win::CloseClipboard();
}

void TClipboard::Clear() {
  Open();
  win::EmptyClipboard();
  Close();
}

bool TClipboard::HasFormat(std::uint16_t Format) const { return win::IsClipboardFormatAvailable(Format) != 0; }

win::HANDLE TClipboard::GetAsHandle(std::uint16_t Format) {
  Open();
  win::HANDLE data = win::GetClipboardData(Format);
  Close();
  return data;
}

void TClipboard::SetAsHandle(std::uint16_t Format, win::HANDLE Value) {
  Open();
  win::SetClipboardData(Format, Value);
  Close();
}

void TClipboard::PlaceGraphic(TGraphic* graphic) {
  std::uint16_t format = 0;
  win::HANDLE data = nullptr;
  win::HPALETTE palette = nullptr;
  Open();
  try {
    win::EmptyClipboard();
    graphic->SaveToClipboardFormat(format, data, palette);
    if (data != nullptr) win::SetClipboardData(format, data);
    if (palette != nullptr) win::SetClipboardData(win::CF_PALETTE, palette);
  } catch (...) {
    Close();
    throw;
  }
  Close();
}

void TClipboard::Assign(const TPersistent* Source) {
  // Saving to a clipboard format reads the graphic; the formats' interface is not const.
  if (const auto* picture = dynamic_cast<const TPicture*>(Source)) {
    if (picture->GetGraphic() != nullptr) PlaceGraphic(picture->GetGraphic());
    return;
  }
  if (const auto* graphic = dynamic_cast<const TGraphic*>(Source)) {
    PlaceGraphic(const_cast<TGraphic*>(graphic));
    return;
  }
  TPersistent::Assign(Source);
}

void TClipboard::AssignTo(TPersistent* Dest) const {
  auto* picture = dynamic_cast<TPicture*>(Dest);
  auto* graphic = dynamic_cast<TGraphic*>(Dest);
  if (picture == nullptr && graphic == nullptr) {
    TPersistent::AssignTo(Dest);
    return;
  }
  auto* self = const_cast<TClipboard*>(this);
  self->Open();
  try {
    for (win::UINT format = win::EnumClipboardFormats(0); format != 0; format = win::EnumClipboardFormats(format)) {
      const TGraphicClass graphic_class = TPicture::GraphicClassForClipboardFormat(static_cast<std::uint16_t>(format));
      if (!graphic_class) continue;
      if (graphic != nullptr && !graphic_class.Class()->IsInstance(graphic)) continue;
      win::HANDLE data = win::GetClipboardData(format);
      auto palette = static_cast<win::HPALETTE>(win::GetClipboardData(win::CF_PALETTE));
      if (picture != nullptr)
        picture->LoadFromClipboardFormat(static_cast<std::uint16_t>(format), data, palette);
      else
        graphic->LoadFromClipboardFormat(static_cast<std::uint16_t>(format), data, palette);
      self->Close();
      return;
    }
  } catch (...) {
    self->Close();
    throw;
  }
  self->Close();
  throw EInvalidGraphic(graphics::SUnknownClipboardFormat);
}

TClipboard* Clipboard() {
  static TClipboard clipboard;
  return &clipboard;
}

}  // namespace dashtune
