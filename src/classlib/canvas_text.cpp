// The text parts of the drawing objects and the canvas: realised fonts and text output.
#include <algorithm>
#include <cstring>

#include "classlib/graphics.h"
#include "platform/gdi/gdi.h"
#include "platform/text/text.h"

namespace dashtune {

win::HFONT TFont::GetHandle() {
  if (CachedHandle() == nullptr) {
    win::LOGFONTA font{};
    font.lfHeight = height_;
    font.lfWeight = style_.Contains(TFontStyle::fsBold) ? 700 : 400;
    font.lfItalic = style_.Contains(TFontStyle::fsItalic) ? 1 : 0;
    font.lfUnderline = style_.Contains(TFontStyle::fsUnderline) ? 1 : 0;
    font.lfStrikeOut = style_.Contains(TFontStyle::fsStrikeOut) ? 1 : 0;
    font.lfCharSet = charset_;
    font.lfPitchAndFamily = static_cast<win::BYTE>(pitch_);
    const std::size_t length = std::min(name_.size(), sizeof font.lfFaceName - 1);
    std::memcpy(font.lfFaceName, name_.data(), length);
    StoreHandle(win::CreateFontIndirectA(&font));
  }
  return static_cast<win::HFONT>(CachedHandle());
}

void TCanvas::TextOut(int X, int Y, const std::string& Text) {
  Changing();
  RequiredState(TCanvasStates{TCanvasState::csHandleValid, TCanvasState::csFontValid, TCanvasState::csBrushValid});
  win::ExtTextOutA(handle_, X, Y, 0, nullptr, Text.data(), static_cast<win::UINT>(Text.size()), nullptr);
  MoveTo(X + TextWidth(Text), Y);
  Changed();
}

void TCanvas::TextRect(const win::RECT& Rect, int X, int Y, const std::string& Text) {
  Changing();
  RequiredState(TCanvasStates{TCanvasState::csHandleValid, TCanvasState::csFontValid, TCanvasState::csBrushValid});
  win::UINT options = win::ETO_CLIPPED;
  if (brush_->GetStyle() != TBrushStyle::bsClear) options |= win::ETO_OPAQUE;
  win::ExtTextOutA(handle_, X, Y, options, &Rect, Text.data(), static_cast<win::UINT>(Text.size()), nullptr);
  MoveTo(X + TextWidth(Text), Y);
  Changed();
}

win::SIZE TCanvas::TextExtent(const std::string& Text) {
  RequiredState(TCanvasStates{TCanvasState::csHandleValid, TCanvasState::csFontValid});
  win::SIZE size{};
  win::GetTextExtentPoint32A(handle_, Text.data(), static_cast<int>(Text.size()), &size);
  return size;
}

}  // namespace dashtune
