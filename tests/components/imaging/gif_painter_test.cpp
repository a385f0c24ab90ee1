// The animation painter under the fake clock: frame times, speeds, loop counts, empty frames,
// handlers that choose the next frame, stopping, painters kept or restarted by Draw, the painter
// inside Draw with its message loop, and frames composed over a background as ImageMagick
// coalesces them. These tests also run in the ThreadSanitizer stage.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <thread>

#include "classlib/bitmap.h"
#include "components/imaging/gif/gif_painter.h"
#include "gif_test_support.h"
#include "platform/core/clock.h"
#include "platform/user/messages.h"
#include "platform_test_support.h"

namespace dashtune {
namespace {

using giftest::Bytes;
using giftest::GiflibImage;
using giftest::ReadFile;
using namespace std::chrono_literals;

constexpr const char* kSeq2Gif = "/usr/share/doc/libsixel-examples/examples/images/seq2gif.gif";

// Frames of 4 x 2 pixels in four grays with the given delays and an optional loop count.
Bytes Animation(const std::vector<int>& delays, std::optional<int> loops = std::nullopt) {
  std::vector<GiflibImage> frames;
  for (std::size_t i = 0; i < delays.size(); ++i) {
    GiflibImage frame{0, 0, 4, 2, false, {}, Bytes(8, static_cast<std::uint8_t>(i % 4))};
    frame.delay = delays[i];
    frame.disposal = 1;
    frames.push_back(frame);
  }
  return giftest::GiflibWrite(4, 2, giftest::GrayTable(4), frames, loops);
}

std::unique_ptr<TBitmap> Canvas(int width, int height, TColor color = clWhite) {
  auto bitmap = std::make_unique<TBitmap>();
  bitmap->SetPixelFormat(pf32bit);
  bitmap->SetSize(width, height);
  bitmap->GetCanvas()->GetBrush()->SetColor(color);
  bitmap->GetCanvas()->FillRect(win::RECT{0, 0, width, height});
  return bitmap;
}

// Plays a picture under the fake clock and records, in fake milliseconds since the start, when
// each frame was painted, when passes restarted and when the painter ended.
class Recorder {
 public:
  explicit Recorder(TGIFPicture* picture) : picture_(picture), others_(win::ScopedFakeClock::WaitingThreads()) {
    start_ = win::timeGetTime();
    picture->OnFramePaint = [this](TObject* sender) {
      frames_.push_back(static_cast<TGIFPainter*>(sender)->GetActiveImage());
      times_.push_back(Now());
    };
    picture->OnLoopRestart = [this](TObject*) { restarts_.push_back(Now()); };
    picture->OnPaintEnd = [this](TObject*) { end_ = Now(); };
  }

  int Now() const { return static_cast<int>(win::timeGetTime() - start_); }
  const std::vector<int>& Times() const { return times_; }
  const std::vector<int>& Frames() const { return frames_; }
  const std::vector<int>& Restarts() const { return restarts_; }
  int End() const { return end_; }
  bool Ended() const { return end_ >= 0; }

  // Runs the main thread's share until the painter waits for its delay or has ended.
  bool Settle() {
    return testing::PumpUntil([&] { return Ended() || win::ScopedFakeClock::WaitingThreads() > others_; }, 10s);
  }
  // Moves the clock to `at` ms since the start, one ms short first: nothing may be painted then.
  bool PaintsExactlyAt(int at) {
    const std::size_t painted = times_.size();
    if (!Settle() || Ended()) return false;
    if (at - Now() > 1) win::ScopedFakeClock::Current()->Advance(static_cast<std::uint64_t>(at - Now() - 1));
    if (!Settle() || times_.size() != painted) return false;
    win::ScopedFakeClock::Current()->Advance(1);
    return testing::PumpUntil([&] { return times_.size() > painted || Ended(); }, 10s) && times_.back() == at;
  }
  // Advances in steps until the painter ends.
  bool RunToEnd(std::uint64_t step, int limit_ms) {
    while (!Ended() && Now() < limit_ms) {
      if (!Settle()) return false;
      if (!Ended()) win::ScopedFakeClock::Current()->Advance(step);
    }
    return testing::PumpUntil([&] { return Ended() && picture_->GetPainter() == nullptr; }, 10s);
  }

 private:
  TGIFPicture* picture_;
  std::size_t others_;
  win::DWORD start_;
  std::vector<int> times_;
  std::vector<int> frames_;
  std::vector<int> restarts_;
  int end_ = -1;
};

std::unique_ptr<TGIFPicture> Load(const Bytes& file) {
  auto loaded = giftest::Load(file);
  EXPECT_EQ(loaded.error, "");
  return std::move(loaded.picture);
}

void ExpectSchedule(int speed, int divisor) {
  win::ScopedFakeClock clock;
  auto picture = Load(ReadFile(kSeq2Gif));
  ASSERT_EQ(picture->GetImages()->GetCount(), 9);
  picture->SetAnimationSpeed(speed);
  auto target = Canvas(picture->GetWidth(), picture->GetHeight());
  Recorder recorder(picture.get());
  target->GetCanvas()->Draw(0, 0, picture.get());
  ASSERT_EQ(recorder.Times(), std::vector<int>{0});
  // The file's delays are 3, 37, 33, 24, 55, 3, 4, 64 and 30 hundredths of a second.
  const std::vector<int> pass = {0, 30, 400, 730, 970, 1520, 1550, 1590, 2230};
  for (int round = 0; round < 2; ++round)
    for (std::size_t i = round == 0 ? 1 : 0; i < pass.size(); ++i)
      ASSERT_TRUE(recorder.PaintsExactlyAt((pass[i] + round * 2530) / divisor)) << "frame " << i << " of pass " << round;
  ASSERT_TRUE(testing::PumpUntil([&] { return recorder.Ended(); }));
  // The second pass starts right after the last frame; its first frame waits that frame's delay.
  EXPECT_EQ(recorder.Restarts(), std::vector<int>{2230 / divisor});
  EXPECT_EQ(recorder.End(), 4760 / divisor);
  EXPECT_TRUE(testing::PumpUntil([&] { return picture->GetPainter() == nullptr; }));
}

TEST(GifPainter, PaintsSeq2GifAtItsDelaysAndPlaysTwice) { ExpectSchedule(100, 1); }

TEST(GifPainter, SpeedTwoHundredHalvesEveryGap) { ExpectSchedule(200, 2); }

TEST(GifPainter, DelayOneLastsThreeUnitsAndDelayZeroTen) {
  win::ScopedFakeClock clock;
  auto picture = Load(Animation({1, 0, 5}));
  auto target = Canvas(4, 2);
  Recorder recorder(picture.get());
  target->GetCanvas()->Draw(0, 0, picture.get());
  EXPECT_TRUE(recorder.PaintsExactlyAt(30));
  EXPECT_TRUE(recorder.PaintsExactlyAt(130));
}

TEST(GifPainter, SpeedZeroAndNegativeSpeedsWaitUntilStopped) {
  for (int speed : {0, -50}) {
    SCOPED_TRACE(speed);
    win::ScopedFakeClock clock;
    auto picture = Load(Animation({1, 1}));
    picture->SetAnimationSpeed(speed);
    auto target = Canvas(4, 2);
    Recorder recorder(picture.get());
    target->GetCanvas()->Draw(0, 0, picture.get());
    ASSERT_TRUE(recorder.Settle());
    clock.Advance(1'000'000);
    ASSERT_TRUE(recorder.Settle());
    EXPECT_EQ(recorder.Times().size(), 1u);
    picture->Clear();
    EXPECT_TRUE(recorder.Ended());
    EXPECT_EQ(picture->GetPainter(), nullptr);
  }
}

TEST(GifPainter, LoopCountZeroLoopsUntilStopped) {
  win::ScopedFakeClock clock;
  auto picture = Load(Animation({1, 1}, 0));
  auto target = Canvas(4, 2);
  Recorder recorder(picture.get());
  target->GetCanvas()->Draw(0, 0, picture.get());
  for (int i = 1; i <= 10; ++i) ASSERT_TRUE(recorder.PaintsExactlyAt(30 * i));
  EXPECT_EQ(recorder.Restarts().size(), 5u);
  EXPECT_FALSE(recorder.Ended());
  picture.reset();
  EXPECT_TRUE(recorder.Ended());
}

TEST(GifPainter, LoopCountTwoPlaysTwiceAndWithoutDoLoopOnce) {
  for (bool loop : {true, false}) {
    SCOPED_TRACE(loop);
    win::ScopedFakeClock clock;
    auto picture = Load(Animation({1, 1, 1}, 2));
    if (!loop) picture->SetDrawOptions(picture->GetDrawOptions() - TGIFDrawOptions{doLoop});
    auto target = Canvas(4, 2);
    Recorder recorder(picture.get());
    target->GetCanvas()->Draw(0, 0, picture.get());
    ASSERT_TRUE(recorder.RunToEnd(12, 100000));
    EXPECT_EQ(recorder.Frames(), loop ? (std::vector<int>{0, 1, 2, 0, 1, 2}) : (std::vector<int>{0, 1, 2}));
  }
}

TEST(GifPainter, EmptyFrameEndsThePass) {
  win::ScopedFakeClock clock;
  auto picture = Load(Animation({1, 1, 1}, 2));
  picture->GetImages()->GetFrame(1)->Clear();
  auto target = Canvas(4, 2);
  Recorder recorder(picture.get());
  target->GetCanvas()->Draw(0, 0, picture.get());
  ASSERT_TRUE(recorder.RunToEnd(12, 100000));
  EXPECT_EQ(recorder.Frames(), (std::vector<int>{0, 0}));
}

TEST(GifPainter, FramePaintedHandlerChoosesTheNextFrame) {
  win::ScopedFakeClock clock;
  auto picture = Load(Animation({1, 1, 1, 1}));
  auto target = Canvas(4, 2);
  Recorder recorder(picture.get());
  picture->OnFramePainted = [](TObject* sender) {
    auto* painter = static_cast<TGIFPainter*>(sender);
    if (painter->GetActiveImage() == 0) painter->SetActiveImage(2);
  };
  target->GetCanvas()->Draw(0, 0, picture.get());
  ASSERT_TRUE(recorder.RunToEnd(12, 100000));
  EXPECT_EQ(recorder.Frames(), (std::vector<int>{0, 2, 3}));
}

TEST(GifPainter, StopDuringALongDelayEndsAtOnce) {
  win::ScopedFakeClock clock;
  auto picture = Load(Animation({1000, 1}));
  auto target = Canvas(4, 2);
  Recorder recorder(picture.get());
  target->GetCanvas()->Draw(0, 0, picture.get());
  ASSERT_TRUE(recorder.Settle());
  clock.Advance(6000);
  ASSERT_TRUE(recorder.Settle());
  picture->GetPainter()->Stop();
  EXPECT_TRUE(testing::PumpUntil([&] { return picture->GetPainter() == nullptr; }));
  EXPECT_EQ(recorder.End(), 6000);
  EXPECT_EQ(recorder.Frames(), std::vector<int>{0});
}

TEST(GifPainter, DrawKeepsThePainterOfTheSameTargetAndRestartsDirectPaintersElsewhere) {
  win::ScopedFakeClock clock;
  auto picture = Load(Animation({5, 5}, 0));
  auto target = Canvas(8, 4);
  Recorder recorder(picture.get());
  const win::RECT rect{0, 0, 4, 2};
  target->GetCanvas()->StretchDraw(rect, picture.get());
  TGIFPainter* first = picture->GetPainter();
  ASSERT_NE(first, nullptr);
  target->GetCanvas()->StretchDraw(rect, picture.get());
  EXPECT_EQ(picture->GetPainter(), first);

  picture->SetDrawOptions(picture->GetDrawOptions() + TGIFDrawOptions{doDirect});
  for (int i = 0; i < 5; ++i) {
    const win::RECT other{i % 2 * 4, 2, i % 2 * 4 + 4, 4};
    target->GetCanvas()->StretchDraw(other, picture.get());
    ASSERT_NE(picture->GetPainter(), nullptr);
    EXPECT_EQ(picture->GetPainter()->GetRect().left, other.left);
    ASSERT_TRUE(testing::PumpUntil([&] { return picture->GetPainter()->GetPainted(); }));
  }
  picture.reset();

  // A picture of one frame is drawn directly.
  auto still = Load(Animation({5}));
  target->GetCanvas()->Draw(0, 0, still.get());
  EXPECT_EQ(still->GetPainter(), nullptr);
  EXPECT_EQ(target->GetCanvas()->GetPixel(0, 0), still->GetHeader()->GetColorMap()->GetColor(0));
}

TEST(GifPainter, DestroyingThePictureWhileThePainterWaitsForThePaintEndsIt) {
  for (int round = 0; round < 3; ++round) {
    win::ScopedFakeClock clock;
    auto picture = Load(Animation({1, 1, 1}, 0));
    auto target = Canvas(4, 2);
    Recorder recorder(picture.get());
    target->GetCanvas()->Draw(0, 0, picture.get());
    ASSERT_TRUE(recorder.Settle());
    clock.Advance(30);
    // The painter now asks the main thread to paint; the picture goes meanwhile.
    std::this_thread::sleep_for(std::chrono::milliseconds(round * 5));
    picture.reset();
    EXPECT_TRUE(recorder.Ended());
  }
}

TEST(GifPainter, FramesAreRenderedAndReportedOnTheMainThread) {
  win::ScopedFakeClock clock;
  auto picture = Load(Animation({1, 1, 1}));
  auto target = Canvas(4, 2);
  Recorder recorder(picture.get());
  std::atomic<int> off_main{0}, reports{0};
  picture->OnProgress = [&](TObject*, TProgressStage, std::uint8_t, bool, const win::RECT&, const std::string&) {
    ++reports;
    if (!IsMainThread()) ++off_main;
  };
  picture->OnChange = [&](TObject*) {
    if (!IsMainThread()) ++off_main;
  };
  target->GetCanvas()->Draw(0, 0, picture.get());
  ASSERT_TRUE(recorder.RunToEnd(12, 100000));
  EXPECT_GT(reports.load(), 0);
  EXPECT_EQ(off_main.load(), 0);
}

TEST(GifPainter, TiledRestoreOfAPictureWithoutHeightClearsOneTile) {
  // Disposal 2 restores the frame's area in every tile; tiles step by the picture's height of 0.
  GiflibImage first{0, 0, 2, 2, false, {}, Bytes(4, 1)};
  first.disposal = 2;
  GiflibImage second{0, 0, 2, 2, false, {}, Bytes(4, 2)};
  second.disposal = 2;
  auto picture = Load(giftest::GiflibWrite(8, 2, giftest::GrayTable(4), {first, second}));
  picture->GetHeader()->SetHeight(0);
  picture->SetDrawOptions(picture->GetDrawOptions() + TGIFDrawOptions{doTile, doDirect} - TGIFDrawOptions{doTransparent});
  win::ScopedFakeClock clock;
  auto target = Canvas(8, 4);
  Recorder recorder(picture.get());
  target->GetCanvas()->StretchDraw(win::RECT{0, 0, 8, 4}, picture.get());
  ASSERT_TRUE(recorder.RunToEnd(12, 100000));
  EXPECT_EQ(recorder.Frames(), (std::vector<int>{0, 1}));
}

// ---- The painter inside Draw ----

// Whenever the main thread waits, advances the fake clock by a step that ends its wait (the painter
// inside Draw sleeps at most 100 ms at a time), then gives it a moment to leave the wait.
class ClockDriver {
 public:
  static constexpr std::uint64_t kStep = 100;
  ClockDriver() : others_(win::ScopedFakeClock::WaitingThreads()) {
    thread_ = std::thread([this] {
      while (!stop_) {
        if (!win::ScopedFakeClock::AwaitWaitingThreads(others_ + 1, 5ms) || stop_) continue;
        win::ScopedFakeClock::Current()->Advance(kStep);
        const auto until = std::chrono::steady_clock::now() + 2ms;
        while (win::ScopedFakeClock::WaitingThreads() > others_ && std::chrono::steady_clock::now() < until) {
        }
      }
    });
  }
  ~ClockDriver() {
    stop_ = true;
    thread_.join();
  }

 private:
  std::size_t others_;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

TEST(GifPainter, PainterInsideDrawCapsDelaysAndPlaysAnEndlessAnimationOnce) {
  win::ScopedFakeClock clock;
  auto picture = Load(Animation({3000, 2, 2}, 0));
  picture->SetDrawOptions(picture->GetDrawOptions() - TGIFDrawOptions{doThreaded});
  auto target = Canvas(4, 2);
  Recorder recorder(picture.get());
  {
    ClockDriver driver;
    target->GetCanvas()->Draw(0, 0, picture.get());
  }
  ASSERT_TRUE(recorder.Ended());
  EXPECT_EQ(recorder.Frames(), (std::vector<int>{0, 1, 2}));
  ASSERT_EQ(recorder.Times().size(), 3u);
  // 3000 units (30 s) are capped at 1000 (10 s). The painter takes half of how late its last wait
  // ended off the next delay, and a loaded machine may leave the main thread waiting while the
  // driver moves on: the bounds leave room for that.
  const int gap = recorder.Times()[1] - recorder.Times()[0];
  EXPECT_GE(gap, 5000);
  EXPECT_LE(gap, 20000);
  EXPECT_EQ(picture->GetPainter(), nullptr);
}

TEST(GifPainter, PainterInsideDrawEndsOnQuitAndPostsItAgain) {
  win::ScopedFakeClock clock;
  auto picture = Load(Animation({5, 5, 5}));
  picture->SetDrawOptions(picture->GetDrawOptions() - TGIFDrawOptions{doThreaded});
  auto target = Canvas(4, 2);
  Recorder recorder(picture.get());
  win::PostQuitMessage(7);
  {
    ClockDriver driver;
    target->GetCanvas()->Draw(0, 0, picture.get());
  }
  // The quit ends the first wait, before any frame is shown.
  EXPECT_TRUE(recorder.Frames().empty());
  EXPECT_TRUE(recorder.Ended());
  win::MSG message{};
  ASSERT_TRUE(win::PeekMessageA(&message, nullptr, 0, 0, win::PM_REMOVE));
  EXPECT_EQ(message.message, win::WM_QUIT);
  EXPECT_EQ(message.wParam, 7u);
}

// ---- Composition ----

std::vector<std::uint32_t> Pixels(TBitmap* bitmap) {
  std::vector<std::uint32_t> pixels;
  for (int y = 0; y < bitmap->GetHeight(); ++y)
    for (int x = 0; x < bitmap->GetWidth(); ++x) {
      const TColor c = bitmap->GetCanvas()->GetPixel(x, y);
      pixels.push_back((c & 0xFF) << 16 | (c & 0xFF00) | (c >> 16 & 0xFF));
    }
  return pixels;
}

TEST(GifPainter, FramesAreComposedAsImageMagickCoalescesThem) {
  const giftest::ScriptCorpus corpus("imagemagick");
  ASSERT_TRUE(corpus.Made());
  constexpr TColor kBackground = 0x00336699;  // red 0x99, green 0x66, blue 0x33
  for (const char* name : {"animation.gif", "animation-transparent.gif"}) {
    SCOPED_TRACE(name);
    const std::string path = corpus.Path(name);
    win::ScopedFakeClock clock;
    auto picture = Load(ReadFile(path));
    // One pass is enough, and the colour behind the picture is the form's.
    picture->SetDrawOptions(picture->GetDrawOptions() - TGIFDrawOptions{doLoop});
    const int width = picture->GetWidth(), height = picture->GetHeight();
    const auto expected = giftest::Coalesced(path, "#996633", width, height);
    auto target = Canvas(width, height, kBackground);
    std::vector<std::vector<std::uint32_t>> shown;
    picture->OnFramePainted = [&](TObject*) { shown.push_back(Pixels(picture->GetBitmap())); };
    Recorder recorder(picture.get());
    target->GetCanvas()->Draw(0, 0, picture.get());
    ASSERT_TRUE(recorder.RunToEnd(12, 100000));
    ASSERT_EQ(expected.size(), shown.size());
    for (std::size_t k = 0; k < shown.size(); ++k) {
      const auto differs = std::mismatch(shown[k].begin(), shown[k].end(), expected[k].begin());
      EXPECT_TRUE(differs.first == shown[k].end())
          << "frame " << k << " pixel " << (differs.first - shown[k].begin()) << ": " << std::hex << *differs.first
          << " instead of " << *differs.second;
    }
  }
}

}  // namespace
}  // namespace dashtune
