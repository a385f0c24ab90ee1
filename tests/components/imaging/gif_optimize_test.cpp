// The optimiser: merging repeated pixels, cropping and dropping empty frames with their delays,
// the cleanup of extensions, colour tables that keep what frames show, and whole animations that
// ImageMagick coalesces into the same timed sequence before and after.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>

#include "gif_test_support.h"

namespace dashtune {
namespace {

using giftest::Bytes;
using giftest::GiflibImage;

const TGIFOptimizeOptions kAll{ooCrop, ooMerge, ooCleanup, ooColorMap, ooReduceColors};

TGIFGraphicControlExtension* Control(TGIFPicture& picture, int frame) {
  return picture.GetImages()->GetFrame(frame)->GetGraphicControlExtension();
}

int CountExtensions(TGIFSubImage* frame, std::uint8_t label) {
  int count = 0;
  for (int i = 0; i < frame->GetExtensions()->GetCount(); ++i)
    count += frame->GetExtensions()->GetExtension(i)->GetExtensionType() == label ? 1 : 0;
  return count;
}

int CountLoops(TGIFSubImage* frame) {
  int count = 0;
  for (int i = 0; i < frame->GetExtensions()->GetCount(); ++i)
    count += dynamic_cast<TGIFAppExtNSLoop*>(frame->GetExtensions()->GetExtension(i)) != nullptr ? 1 : 0;
  return count;
}

std::unique_ptr<TGIFPicture> LoadOrFail(const Bytes& file) {
  auto loaded = giftest::Load(file);
  EXPECT_EQ(loaded.error, "");
  return std::move(loaded.picture);
}

// Pixels drawn at random from the values given: frames that repeat them gain from merging.
Bytes Noise(std::size_t count, const std::vector<std::uint8_t>& values, unsigned seed) {
  std::mt19937 rng(seed);
  Bytes pixels(count);
  for (std::uint8_t& p : pixels) p = values[rng() % values.size()];
  return pixels;
}

TEST(GifOptimize, RepeatedPixelsOfTheSecondFrameBecomeTransparent) {
  const Bytes first = Noise(32 * 32, {0, 1, 2, 3}, 1);
  Bytes second = first;
  second[5] = static_cast<std::uint8_t>((first[5] + 1) % 4);
  auto picture = LoadOrFail(giftest::GiflibWrite(32, 32, giftest::GrayTable(4),
                                                 {{0, 0, 32, 32, false, {}, first}, {0, 0, 32, 32, false, {}, second}}));
  ASSERT_EQ(Control(*picture, 1), nullptr);
  const std::size_t before = giftest::Save(*picture).size();
  picture->Optimize(TGIFOptimizeOptions{ooMerge}, TColorReduction::crNone, ditherNearest, 8);
  EXPECT_LT(giftest::Save(*picture).size(), before);
  TGIFGraphicControlExtension* gce = Control(*picture, 1);
  ASSERT_NE(gce, nullptr);
  EXPECT_TRUE(gce->GetTransparent());
  // Black added to the global table.
  EXPECT_EQ(gce->GetTransparentColorIndex(), 4);
  EXPECT_EQ(picture->GetHeader()->GetColorMap()->GetCount(), 5);
  TGIFSubImage* frame = picture->GetImages()->GetFrame(1);
  for (std::size_t i = 0; i < second.size(); ++i) ASSERT_EQ(frame->GetData()[i], i == 5 ? second[5] : 4) << i;
}

TEST(GifOptimize, MergeThatWouldGrowTheFileIsLeftOut) {
  // One repeated pixel of four: the graphic control extension and the table's new entry would
  // cost more than the transparency saves.
  auto picture = LoadOrFail(giftest::GiflibWrite(
      4, 1, giftest::GrayTable(4), {{0, 0, 4, 1, false, {}, {0, 1, 2, 3}}, {0, 0, 4, 1, false, {}, {0, 2, 3, 1}}}));
  const Bytes before = giftest::Save(*picture);
  picture->Optimize(TGIFOptimizeOptions{ooMerge, ooCrop}, TColorReduction::crNone, ditherNearest, 8);
  EXPECT_EQ(giftest::Save(*picture), before);
  EXPECT_EQ(Control(*picture, 1), nullptr);
  EXPECT_EQ(picture->GetHeader()->GetColorMap()->GetCount(), 4);
}

TEST(GifOptimize, MergeReusesAnotherFramesTransparentIndexOnlyWhenThisFrameDoesNotShowIt) {
  // Frame 0 is transparent through index 2. Frame 1 repeats it wherever it is opaque and shows
  // no index 2; frame 2 repeats frame 1 but for its first pixel, which shows index 2.
  GiflibImage a{0, 0, 32, 32, false, {}, Noise(32 * 32, {0, 1, 2, 3}, 2)};
  a.transparent = 2;
  Bytes b = a.pixels;
  for (std::uint8_t& p : b) p = p == 2 ? 1 : p;
  Bytes c = b;
  c[0] = 2;
  auto picture = LoadOrFail(giftest::GiflibWrite(32, 32, giftest::GrayTable(4),
                                                 {a, {0, 0, 32, 32, false, {}, b}, {0, 0, 32, 32, false, {}, c}}));
  picture->Optimize(TGIFOptimizeOptions{ooMerge}, TColorReduction::crNone, ditherNearest, 8);
  // Frame 2 needs a new black entry, not index 2.
  TGIFGraphicControlExtension* gce = Control(*picture, 2);
  ASSERT_NE(gce, nullptr);
  EXPECT_EQ(gce->GetTransparentColorIndex(), 4);
  Bytes merged_c(c.size(), 4);
  merged_c[0] = 2;
  EXPECT_EQ(picture->GetImages()->GetFrame(2)->GetData(), merged_c);
  // Frame 1 reuses frame 0's index where frame 0 is opaque.
  ASSERT_NE(Control(*picture, 1), nullptr);
  EXPECT_EQ(Control(*picture, 1)->GetTransparentColorIndex(), 2);
  Bytes merged_b = a.pixels;
  for (std::uint8_t& p : merged_b) p = p == 2 ? 1 : 2;
  EXPECT_EQ(picture->GetImages()->GetFrame(1)->GetData(), merged_b);
}

TEST(GifOptimize, EmptiedFrameGivesItsDelayToThePreviousFrame) {
  GiflibImage a{0, 0, 2, 2, false, {}, {0, 1, 1, 0}};
  a.transparent = 3;
  a.delay = 10;
  GiflibImage b{0, 0, 2, 2, false, {}, {3, 3, 3, 3}};
  b.transparent = 3;
  b.delay = 5;
  auto picture = LoadOrFail(giftest::GiflibWrite(2, 2, giftest::GrayTable(4), {a, b}));
  picture->Optimize(TGIFOptimizeOptions{ooCrop}, TColorReduction::crNone, ditherNearest, 8);
  ASSERT_EQ(picture->GetImages()->GetCount(), 1);
  EXPECT_EQ(Control(*picture, 0)->GetDelay(), 15);
}

TEST(GifOptimize, EmptiedFrameAfterAnOpaqueFrameWithoutControlGivesItADelay) {
  GiflibImage a{0, 0, 2, 2, false, {}, {0, 1, 1, 0}};
  GiflibImage b{0, 0, 2, 2, false, {}, {3, 3, 3, 3}};
  b.transparent = 3;
  b.delay = 7;
  auto picture = LoadOrFail(giftest::GiflibWrite(2, 2, giftest::GrayTable(4), {a, b}));
  ASSERT_EQ(Control(*picture, 0), nullptr);
  picture->Optimize(TGIFOptimizeOptions{ooCrop}, TColorReduction::crNone, ditherNearest, 8);
  ASSERT_EQ(picture->GetImages()->GetCount(), 1);
  ASSERT_NE(Control(*picture, 0), nullptr);
  EXPECT_EQ(Control(*picture, 0)->GetDelay(), 7);
}

TEST(GifOptimize, FramesThatMustStayAreNeitherDeletedNorCropped) {
  const auto transparent_frame = [](int disposal, int delay) {
    GiflibImage f{0, 0, 4, 2, false, {}, {3, 3, 3, 3, 3, 1, 3, 3}};
    f.transparent = 3;
    f.disposal = disposal;
    f.delay = delay;
    return f;
  };
  GiflibImage empty0 = transparent_frame(1, 4);
  empty0.pixels.assign(8, 3);
  GiflibImage clearing = transparent_frame(2, 4);
  GiflibImage empty_clearing = transparent_frame(2, 4);
  empty_clearing.pixels.assign(8, 3);
  auto picture = LoadOrFail(giftest::GiflibWrite(4, 2, giftest::GrayTable(4),
                                                 {empty0, transparent_frame(1, 4), clearing, empty_clearing}));
  picture->Optimize(TGIFOptimizeOptions{ooCrop}, TColorReduction::crNone, ditherNearest, 8);
  ASSERT_EQ(picture->GetImages()->GetCount(), 4);
  // Frame 0 and the disposal-2 frames keep their size; the plain frame is cropped to its pixel.
  EXPECT_EQ(picture->GetImages()->GetFrame(0)->GetWidth(), 4);
  EXPECT_EQ(picture->GetImages()->GetFrame(1)->GetWidth(), 1);
  EXPECT_EQ(picture->GetImages()->GetFrame(1)->GetLeft(), 1);
  EXPECT_EQ(picture->GetImages()->GetFrame(2)->GetWidth(), 4);
  EXPECT_EQ(picture->GetImages()->GetFrame(3)->GetWidth(), 4);
}

TEST(GifOptimize, EmptiedFrameWithTheLoopExtensionStays) {
  GiflibImage a{0, 0, 2, 1, false, {}, {0, 1}};
  GiflibImage b{0, 0, 2, 1, false, {}, {3, 3}};
  b.transparent = 3;
  const Bytes file = giftest::GiflibWrite(2, 1, giftest::GrayTable(4), {a, b});
  auto picture = LoadOrFail(file);
  // Move a loop extension onto frame 1.
  auto loop = std::make_unique<TGIFAppExtNSLoop>(picture->GetImages()->GetFrame(1));
  loop->Loops = 2;
  picture->GetImages()->GetFrame(1)->GetExtensions()->Add(std::move(loop));
  picture->Optimize(TGIFOptimizeOptions{ooCrop, ooCleanup}, TColorReduction::crNone, ditherNearest, 8);
  ASSERT_EQ(picture->GetImages()->GetCount(), 2);
  EXPECT_EQ(CountLoops(picture->GetImages()->GetFrame(1)), 1);
}

TEST(GifOptimize, CleanupDropsIdleControlsCommentsAndLaterLoops) {
  GiflibImage a{0, 0, 2, 1, false, {}, {0, 1}};
  a.comments = {"note"};
  GiflibImage b{0, 0, 2, 1, false, {}, {1, 0}};
  b.disposal = 1;
  GiflibImage c{0, 0, 2, 1, false, {}, {1, 1}};
  c.disposal = 2;
  auto picture = LoadOrFail(giftest::GiflibWrite(2, 1, giftest::GrayTable(2), {a, b, c}, 4));
  auto copy = std::make_unique<TGIFAppExtNSLoop>(picture->GetImages()->GetFrame(2));
  picture->GetImages()->GetFrame(2)->GetExtensions()->Add(std::move(copy));
  picture->Optimize(TGIFOptimizeOptions{ooCleanup}, TColorReduction::crNone, ditherNearest, 8);
  TGIFFrameList* frames = picture->GetImages();
  EXPECT_EQ(CountExtensions(frames->GetFrame(0), gif::kCommentExtensionLabel), 0);
  EXPECT_EQ(CountLoops(frames->GetFrame(0)), 1);
  EXPECT_EQ(CountLoops(frames->GetFrame(2)), 0);
  EXPECT_EQ(Control(*picture, 1), nullptr);  // delay 0, opaque, disposal 1
  ASSERT_NE(Control(*picture, 2), nullptr);  // disposal 2 stays
  EXPECT_EQ(Control(*picture, 2)->GetDisposal(), dmBackground);
}

TEST(GifOptimize, CleanupDropsTransparencyNoPixelUsesAndDisposalsTheNextFrameCovers) {
  GiflibImage a{1, 0, 2, 2, false, {}, {0, 1, 1, 0}};
  a.transparent = 3;
  a.disposal = 2;
  GiflibImage b{0, 0, 4, 2, false, {}, Bytes(8, 1)};
  GiflibImage c{0, 0, 2, 2, false, {}, Bytes(4, 0)};
  c.disposal = 2;
  GiflibImage d{1, 0, 2, 2, false, {}, Bytes(4, 2)};
  d.disposal = 3;
  GiflibImage e{0, 0, 4, 2, false, {}, Bytes(8, 1)};
  auto picture = LoadOrFail(giftest::GiflibWrite(4, 2, giftest::GrayTable(4), {a, b, c, d, e}));
  picture->Optimize(TGIFOptimizeOptions{ooCleanup}, TColorReduction::crNone, ditherNearest, 8);
  // Frame 0: no pixel is transparent; frame 1 covers it: transparency and disposal go, and with
  // them the whole extension.
  EXPECT_EQ(Control(*picture, 0), nullptr);
  // Frame 2 is covered only partly by frame 3, which restores what lay under it: kept.
  ASSERT_NE(Control(*picture, 2), nullptr);
  EXPECT_EQ(Control(*picture, 2)->GetDisposal(), dmBackground);
}

TEST(GifOptimize, ColourTablesKeepTheTransparentColourOfEveryFrame) {
  // Index 3 is transparent but unused by pixels; sorting must not turn index 0 transparent.
  GiflibImage a{0, 0, 4, 1, false, giftest::GrayTable(4), {0, 1, 1, 2}};
  a.transparent = 3;
  GiflibImage b{0, 0, 4, 1, false, {}, {0, 1, 1, 1}};
  const Bytes file = giftest::GiflibWrite(4, 1, giftest::GrayTable(4), {a, b});
  const auto original = giftest::GiflibRead(file);
  ASSERT_TRUE(original.has_value());
  auto picture = LoadOrFail(file);
  std::vector<std::string> warnings;
  picture->OnWarning = [&](TObject*, int, const std::string& message) { warnings.push_back(message); };
  picture->Optimize(TGIFOptimizeOptions{ooColorMap}, TColorReduction::crNone, ditherNearest, 8);
  EXPECT_TRUE(warnings.empty());
  TGIFSubImage* frame = picture->GetImages()->GetFrame(0);
  const int transparent = frame->GetGraphicControlExtension()->GetTransparentColorIndex();
  for (std::uint8_t pixel : frame->GetData()) EXPECT_NE(pixel, transparent);
  const auto ref = giftest::GiflibRead(giftest::Save(*picture));
  ASSERT_TRUE(ref.has_value());
  EXPECT_EQ(giftest::ExpandFrame(*ref, 0), giftest::ExpandFrame(*original, 0));
}

TEST(GifOptimize, ReductionAloneChecksItsMethod) {
  auto picture = LoadOrFail(giftest::GiflibWrite(2, 1, giftest::GrayTable(2), {{0, 0, 2, 1, false, {}, {0, 1}}}));
  try {
    picture->Optimize(TGIFOptimizeOptions{ooReduceColors}, TColorReduction::crCustomPalette, ditherNearest, 8);
    ADD_FAILURE() << "no exception";
  } catch (const GIFException& e) {
    EXPECT_EQ(e.GetMessage(), "Invalid reduction method");
  }
  EXPECT_NO_THROW(picture->Optimize(TGIFOptimizeOptions{ooReduceColors, ooCleanup}, TColorReduction::crCustomPalette, ditherNearest, 8));
}

TEST(GifOptimize, ProgressRunsFromStartToEnd) {
  auto picture = LoadOrFail(giftest::GiflibWrite(
      2, 1, giftest::GrayTable(2), {{0, 0, 2, 1, false, {}, {0, 1}}, {0, 0, 2, 1, false, {}, {1, 0}}}));
  std::vector<std::pair<TProgressStage, int>> reports;
  picture->OnProgress = [&](TObject*, TProgressStage stage, std::uint8_t percent, bool, const win::RECT&,
                            const std::string& message) {
    EXPECT_EQ(message, "Optimizing...");
    reports.emplace_back(stage, percent);
  };
  picture->Optimize(kAll, TColorReduction::crNone, ditherNearest, 8);
  ASSERT_GE(reports.size(), 3u);
  EXPECT_EQ(reports.front(), std::make_pair(psStarting, 0));
  EXPECT_EQ(reports.back(), std::make_pair(psEnding, 100));
  EXPECT_EQ(reports[reports.size() - 2], std::make_pair(psRunning, 100));
}

// ---- Whole animations against ImageMagick ----

// The frames as ImageMagick coalesces them over white, equal neighbours merged and their delays
// added.
std::vector<std::pair<Bytes, int>> TimedSequence(const Bytes& file) {
  char folder[] = "/tmp/dashtune-gif-opt-XXXXXX";
  if (mkdtemp(folder) == nullptr) return {};
  const std::string path = std::string(folder) + "/in.gif";
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(file.data()),
                                              static_cast<std::streamsize>(file.size()));
  const std::string frames_path = std::string(folder) + "/frames.rgb";
  const std::string delays_path = std::string(folder) + "/delays.txt";
  const std::string command = "convert " + path + " -coalesce -background white -alpha remove -depth 8 rgb:" +
                              frames_path + " && identify -format '%T\\n' " + path + " > " + delays_path;
  std::vector<std::pair<Bytes, int>> sequence;
  if (std::system(command.c_str()) == 0) {
    std::ifstream frames(frames_path, std::ios::binary);
    const Bytes all((std::istreambuf_iterator<char>(frames)), std::istreambuf_iterator<char>());
    std::ifstream delays(delays_path);
    std::vector<int> times;
    for (int t = 0; delays >> t;) times.push_back(t);
    const std::size_t size = times.empty() ? 0 : all.size() / times.size();
    for (std::size_t i = 0; i < times.size(); ++i) {
      Bytes frame(all.begin() + static_cast<std::ptrdiff_t>(i * size),
                  all.begin() + static_cast<std::ptrdiff_t>((i + 1) * size));
      if (!sequence.empty() && sequence.back().first == frame) {
        sequence.back().second += times[i];
      } else {
        sequence.emplace_back(std::move(frame), times[i]);
      }
    }
  }
  std::filesystem::remove_all(folder);
  return sequence;
}

TEST(GifOptimize, AnimationsCoalesceIntoTheSameTimedSequence) {
  const giftest::ScriptCorpus corpus("imagemagick");
  ASSERT_TRUE(corpus.Made());
  std::vector<std::string> paths = {corpus.Path("animation.gif"), corpus.Path("animation-transparent.gif"),
                                    "/usr/share/doc/libsixel-examples/examples/images/seq2gif.gif",
                                    "/usr/share/doc/libsixel-examples/examples/images/snake.gif"};
  for (const std::string& path : paths) {
    SCOPED_TRACE(path);
    auto picture = LoadOrFail(giftest::ReadFile(path));
    const Bytes original = giftest::Save(*picture);
    picture->Optimize(kAll, TColorReduction::crNone, ditherNearest, 8);
    const Bytes optimized = giftest::Save(*picture);
    const auto expected = TimedSequence(original);
    ASSERT_FALSE(expected.empty());
    const auto got = TimedSequence(optimized);
    ASSERT_EQ(got.size(), expected.size());
    for (std::size_t i = 0; i < got.size(); ++i) {
      EXPECT_TRUE(got[i].first == expected[i].first) << "frame " << i;
      EXPECT_EQ(got[i].second, expected[i].second) << "frame " << i;
    }
  }
}

// ---- The corpus's animations through giflib ----

constexpr std::uint32_t kUncovered = 0xFF000000;  // no frame drew here, or a frame was disposed

struct Screen {
  std::vector<std::uint32_t> pixels;
  int delay = 0;
};

// The screens an animation shows as giflib reads it: each frame drawn over what the frames before
// it left by their disposal methods, on a screen that holds every frame; neighbours that look
// the same are one screen shown for their delays together.
std::vector<Screen> GiflibScreens(const giftest::GiflibFile& gif) {
  int width = gif.width, height = gif.height;
  for (const giftest::GiflibFrame& f : gif.frames) {
    width = std::max(width, f.left + f.width);
    height = std::max(height, f.top + f.height);
  }
  std::vector<std::uint32_t> screen(static_cast<std::size_t>(width) * static_cast<std::size_t>(height), kUncovered);
  std::vector<Screen> shown;
  for (std::size_t i = 0; i < gif.frames.size(); ++i) {
    const giftest::GiflibFrame& f = gif.frames[i];
    const std::vector<std::uint32_t> colors = giftest::ExpandFrame(gif, i);
    const std::vector<std::uint32_t> before = screen;
    for (int y = 0; y < f.height; ++y)
      for (int x = 0; x < f.width; ++x) {
        const std::size_t at = static_cast<std::size_t>(y) * static_cast<std::size_t>(f.width) + static_cast<std::size_t>(x);
        if (f.pixels[at] == f.transparent) continue;
        screen[static_cast<std::size_t>(f.top + y) * static_cast<std::size_t>(width) + static_cast<std::size_t>(f.left + x)] =
            colors[at];
      }
    if (!shown.empty() && shown.back().pixels == screen) {
      shown.back().delay += f.delay;
    } else {
      shown.push_back(Screen{screen, f.delay});
    }
    if (f.disposal == 2) {
      for (int y = f.top; y < f.top + f.height; ++y)
        std::fill_n(screen.begin() + static_cast<std::ptrdiff_t>(y) * width + f.left, f.width, kUncovered);
    } else if (f.disposal == 3) {
      screen = before;
    }
  }
  return shown;
}

// Pixels of each frame after the first that show the colour the previous frame shows below them,
// where that frame leaves its pixels in place.
std::size_t RepeatedPixels(const giftest::GiflibFile& gif) {
  std::size_t repeated = 0;
  for (std::size_t i = 1; i < gif.frames.size(); ++i) {
    const giftest::GiflibFrame &f = gif.frames[i], &below = gif.frames[i - 1];
    if (below.disposal >= 2) continue;
    const std::vector<std::uint32_t> colors = giftest::ExpandFrame(gif, i), under = giftest::ExpandFrame(gif, i - 1);
    for (int y = std::max(f.top, below.top); y < std::min(f.top + f.height, below.top + below.height); ++y)
      for (int x = std::max(f.left, below.left); x < std::min(f.left + f.width, below.left + below.width); ++x) {
        const std::size_t at = static_cast<std::size_t>(y - f.top) * static_cast<std::size_t>(f.width) +
                               static_cast<std::size_t>(x - f.left);
        const std::size_t under_at = static_cast<std::size_t>(y - below.top) * static_cast<std::size_t>(below.width) +
                                     static_cast<std::size_t>(x - below.left);
        if (f.pixels[at] == f.transparent || below.pixels[under_at] == below.transparent) continue;
        repeated += colors[at] == under[under_at] ? 1 : 0;
      }
  }
  return repeated;
}

constexpr std::size_t kPayingRepeats = 100;

TEST(GifOptimize, CorpusAnimationsNeverGrowShrinkWhereFramesRepeatAndShowTheSameScreens) {
  const giftest::ScriptCorpus corpus;
  ASSERT_TRUE(corpus.Made());
  std::vector<std::filesystem::path> files = corpus.Files();
  files.emplace_back("/usr/share/doc/libsixel-examples/examples/images/seq2gif.gif");
  int animations = 0, shrunk = 0;
  for (const std::filesystem::path& path : files) {
    const auto original = giftest::GiflibRead(giftest::ReadFile(path.string()));
    ASSERT_TRUE(original.has_value()) << path;
    if (original->frames.size() < 2) continue;
    SCOPED_TRACE(path.filename().string());
    ++animations;
    auto picture = LoadOrFail(giftest::ReadFile(path.string()));
    const Bytes before = giftest::Save(*picture);
    picture->Optimize(kAll, TColorReduction::crNone, ditherNearest, 8);
    const Bytes after = giftest::Save(*picture);
    const auto saved_before = giftest::GiflibRead(before), saved_after = giftest::GiflibRead(after);
    ASSERT_TRUE(saved_before.has_value());
    ASSERT_TRUE(saved_after.has_value());
    const std::vector<Screen> expected = GiflibScreens(*saved_before), got = GiflibScreens(*saved_after);
    ASSERT_EQ(got.size(), expected.size());
    for (std::size_t i = 0; i < got.size(); ++i) {
      EXPECT_TRUE(got[i].pixels == expected[i].pixels) << "screen " << i;
      EXPECT_EQ(got[i].delay, expected[i].delay) << "screen " << i;
    }
    EXPECT_LE(after.size(), before.size());
    // A few repeated pixels may not pay for the transparency that replaces them.
    const std::size_t repeated = RepeatedPixels(*saved_before);
    if (repeated >= kPayingRepeats) {
      EXPECT_LT(after.size(), before.size()) << repeated << " repeated pixels";
      shrunk += after.size() < before.size() ? 1 : 0;
    }
  }
  EXPECT_GE(animations, 5);
  EXPECT_GE(shrunk, 2);
}

}  // namespace
}  // namespace dashtune
