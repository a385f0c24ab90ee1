// Paint infos (the paint options that item, group and column painters read), the group margins
// and footer margin, and the hot-track manager.
#pragma once

#include <memory>

#include "components/listview/collection.h"

namespace dashtune {

// The basic paint options. Every setter stores a changed value and repaints the whole control.
class TTouchPaintInfoBasic : public TTouchOwnedPersistent {
 public:
  using TTouchOwnedPersistent::TTouchOwnedPersistent;
  void Assign(const TPersistent* Source) override;

  TAlignment GetAlignment() const { return alignment_; }
  void SetAlignment(TAlignment Value) { Store(alignment_, Value); }
  int GetBorder() const { return border_; }
  void SetBorder(int Value) { Store(border_, Value); }
  TColor GetBorderColor() const { return border_color_; }
  void SetBorderColor(TColor Value) { Store(border_color_, Value); }
  int GetCaptionIndent() const { return caption_indent_; }
  void SetCaptionIndent(int Value) { Store(caption_indent_, Value); }
  int GetCaptionLines() const { return caption_lines_; }
  void SetCaptionLines(int Value) { Store(caption_lines_, Value); }
  bool GetCheckFlat() const { return check_flat_; }
  void SetCheckFlat(bool Value) { Store(check_flat_, Value); }
  int GetCheckIndent() const { return check_indent_; }
  void SetCheckIndent(int Value) { Store(check_indent_, Value); }
  int GetCheckSize() const { return check_size_; }
  void SetCheckSize(int Value) { Store(check_size_, Value); }
  TTouchCheckType GetCheckType() const { return check_type_; }
  void SetCheckType(TTouchCheckType Value) { Store(check_type_, Value); }
  int GetImageIndent() const { return image_indent_; }
  void SetImageIndent(int Value) { Store(image_indent_, Value); }
  bool GetShowBorder() const { return show_border_; }
  void SetShowBorder(bool Value) { show_border_ = Value; }
  TCommonVAlignment GetVAlignment() const { return v_alignment_; }
  void SetVAlignment(TCommonVAlignment Value) { Store(v_alignment_, Value); }

 protected:
  // Repaints the whole control (nothing without one).
  virtual void Changed();
  template <class T>
  void Store(T& field, T value) {
    if (field == value) return;
    field = value;
    Changed();
  }

 private:
  TAlignment alignment_ = taLeftJustify;
  int border_ = 4;
  TColor border_color_ = clHighlight;
  int caption_indent_ = 4;
  int caption_lines_ = 1;
  bool check_flat_ = false;
  int check_indent_ = 2;
  int check_size_ = 12;
  TTouchCheckType check_type_ = ectNone;
  int image_indent_ = 2;
  bool show_border_ = true;
  TCommonVAlignment v_alignment_ = cvaCenter;
};

class TTouchPaintInfoBaseItem : public TTouchPaintInfoBasic {
 public:
  using TTouchPaintInfoBasic::TTouchPaintInfoBasic;
  TColor GetGridLineColor() const { return grid_line_color_; }
  void SetGridLineColor(TColor Value) { Store(grid_line_color_, Value); }
  bool GetGridLines() const { return grid_lines_; }
  void SetGridLines(bool Value) { Store(grid_lines_, Value); }
  bool GetHideCaption() const { return hide_caption_; }
  void SetHideCaption(bool Value) { Store(hide_caption_, Value); }
  int GetTileDetailCount() const { return tile_detail_count_; }
  void SetTileDetailCount(int Value) { Store(tile_detail_count_, Value); }

 private:
  TColor grid_line_color_ = clBtnFace;
  bool grid_lines_ = false;
  bool hide_caption_ = false;
  int tile_detail_count_ = 1;
};
using TTouchPaintInfoItem = TTouchPaintInfoBaseItem;

// A group margin: its Size counts only while it is Visible and the control shows group margins.
class TTouchMargin : public TTouchOwnedPersistent {
 public:
  explicit TTouchMargin(TCustomTouchListview* AOwner, bool AVisible = false)
      : TTouchOwnedPersistent(AOwner), visible_(AVisible) {}
  void Assign(const TPersistent* Source) override;

  int GetSize() const { return size_; }
  void SetSize(int Value);
  bool GetVisible() const { return visible_; }
  void SetVisible(bool Value);
  // The size the layout counts: Size when visible and the control shows group margins, else 0.
  int RuntimeSize() const;

 protected:
  // Rebuilds the control's groups (the margin changed their layout).
  void LayoutChanged();

 private:
  int size_ = 30;
  bool visible_;
};

// The top margin, visible by default.
class TTouchHeaderMargin : public TTouchMargin {
 public:
  explicit TTouchHeaderMargin(TCustomTouchListview* AOwner) : TTouchMargin(AOwner, true) {}
};

// The group footer: a caption and an image, with text options held in a paint info. A footer
// without its own paint info reads and writes that of the control's group footer.
class TCustomTouchFooterMargin : public TTouchMargin {
 public:
  explicit TCustomTouchFooterMargin(TCustomTouchListview* AOwner);
  ~TCustomTouchFooterMargin() override;
  void Assign(const TPersistent* Source) override;

  const WideString& GetCaption() const { return caption_; }
  void SetCaption(const WideString& Value);
  int GetImageIndex() const { return image_index_; }
  void SetImageIndex(int Value);
  int GetImageOverlayIndex() const { return image_overlay_index_; }
  void SetImageOverlayIndex(int Value);

  TAlignment GetAlignment() const { return TextInfo()->GetAlignment(); }
  void SetAlignment(TAlignment Value);
  int GetCaptionIndent() const { return TextInfo()->GetCaptionIndent(); }
  void SetCaptionIndent(int Value) { TextInfo()->SetCaptionIndent(Value); }
  int GetCaptionLines() const { return TextInfo()->GetCaptionLines(); }
  void SetCaptionLines(int Value) { TextInfo()->SetCaptionLines(Value); }
  int GetImageIndent() const { return TextInfo()->GetImageIndent(); }
  void SetImageIndent(int Value) { TextInfo()->SetImageIndent(Value); }
  TCommonVAlignment GetVAlignment() const { return TextInfo()->GetVAlignment(); }
  void SetVAlignment(TCommonVAlignment Value) { TextInfo()->SetVAlignment(Value); }

  // The footer's own text options (nullptr unless given).
  TTouchPaintInfoBasic* GetOwnPaintInfo() const { return own_info_.get(); }
  void SetOwnPaintInfo(std::unique_ptr<TTouchPaintInfoBasic> Value) { own_info_ = std::move(Value); }
  // A paint info holding the footer defaults (CaptionIndent 2); the control's group footer owns one.
  static std::unique_ptr<TTouchPaintInfoBasic> MakeFooterPaintInfo(TCustomTouchListview* AOwner);

 private:
  // The paint info the text options live in: the own one, else the control's group footer's.
  TTouchPaintInfoBasic* TextInfo() const;

  WideString caption_;
  int image_index_ = -1;
  int image_overlay_index_ = -1;
  std::unique_ptr<TTouchPaintInfoBasic> own_info_;
};
using TTouchFooterMargin = TCustomTouchFooterMargin;

class TTouchPaintInfoBaseGroup : public TTouchPaintInfoBasic {
 public:
  explicit TTouchPaintInfoBaseGroup(TCustomTouchListview* AOwner);
  ~TTouchPaintInfoBaseGroup() override;
  void Assign(const TPersistent* Source) override;

  bool GetBandBlended() const { return band_blended_; }
  void SetBandBlended(bool Value) { Store(band_blended_, Value); }
  TColor GetBandColor() const { return band_color_; }
  void SetBandColor(TColor Value) { Store(band_color_, Value); }
  TColor GetBandColorFade() const { return band_color_fade_; }
  void SetBandColorFade(TColor Value) { Store(band_color_fade_, Value); }
  bool GetBandEnabled() const { return band_enabled_; }
  void SetBandEnabled(bool Value) { Store(band_enabled_, Value); }
  bool GetBandFullWidth() const { return band_full_width_; }
  void SetBandFullWidth(bool Value) { Store(band_full_width_, Value); }
  int GetBandIndent() const { return band_indent_; }
  void SetBandIndent(int Value) { Store(band_indent_, Value); }
  int GetBandLength() const { return band_length_; }
  void SetBandLength(int Value) { Store(band_length_, Value); }
  int GetBandMargin() const { return band_margin_; }
  void SetBandMargin(int Value) { Store(band_margin_, Value); }
  std::uint8_t GetBandRadius() const { return band_radius_; }
  void SetBandRadius(std::uint8_t Value) { Store(band_radius_, Value); }
  int GetBandThickness() const { return band_thickness_; }
  void SetBandThickness(int Value) { Store(band_thickness_, Value); }
  bool GetExpandable() const { return expandable_; }
  void SetExpandable(bool Value) { Store(expandable_, Value); }
  int GetExpandImageIndent() const { return expand_image_indent_; }
  void SetExpandImageIndent(int Value) { Store(expand_image_indent_, Value); }

  TCustomTouchFooterMargin* GetMarginBottom() const { return margin_bottom_.get(); }
  TTouchMargin* GetMarginLeft() const { return margin_left_.get(); }
  TTouchMargin* GetMarginRight() const { return margin_right_.get(); }
  TTouchMargin* GetMarginTop() const { return margin_top_.get(); }
  // The margin setters take the given object as their own; nil and the held object change nothing.
  void SetMarginBottom(std::unique_ptr<TCustomTouchFooterMargin> Value) { Replace(margin_bottom_, std::move(Value)); }
  void SetMarginLeft(std::unique_ptr<TTouchMargin> Value) { Replace(margin_left_, std::move(Value)); }
  void SetMarginRight(std::unique_ptr<TTouchMargin> Value) { Replace(margin_right_, std::move(Value)); }
  void SetMarginTop(std::unique_ptr<TTouchMargin> Value) { Replace(margin_top_, std::move(Value)); }

 private:
  template <class T>
  void Replace(std::unique_ptr<T>& field, std::unique_ptr<T> value) {
    if (value == nullptr || value.get() == field.get()) return;
    field = std::move(value);
    Changed();
  }

  bool band_blended_ = true;
  TColor band_color_ = 0xFF0000;
  TColor band_color_fade_ = clWindow;
  bool band_enabled_ = true;
  bool band_full_width_ = false;
  int band_indent_ = 0;
  int band_length_ = 300;
  int band_margin_ = 2;
  std::uint8_t band_radius_ = 4;
  int band_thickness_ = 3;
  bool expandable_ = true;
  int expand_image_indent_ = 4;
  std::unique_ptr<TCustomTouchFooterMargin> margin_bottom_;
  std::unique_ptr<TTouchMargin> margin_left_;
  std::unique_ptr<TTouchMargin> margin_right_;
  std::unique_ptr<TTouchMargin> margin_top_;
};
using TTouchPaintInfoGroup = TTouchPaintInfoBaseGroup;

class TTouchPaintInfoBaseColumn : public TTouchPaintInfoBasic {
 public:
  using TTouchPaintInfoBasic::TTouchPaintInfoBasic;

  TColor GetColor() const { return color_; }
  void SetColor(TColor Value) { StoreForHeader(color_, Value); }
  bool GetHilightFocused() const { return hilight_focused_; }
  void SetHilightFocused(bool Value) { Store(hilight_focused_, Value); }
  TColor GetHilightFocusedColor() const { return hilight_focused_color_; }
  void SetHilightFocusedColor(TColor Value) { Store(hilight_focused_color_, Value); }
  bool GetHotTrack() const { return hot_track_; }
  void SetHotTrack(bool Value) { hot_track_ = Value; }
  TTouchHeaderImagePosition GetImagePosition() const { return image_position_; }
  void SetImagePosition(TTouchHeaderImagePosition Value) { StoreForHeader(image_position_, Value); }
  TTouchSortGlyphAlign GetSortGlyphAlign() const { return sort_glyph_align_; }
  void SetSortGlyphAlign(TTouchSortGlyphAlign Value) { StoreForHeader(sort_glyph_align_, Value); }
  int GetSortGlyphIndent() const { return sort_glyph_indent_; }
  void SetSortGlyphIndent(int Value) { StoreForHeader(sort_glyph_indent_, Value); }
  TTouchHeaderButtonStyle GetStyle() const { return style_; }
  void SetStyle(TTouchHeaderButtonStyle Value) { StoreForHeader(style_, Value); }

 private:
  template <class T>
  void StoreForHeader(T& field, T value) {
    if (field == value) return;
    field = value;
    InvalidateHeader();
  }
  void InvalidateHeader();

  TColor color_ = clBtnFace;
  bool hilight_focused_ = false;
  TColor hilight_focused_color_ = 0xF7F7F7;
  bool hot_track_ = true;
  TTouchHeaderImagePosition image_position_ = ehpLeft;
  TTouchSortGlyphAlign sort_glyph_align_ = esgaRight;
  int sort_glyph_indent_ = 2;
  TTouchHeaderButtonStyle style_ = ehbsThick;
};
using TTouchPaintInfoColumn = TTouchPaintInfoBaseColumn;

// Hot tracking options and the current hot object.
class TTouchHotTrackManager : public TTouchOwnedPersistent {
 public:
  using TTouchOwnedPersistent::TTouchOwnedPersistent;

  TColor GetColor() const { return color_; }
  void SetColor(TColor Value) { color_ = Value; }
  bool GetEnabled() const { return enabled_; }
  void SetEnabled(bool Value) { enabled_ = Value; }
  TCursor GetCursor() const { return cursor_; }
  void SetCursor(TCursor Value) { cursor_ = Value; }
  TTouchHotTrackRectGroups GetGroupTrack() const { return group_track_; }
  void SetGroupTrack(TTouchHotTrackRectGroups Value) { group_track_ = Value; }
  TTouchHotTrackRectItems GetItemTrack() const { return item_track_; }
  void SetItemTrack(TTouchHotTrackRectItems Value) { item_track_ = Value; }
  bool GetOnlyFocused() const { return only_focused_; }
  void SetOnlyFocused(bool Value) { only_focused_ = Value; }
  bool GetUnderline() const { return underline_; }
  void SetUnderline(bool Value) { underline_ = Value; }

  TTouchCollectionItem* GetHotObject() const { return hot_object_; }
  void SetHotObject(TTouchCollectionItem* Object, win::POINT MousePos);
  TTouchCollectionItem* GetCheckHoverObject() const { return check_hover_object_; }
  void SetCheckHoverObject(TTouchCollectionItem* Object);
  // Drops every reference to a member that is being freed.
  void Forget(TTouchCollectionItem* Object);

 private:
  void UpdateCapture(bool hot);

  TColor color_ = clHighlight;
  bool enabled_ = false;
  TCursor cursor_ = crHandPoint;
  TTouchHotTrackRectGroups group_track_{htgIcon, htgText};
  TTouchHotTrackRectItems item_track_{htiIcon, htiText};
  bool only_focused_ = false;
  bool underline_ = true;
  TTouchCollectionItem* hot_object_ = nullptr;          // not owned
  TTouchCollectionItem* check_hover_object_ = nullptr;  // not owned
};

}  // namespace dashtune
