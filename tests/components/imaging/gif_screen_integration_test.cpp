// GIF pictures on a form shown on a private X server (Xvfb), read back from the X root window: a
// transparent picture stretched twice at an offset shows giflib's pixels over the form's colour,
// and an animation played by its painter thread shows ImageMagick's last coalesced frame.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "classlib/form.h"
#include "gif_test_support.h"
#include "platform/present/presenter.h"
#include "platform_test_support.h"
#include "xvfb_suite.h"
// Xlib after GoogleTest and the project's headers: its macros (None, Bool) clash with theirs.
#include <X11/Xlib.h>
#include <X11/Xutil.h>

namespace dashtune {
namespace {

using namespace std::chrono_literals;
using giftest::Bytes;

constexpr int kFormWidth = 220;
constexpr int kFormHeight = 160;
constexpr TColor kFormColor = 0x00336699;  // red 0x99, green 0x66, blue 0x33
constexpr std::uint32_t kFormRgb = 0x996633;
constexpr int kScale = 2;
constexpr win::POINT kOffset{17, 11};

std::uint32_t Rgb(const TGIFColor& c) { return std::uint32_t{c.Red} << 16 | std::uint32_t{c.Green} << 8 | c.Blue; }

class GifScreenIntegration : public dashtune::testing::XvfbSuite {
 protected:
  void TearDown() override {
    form_.reset();
    picture_.reset();
    XvfbSuite::TearDown();
  }

  // Shows a form of kFormColor that draws the picture stretched kScale times at kOffset, and
  // repaints whenever the picture changes.
  void ShowOnForm(std::unique_ptr<TGIFPicture> picture) {
    picture_ = std::move(picture);
    form_ = std::make_unique<TForm>(nullptr);
    form_->SetBounds(0, 0, kFormWidth, kFormHeight);
    form_->SetColor(kFormColor);
    form_->OnPaint = [this](TObject*) {
      form_->GetCanvas()->StretchDraw(
          win::RECT{kOffset.x, kOffset.y, kOffset.x + kScale * picture_->GetWidth(),
                    kOffset.y + kScale * picture_->GetHeight()},
          picture_.get());
    };
    picture_->OnChange = [this](TObject*) { form_->Invalidate(); };
    form_->Show();
    form_->Update();
  }

  // The form as the X server shows it, as 0x00RRGGBB values row by row.
  std::vector<std::uint32_t> Screenshot() {
    form_->Update();
    EXPECT_TRUE(presenter_->Flush());
    const win::POINT origin = form_->ClientToScreen({0, 0});
    XImage* shot = XGetImage(peer_, DefaultRootWindow(peer_), origin.x, origin.y, kFormWidth, kFormHeight, AllPlanes,
                             ZPixmap);
    std::vector<std::uint32_t> pixels;
    if (shot == nullptr) return pixels;
    for (int y = 0; y < kFormHeight; ++y)
      for (int x = 0; x < kFormWidth; ++x) pixels.push_back(static_cast<std::uint32_t>(XGetPixel(shot, x, y) & 0xFFFFFF));
    XDestroyImage(shot);
    return pixels;
  }

  // The form as it should look: `picture_pixel` (x, y of the picture's screen) stretched kScale
  // times at kOffset over the form's colour.
  template <typename PicturePixel>
  static std::vector<std::uint32_t> Expected(int width, int height, const PicturePixel& picture_pixel) {
    std::vector<std::uint32_t> pixels;
    for (int y = 0; y < kFormHeight; ++y)
      for (int x = 0; x < kFormWidth; ++x) {
        const int px = (x - kOffset.x) / kScale, py = (y - kOffset.y) / kScale;
        const bool inside = x >= kOffset.x && y >= kOffset.y && px < width && py < height;
        pixels.push_back(inside ? picture_pixel(px, py) : kFormRgb);
      }
    return pixels;
  }

  static std::string FirstDifference(const std::vector<std::uint32_t>& shown, const std::vector<std::uint32_t>& want) {
    if (shown.size() != want.size()) return "sizes " + std::to_string(shown.size()) + " and " + std::to_string(want.size());
    int differences = 0;
    std::string first;
    for (std::size_t i = 0; i < shown.size(); ++i) {
      if (shown[i] == want[i]) continue;
      if (differences++ == 0) {
        char text[96];
        std::snprintf(text, sizeof text, "(%zu, %zu): %06x instead of %06x", i % kFormWidth, i / kFormWidth,
                      shown[i], want[i]);
        first = text;
      }
    }
    return differences == 0 ? "" : std::to_string(differences) + " pixels differ, first " + first;
  }

  std::unique_ptr<TGIFPicture> picture_;
  std::unique_ptr<TForm> form_;
};


TEST_F(GifScreenIntegration, TransparentPictureStretchedAtAnOffsetShowsGiflibsPixelsOverTheForm) {
  // A 40 x 30 screen with one 28 x 20 frame at (6, 4) whose index 3 is transparent.
  constexpr int kTransparent = 3;
  std::mt19937 rng(16);
  std::vector<TGIFColor> table;
  for (int i = 0; i < 8; ++i)
    table.push_back(TGIFColor{static_cast<std::uint8_t>(30 * i), static_cast<std::uint8_t>(255 - 20 * i),
                              static_cast<std::uint8_t>(rng() % 200)});
  giftest::GiflibImage frame{6, 4, 28, 20, false, {}, Bytes(28 * 20)};
  for (std::size_t i = 0; i < frame.pixels.size(); ++i)
    frame.pixels[i] = static_cast<std::uint8_t>(rng() % 4 == 0 || i == 0 ? rng() % 8 : frame.pixels[i - 1]);
  frame.transparent = kTransparent;
  const Bytes file = giftest::GiflibWrite(40, 30, table, {frame});
  const auto ref = giftest::GiflibRead(file);
  ASSERT_TRUE(ref.has_value());
  ASSERT_EQ(ref->frames.size(), 1u);
  const giftest::GiflibFrame& read = ref->frames[0];
  ASSERT_NE(std::count(read.pixels.begin(), read.pixels.end(), kTransparent), 0);

  auto loaded = giftest::Load(file);
  ASSERT_EQ(loaded.error, "");
  ShowOnForm(std::move(loaded.picture));
  const auto want = Expected(ref->width, ref->height, [&](int x, int y) {
    if (x < read.left || y < read.top || x >= read.left + read.width || y >= read.top + read.height) return kFormRgb;
    const std::uint8_t index = read.pixels[static_cast<std::size_t>((y - read.top) * read.width + x - read.left)];
    return index == kTransparent ? kFormRgb : Rgb(ref->global[index]);
  });
  EXPECT_EQ(FirstDifference(Screenshot(), want), "");
}

TEST_F(GifScreenIntegration, AnimationAfterItsLastPassShowsImageMagicksLastCoalescedFrame) {
  const giftest::ScriptCorpus corpus("imagemagick");
  ASSERT_TRUE(corpus.Made());
  // Four frames of disposal 0 to 3 with offsets and transparency, played three times.
  const std::string path = corpus.Path("animation.gif");
  auto loaded = giftest::Load(giftest::ReadFile(path));
  ASSERT_EQ(loaded.error, "");
  ASSERT_TRUE(loaded.picture->GetDrawOptions().Contains(doThreaded));
  const int width = loaded.picture->GetWidth(), height = loaded.picture->GetHeight();
  const auto coalesced = giftest::Coalesced(path, "#996633", width, height);
  ASSERT_EQ(coalesced.size(), 4u);
  bool ended = false;
  loaded.picture->OnPaintEnd = [&ended](TObject*) { ended = true; };
  ShowOnForm(std::move(loaded.picture));
  ASSERT_TRUE(testing::PumpUntil([&] { return ended && picture_->GetPainter() == nullptr; }, 60s));
  const auto want = Expected(width, height, [&](int x, int y) {
    return coalesced.back()[static_cast<std::size_t>(y * width + x)];
  });
  EXPECT_EQ(FirstDifference(Screenshot(), want), "");
}

}  // namespace
}  // namespace dashtune
