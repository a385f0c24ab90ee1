// TCustomEdit and TCustomMemo: controls over the system edit box ("EDIT"), one line or several
// lines that wrap at words. Text is UTF-8; OnKeyPress sees each typed byte first (0 swallows it).
#pragma once

#include <string>

#include "classlib/controls.h"
#include "classlib/form.h"
#include "platform/gdi/scoped_gdi.h"

namespace dashtune {

enum TBevelCut : int { bvNone, bvLowered, bvRaised, bvSpace };
enum TBevelKind : int { bkNone, bkTile, bkSoft, bkFlat };

class TCustomEdit : public TWinControl {
 public:
  explicit TCustomEdit(TComponent* AOwner);

  // While the window exists, what the box holds (the user's typing included).
  std::string GetText() const;
  void SetText(const std::string& Value);
  // bsSingle (the default) frames the box: with Ctl3D a sunken edge, without it a line.
  TBorderStyle GetBorderStyle() const { return border_style_; }
  void SetBorderStyle(TBorderStyle Value);
  bool GetCtl3D() const { return ctl3d_; }
  void SetCtl3D(bool Value);
  // The bevels are kept for whoever sets them; the box draws only its border.
  TBevelCut GetBevelInner() const { return bevel_inner_; }
  void SetBevelInner(TBevelCut Value) { bevel_inner_ = Value; }
  TBevelCut GetBevelOuter() const { return bevel_outer_; }
  void SetBevelOuter(TBevelCut Value) { bevel_outer_ = Value; }
  TBevelKind GetBevelKind() const { return bevel_kind_; }
  void SetBevelKind(TBevelKind Value) { bevel_kind_ = Value; }
  // Selects the whole text (the window is made if needed).
  void SelectAll();

  void WndProc(TMessage& Message) override;

 protected:
  void CreateParams(TCreateParams& Params) override;
  void CreateWnd() override;
  void DestroyWnd() override;
  void FontChanged() override;
  // Gives an existing window the styles CreateParams would give a new one.
  void UpdateWindowStyle();

 private:
  // WM_CTLCOLOREDIT for the control's own box: its font colour on its colour.
  win::HBRUSH AnswerColours(win::HDC DC);

  TBorderStyle border_style_ = bsSingle;
  bool ctl3d_ = true;
  TBevelCut bevel_inner_ = bvRaised;
  TBevelCut bevel_outer_ = bvLowered;
  TBevelKind bevel_kind_ = bkNone;
  win::ScopedGdiObject<win::HBRUSH> brush_;  // the background brush handed to the box
  TColor brush_color_ = clNone;              // the colour brush_ was made in
};

// Several lines, wrapped at words, aligned as Alignment says.
class TCustomMemo : public TCustomEdit {
 public:
  explicit TCustomMemo(TComponent* AOwner);
  TAlignment GetAlignment() const { return alignment_; }
  void SetAlignment(TAlignment Value);

 protected:
  void CreateParams(TCreateParams& Params) override;

 private:
  TAlignment alignment_ = taLeftJustify;
};

}  // namespace dashtune
