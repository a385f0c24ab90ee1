#include "components/listview/paint_info.h"

#include "components/listview/common/common_utilities.h"
#include "components/listview/listview.h"
#include "platform/user/input_state.h"

namespace dashtune {

namespace {
void RepaintControl(TCustomTouchListview* control) {
  if (control) common::SafeInvalidateRect(control, nullptr, false);
}
}  // namespace

// ---- TTouchPaintInfoBasic ----

void TTouchPaintInfoBasic::Changed() { RepaintControl(GetOwnerListview()); }

void TTouchPaintInfoBasic::Assign(const TPersistent* Source) {
  const auto* source = dynamic_cast<const TTouchPaintInfoBasic*>(Source);
  if (source == nullptr) {
    TTouchPersistent::Assign(Source);
    return;
  }
  alignment_ = source->alignment_;
  border_ = source->border_;
  border_color_ = source->border_color_;
  caption_indent_ = source->caption_indent_;
  caption_lines_ = source->caption_lines_;
  check_flat_ = source->check_flat_;
  check_indent_ = source->check_indent_;
  check_size_ = source->check_size_;
  check_type_ = source->check_type_;
  image_indent_ = source->image_indent_;
  v_alignment_ = source->v_alignment_;
  Changed();
}

// ---- Margins ----

void TTouchMargin::Assign(const TPersistent* Source) {
  const auto* source = dynamic_cast<const TTouchMargin*>(Source);
  if (source == nullptr) {
    TTouchPersistent::Assign(Source);
    return;
  }
  size_ = source->size_;
  visible_ = source->visible_;
  LayoutChanged();
}

void TTouchMargin::SetSize(int Value) {
  if (size_ == Value) return;
  size_ = Value;
  LayoutChanged();
}

void TTouchMargin::SetVisible(bool Value) {
  if (visible_ == Value) return;
  visible_ = Value;
  LayoutChanged();
}

int TTouchMargin::RuntimeSize() const {
  const TCustomTouchListview* control = GetOwnerListview();
  return visible_ && control && control->GetShowGroupMargins() ? size_ : 0;
}

void TTouchMargin::LayoutChanged() {
  if (TCustomTouchListview* control = GetOwnerListview()) control->GetGroups()->Rebuild(false);
}

TCustomTouchFooterMargin::TCustomTouchFooterMargin(TCustomTouchListview* AOwner) : TTouchMargin(AOwner) {}

TCustomTouchFooterMargin::~TCustomTouchFooterMargin() = default;

std::unique_ptr<TTouchPaintInfoBasic> TCustomTouchFooterMargin::MakeFooterPaintInfo(TCustomTouchListview* AOwner) {
  auto info = std::make_unique<TTouchPaintInfoBasic>(AOwner);
  info->SetCaptionIndent(2);
  return info;
}

TTouchPaintInfoBasic* TCustomTouchFooterMargin::TextInfo() const {
  if (own_info_) return own_info_.get();
  const TCustomTouchListview* control = GetOwnerListview();
  const TCustomTouchFooterMargin* fallback =
      control && control->GetPaintInfoGroup() ? control->GetPaintInfoGroup()->GetMarginBottom() : nullptr;
  // The control's footer (or a footer without control) makes its own on first use.
  auto* holder = const_cast<TCustomTouchFooterMargin*>(fallback ? fallback : this);
  if (!holder->own_info_) holder->own_info_ = MakeFooterPaintInfo(holder->GetOwnerListview());
  return holder->own_info_.get();
}

void TCustomTouchFooterMargin::Assign(const TPersistent* Source) {
  TTouchMargin::Assign(Source);
  if (const auto* source = dynamic_cast<const TCustomTouchFooterMargin*>(Source)) {
    caption_ = source->caption_;
    image_index_ = source->image_index_;
    image_overlay_index_ = source->image_overlay_index_;
    TextInfo()->Assign(source->TextInfo());
  }
}

void TCustomTouchFooterMargin::SetCaption(const WideString& Value) {
  if (caption_ == Value) return;
  caption_ = Value;
  LayoutChanged();
}

void TCustomTouchFooterMargin::SetAlignment(TAlignment Value) {
  if (TextInfo()->GetAlignment() == Value) return;
  TextInfo()->SetAlignment(Value);
  LayoutChanged();
}

void TCustomTouchFooterMargin::SetImageIndex(int Value) {
  if (image_index_ == Value) return;
  image_index_ = Value;
  RepaintControl(GetOwnerListview());
}

void TCustomTouchFooterMargin::SetImageOverlayIndex(int Value) {
  if (image_overlay_index_ == Value) return;
  image_overlay_index_ = Value;
  RepaintControl(GetOwnerListview());
}

// ---- TTouchPaintInfoBaseGroup ----

TTouchPaintInfoBaseGroup::TTouchPaintInfoBaseGroup(TCustomTouchListview* AOwner)
    : TTouchPaintInfoBasic(AOwner),
      margin_bottom_(std::make_unique<TCustomTouchFooterMargin>(AOwner)),
      margin_left_(std::make_unique<TTouchMargin>(AOwner)),
      margin_right_(std::make_unique<TTouchMargin>(AOwner)),
      margin_top_(std::make_unique<TTouchHeaderMargin>(AOwner)) {}

TTouchPaintInfoBaseGroup::~TTouchPaintInfoBaseGroup() = default;

void TTouchPaintInfoBaseGroup::Assign(const TPersistent* Source) {
  if (const auto* source = dynamic_cast<const TTouchPaintInfoBaseGroup*>(Source)) {
    band_blended_ = source->band_blended_;
    band_color_ = source->band_color_;
    band_color_fade_ = source->band_color_fade_;
    band_enabled_ = source->band_enabled_;
    band_full_width_ = source->band_full_width_;
    band_indent_ = source->band_indent_;
    band_length_ = source->band_length_;
    band_margin_ = source->band_margin_;
    band_radius_ = source->band_radius_;
    band_thickness_ = source->band_thickness_;
    expandable_ = source->expandable_;
    expand_image_indent_ = source->expand_image_indent_;
    margin_bottom_->Assign(source->margin_bottom_.get());
    margin_left_->Assign(source->margin_left_.get());
    margin_right_->Assign(source->margin_right_.get());
    margin_top_->Assign(source->margin_top_.get());
  }
  TTouchPaintInfoBasic::Assign(Source);
}

// ---- TTouchPaintInfoBaseColumn ----

void TTouchPaintInfoBaseColumn::InvalidateHeader() {
  if (TCustomTouchListview* control = GetOwnerListview()) control->GetHeader()->Invalidate(false);
}

// ---- TTouchHotTrackManager ----

void TTouchHotTrackManager::SetHotObject(TTouchCollectionItem* Object, win::POINT MousePos) {
  if (Object == hot_object_) return;
  TTouchCollectionItem* old = hot_object_;
  hot_object_ = nullptr;
  if (enabled_ || Object == nullptr) UpdateCapture(Object != nullptr);
  if (old) old->SetHotTracking(false, MousePos);
  hot_object_ = Object;
  if (Object) Object->SetHotTracking(true, MousePos);
}

void TTouchHotTrackManager::UpdateCapture(bool hot) {
  TCustomTouchListview* control = GetOwnerListview();
  if (control == nullptr || !control->HandleAllocated()) return;
  const win::HWND window = control->GetHandle();
  if (hot) win::SetCapture(window);
  const bool captured = win::GetCapture() == window;
  // The cursor changes while the capture is let go, then the capture comes back.
  if (captured) win::ReleaseCapture();
  control->SetCursor(hot ? cursor_ : crDefault);
  if (captured && hot) win::SetCapture(window);
}

void TTouchHotTrackManager::SetCheckHoverObject(TTouchCollectionItem* Object) {
  if (Object == check_hover_object_) return;
  if (check_hover_object_) check_hover_object_->SetCheckHovering(false);
  check_hover_object_ = Object;
  if (Object) Object->SetCheckHovering(true);
}

void TTouchHotTrackManager::Forget(TTouchCollectionItem* Object) {
  if (Object == nullptr) return;
  if (hot_object_ == Object) SetHotObject(nullptr, {});
  if (check_hover_object_ == Object) check_hover_object_ = nullptr;
}

}  // namespace dashtune
