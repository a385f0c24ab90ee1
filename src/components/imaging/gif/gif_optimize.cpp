// The picture's optimiser: colour tables sorted and trimmed, transparency and disposal that have no
// effect dropped, pixels that repeat the frame below made transparent, transparent borders cropped
// and extensions that carry nothing removed. Every change keeps what the animation shows.
#include <algorithm>
#include <array>
#include <memory>
#include <optional>
#include <vector>

#include "classlib/streams.h"
#include "components/imaging/gif/gif_blocks.h"
#include "components/imaging/gif/gif_picture.h"
#include "platform/core/mul_div.h"

namespace dashtune {
namespace {

constexpr int kStepsPerFrame = 6;
constexpr TColor kBlack = 0;

// Reports a step's progress frame by frame; a step that is switched off counts as done at once.
class OptimizeProgress {
 public:
  OptimizeProgress(TGIFPicture* Picture, int Frames) : picture_(Picture), total_(Frames * kStepsPerFrame) {}
  void FrameDone() {
    ++done_;
    picture_->ReportProgress(psRunning, win::MulDiv(done_, 100, total_), false, gif::sProgressOptimizing);
  }
  void Skip(int Frames) { done_ += Frames; }

 private:
  TGIFPicture* picture_;
  int total_;
  int done_ = 0;
};

TDisposalMethod Disposal(const TGIFSubImage* Frame) {
  const TGIFGraphicControlExtension* gce = Frame->GetGraphicControlExtension();
  return gce != nullptr ? gce->GetDisposal() : dmNone;
}

std::uint16_t Delay(const TGIFSubImage* Frame) {
  const TGIFGraphicControlExtension* gce = Frame->GetGraphicControlExtension();
  return gce != nullptr ? gce->GetDelay() : 0;
}

// The transparent index of a transparent frame, or -1.
int TransparentIndex(const TGIFSubImage* Frame) {
  const TGIFGraphicControlExtension* gce = Frame->GetGraphicControlExtension();
  return Frame->GetTransparent() && gce != nullptr && gce->GetTransparent() ? gce->GetTransparentColorIndex() : -1;
}

bool UsesValue(const TGIFSubImage* Frame, int Value) {
  const auto& pixels = Frame->GetData();
  return std::find(pixels.begin(), pixels.end(), static_cast<std::uint8_t>(Value)) != pixels.end();
}

bool Intersect(const win::RECT& a, const win::RECT& b, win::RECT& out) {
  out = win::RECT{std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right),
                  std::min(a.bottom, b.bottom)};
  return out.left < out.right && out.top < out.bottom;
}

bool Contains(const win::RECT& outer, const win::RECT& inner) {
  return outer.left <= inner.left && outer.top <= inner.top && outer.right >= inner.right &&
         outer.bottom >= inner.bottom;
}

bool IsLoopExtension(const TGIFExtension* Extension) { return dynamic_cast<const TGIFAppExtNSLoop*>(Extension); }

bool HasLoopExtension(TGIFSubImage* Frame) {
  TGIFExtensionList* extensions = Frame->GetExtensions();
  for (int i = 0; i < extensions->GetCount(); ++i)
    if (IsLoopExtension(extensions->GetExtension(i))) return true;
  return false;
}

// The colours a frame shows for every pixel value; values past its table are black, as written.
std::array<TGIFColor, gif::kPixelValues> ShownColors(TGIFSubImage* Frame) {
  std::array<TGIFColor, gif::kPixelValues> colors{};
  const TGIFColorMap* map = Frame->GetActiveColorMap();
  std::copy_n(map->Data(), map->GetCount(), colors.begin());
  return colors;
}

TGIFGraphicControlExtension* EnsureGraphicControl(TGIFSubImage* Frame) {
  if (TGIFGraphicControlExtension* gce = Frame->GetGraphicControlExtension()) return gce;
  auto gce = std::make_unique<TGIFGraphicControlExtension>(Frame);
  TGIFGraphicControlExtension* result = gce.get();
  Frame->GetExtensions()->Add(std::move(gce));
  return result;
}

// ---- Cleanup, first part ----

void DropUnusedTransparency(TGIFSubImage* Frame) {
  const int index = TransparentIndex(Frame);
  if (index >= 0 && !Frame->GetEmpty() && !UsesValue(Frame, index))
    Frame->GetGraphicControlExtension()->SetTransparent(false);
}

// A disposal of frame k has no effect when the next frame is opaque, covers frame k's whole
// rectangle and does not itself restore what lay under it.
void DropCoveredDisposal(TGIFSubImage* Frame, TGIFSubImage* Next) {
  TGIFGraphicControlExtension* gce = Frame->GetGraphicControlExtension();
  if (gce == nullptr || (gce->GetDisposal() != dmBackground && gce->GetDisposal() != dmPrevious)) return;
  if (Next->GetTransparent() || Next->GetEmpty() || Disposal(Next) == dmPrevious) return;
  if (Contains(Next->GetBoundsRect(), Frame->GetBoundsRect())) gce->SetDisposal(dmNone);
}

// ---- Merge ----

// An index this frame may make transparent: its own transparent index; else another transparent
// frame's index that this frame does not show (both on the global table); else a new black entry.
// -1 when the table is full or the new entry's value is already in use.
int ChooseTransparentIndex(TGIFPicture* Picture, TGIFSubImage* Frame) {
  const int own = TransparentIndex(Frame);
  if (own >= 0) return own;
  TGIFColorMap* map = Frame->GetColorMap()->GetCount() > 0 ? static_cast<TGIFColorMap*>(Frame->GetColorMap())
                                                            : Picture->GetHeader()->GetColorMap();
  if (map->GetCount() >= gif::kMaxColors) return -1;
  if (map != Frame->GetColorMap()) {
    TGIFFrameList* frames = Picture->GetImages();
    for (int i = 0; i < frames->GetCount(); ++i) {
      TGIFSubImage* other = frames->GetFrame(i);
      const int index = TransparentIndex(other);
      if (other == Frame || index < 0 || other->GetColorMap()->GetCount() > 0) continue;
      if (index < map->GetCount() && !UsesValue(Frame, index)) return index;
    }
  }
  if (UsesValue(Frame, map->GetCount())) return -1;
  return map->Add(kBlack);
}

// True when pixels of the frame were made transparent.
bool MergeFrame(TGIFPicture* Picture, TGIFSubImage* Frame, TGIFSubImage* Below) {
  if (Frame->GetEmpty() || Below->GetEmpty()) return false;
  if (Disposal(Below) == dmBackground || Disposal(Below) == dmPrevious) return false;
  win::RECT overlap{};
  if (!Intersect(Frame->GetBoundsRect(), Below->GetBoundsRect(), overlap)) return false;
  const std::array<TGIFColor, gif::kPixelValues> colors = ShownColors(Frame);
  const std::array<TGIFColor, gif::kPixelValues> below_colors = ShownColors(Below);
  const bool same_table = Frame->GetActiveColorMap() == Below->GetActiveColorMap();
  const int own_transparent = TransparentIndex(Frame);
  const int below_transparent = TransparentIndex(Below);
  std::vector<std::uint8_t*> repeated;
  for (int y = overlap.top; y < overlap.bottom; ++y) {
    std::uint8_t* row = Frame->GetScanline(y - Frame->GetTop());
    const std::uint8_t* below_row = Below->GetScanline(y - Below->GetTop());
    for (int x = overlap.left; x < overlap.right; ++x) {
      std::uint8_t& pixel = row[x - Frame->GetLeft()];
      const std::uint8_t under = below_row[x - Below->GetLeft()];
      if (pixel == own_transparent || under == below_transparent) continue;
      if (same_table ? pixel == under : colors[pixel] == below_colors[under]) repeated.push_back(&pixel);
    }
  }
  if (repeated.empty()) return false;
  const int index = ChooseTransparentIndex(Picture, Frame);
  if (index < 0) return false;
  for (std::uint8_t* pixel : repeated) *pixel = static_cast<std::uint8_t>(index);
  if (own_transparent < 0) {
    TGIFGraphicControlExtension* gce = EnsureGraphicControl(Frame);
    gce->SetTransparentColorIndex(static_cast<std::uint8_t>(index));
    gce->SetTransparent(true);
  }
  Frame->FreeBitmap();
  return true;
}

// The bytes the header and the frames take when written; none when a pixel lies past its table,
// which the encoder refuses.
std::optional<std::int64_t> WrittenSize(TGIFHeader& Header, TGIFFrameList& Frames) {
  TMemoryStream stream;
  try {
    Header.SaveToStream(&stream);
    Frames.SaveToStream(&stream);
  } catch (const GIFException&) {
    return std::nullopt;
  }
  return stream.GetSize();
}

// The header and the frames as they were, held apart from the picture: the copies account no
// pixels to it and report nothing.
class BlocksCopy {
 public:
  BlocksCopy(const TGIFHeader& Header, const TGIFFrameList& Frames) : header_(nullptr) {
    header_.Assign(&Header);
    for (int i = 0; i < Frames.GetCount(); ++i) {
      frames_.push_back(std::make_unique<TGIFSubImage>(nullptr));
      frames_.back()->Assign(Frames.GetFrame(i));
    }
  }

  void RestoreInto(TGIFPicture* Picture, TGIFHeader& Header, TGIFFrameList& Frames) const {
    Frames.Clear();
    Header.Assign(&header_);
    for (const auto& copy : frames_) {
      auto frame = std::make_unique<TGIFSubImage>(Picture);
      frame->Assign(copy.get());
      Frames.Add(std::move(frame));
    }
  }

 private:
  TGIFHeader header_;
  std::vector<std::unique_ptr<TGIFSubImage>> frames_;
};

// ---- Crop ----

bool FullyTransparent(const TGIFSubImage* Frame) {
  const int index = TransparentIndex(Frame);
  const auto& pixels = Frame->GetData();
  return index >= 0 && std::all_of(pixels.begin(), pixels.end(), [&](std::uint8_t p) { return p == index; });
}

// A fully transparent frame is deleted and its delay given to the previous frame, unless it holds
// what must stay (frame 0, the loop extension, a disposal that clears) or the previous frame's
// own disposal would then happen later than before.
void CropFrame(TGIFFrameList* Frames, int Index) {
  TGIFSubImage* frame = Frames->GetFrame(Index);
  if (frame->GetEmpty() || !frame->GetTransparent() || Disposal(frame) == dmBackground) return;
  if (!FullyTransparent(frame)) {
    frame->Crop();
    return;
  }
  if (Index == 0 || HasLoopExtension(frame)) return;
  TGIFSubImage* previous = Frames->GetFrame(Index - 1);
  if (Disposal(previous) == dmBackground || Disposal(previous) == dmPrevious) return;
  const int delay = Delay(previous) + Delay(frame);
  if (delay > 0) EnsureGraphicControl(previous)->SetDelay(static_cast<std::uint16_t>(std::min(delay, 0xFFFF)));
  Frames->Delete(Index);
}

// ---- Cleanup, second part ----

// Comments, texts and unknown application blocks go; so does every loop extension after the
// first, which the painter loops from, and a loop extension of a single frame.
void DropEmptyExtensions(TGIFSubImage* Frame, bool& KeepNextLoop) {
  TGIFExtensionList* extensions = Frame->GetExtensions();
  for (int i = 0; i < extensions->GetCount();) {
    TGIFExtension* extension = extensions->GetExtension(i);
    bool drop = extension->GetExtensionType() == gif::kCommentExtensionLabel ||
                extension->GetExtensionType() == gif::kTextExtensionLabel ||
                dynamic_cast<TGIFUnknownAppExtension*>(extension) != nullptr;
    if (IsLoopExtension(extension)) {
      drop = !KeepNextLoop;
      KeepNextLoop = false;
    }
    if (drop) {
      extensions->Delete(i);
    } else {
      ++i;
    }
  }
}

void DropIdleGraphicControl(TGIFSubImage* Frame, bool SingleFrame) {
  TGIFGraphicControlExtension* gce = Frame->GetGraphicControlExtension();
  if (gce == nullptr || gce->GetTransparent() || gce->GetUserInput()) return;
  if ((gce->GetDelay() == 0 || SingleFrame) && (gce->GetDisposal() < dmBackground || SingleFrame))
    Frame->GetExtensions()->Delete(Frame->GetExtensions()->IndexOf(gce));
}

}  // namespace

void TGIFPicture::Optimize(TGIFOptimizeOptions Options, TColorReduction ColorReduction, TDitherMode,
                           int) {
  if (GetEmpty()) return;
  StopPainters();
  // No painter starts while frames change.
  painters_.LockList();
  struct Unlock {
    TThreadList& list;
    ~Unlock() { list.UnlockList(); }
  } unlock{painters_};
  gif::ProgressScope scope(this, gif::sProgressOptimizing);
  OptimizeProgress progress(this, images_.GetCount());
  const auto each_frame = [&](bool enabled, auto&& step) {
    const int count = images_.GetCount();
    if (!enabled) {
      progress.Skip(count);
      return;
    }
    for (int i = count - 1; i >= 0; --i) {
      if (i < images_.GetCount()) step(i);
      progress.FrameDone();
    }
  };

  if (Options.Contains(ooColorMap)) {
    if (header_.GetColorMap()->GetCount() > 0) header_.GetColorMap()->Optimize();
    for (int i = 0; i < images_.GetCount(); ++i)
      if (images_.GetFrame(i)->GetColorMap()->GetCount() > 0) images_.GetFrame(i)->GetColorMap()->Optimize();
  }
  each_frame(Options.Contains(ooColorMap), [](int) {});
  each_frame(Options.Contains(ooCleanup), [&](int i) { DropUnusedTransparency(images_.GetFrame(i)); });
  each_frame(Options.Contains(ooCleanup), [&](int i) {
    if (i + 1 < images_.GetCount()) DropCoveredDisposal(images_.GetFrame(i), images_.GetFrame(i + 1));
  });
  // A merge pays for a graphic control extension and may add a table entry; when that costs more
  // than the repeated pixels it takes away, the frames go back to how they were before it.
  std::optional<BlocksCopy> before_merge;
  std::optional<std::int64_t> size_before_merge;
  if (Options.Contains(ooMerge) && images_.GetCount() > 1) size_before_merge = WrittenSize(header_, images_);
  if (size_before_merge) before_merge.emplace(header_, images_);
  bool merged = false;
  each_frame(Options.Contains(ooMerge), [&](int i) {
    if (i < 1) return;
    int below = i - 1;
    while (below >= 1 && Disposal(images_.GetFrame(below)) == dmPrevious) --below;
    merged = MergeFrame(this, images_.GetFrame(i), images_.GetFrame(below)) || merged;
  });
  each_frame(Options.Contains(ooCrop), [&](int i) { CropFrame(&images_, i); });
  if (merged && before_merge && WrittenSize(header_, images_).value_or(0) > *size_before_merge) {
    before_merge->RestoreInto(this, header_, images_);
    if (Options.Contains(ooCrop))
      for (int i = images_.GetCount() - 1; i >= 0; --i) CropFrame(&images_, i);
  }
  if (Options.Contains(ooCleanup)) {
    const bool single = images_.GetCount() == 1;
    bool keep_loop = !single;
    for (int i = 0; i < images_.GetCount(); ++i) DropEmptyExtensions(images_.GetFrame(i), keep_loop);
  } else if (Options.Contains(ooReduceColors) && ColorReduction == TColorReduction::crCustomPalette) {
    gif::RaiseGIFError(gif::sInvalidReductionMethod);
  }
  each_frame(Options.Contains(ooCleanup), [&](int i) {
    TGIFSubImage* frame = images_.GetFrame(i);
    DropIdleGraphicControl(frame, images_.GetCount() == 1);
    if (frame->GetEmpty() && frame->GetExtensions()->GetCount() == 0) images_.Delete(i);
  });
  FreeBitmap();
  Changed(this);
  scope.Done();
}

}  // namespace dashtune
