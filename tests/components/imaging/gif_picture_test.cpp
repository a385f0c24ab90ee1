// The picture object: loading by extension through the container, progress reports, copying
// between pictures (with the handlers kept), the rendered bitmap, and the clipboard formats.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <future>
#include <thread>

#include "classlib/bitmap.h"
#include "classlib/clipboard.h"
#include "gif_test_support.h"
#include "platform/core/mul_div.h"
#include "platform/gdi/dc_access.h"
#include "platform/ole/clipboard.h"

namespace dashtune {
namespace {

using giftest::Bytes;
using giftest::Concat;
using giftest::ControlExtension;
using giftest::Descriptor;
using giftest::Header;
using giftest::ImageData;

const std::vector<TGIFColor> kTable = {{0, 0, 0}, {255, 255, 255}, {0, 255, 0}, {0, 0, 255}};

Bytes TwoFrameFile() {
  return Concat({Header(4, 2, kTable), Descriptor(0, 0, 4, 2), ImageData({0, 1, 2, 3, 3, 2, 1, 0}, 2),
                 ControlExtension(1, false, 0, 5), Descriptor(1, 0, 2, 1), ImageData({2, 2}, 2), {0x3B}});
}

void Fill(TMemoryStream& stream, const Bytes& bytes) {
  stream.WriteBuffer(bytes.data(), static_cast<int>(bytes.size()));
  stream.SetPosition(0);
}

struct ProgressRecord {
  TProgressStage stage;
  int percent;
  std::string message;
  bool operator==(const ProgressRecord&) const = default;
};

TEST(GifPicture, LoadsByExtensionThroughThePictureContainer) {
  const std::filesystem::path path =
      std::filesystem::temp_directory_path() / ("dashtune-gif-" + std::to_string(getpid()) + ".gif");
  {
    const Bytes file = TwoFrameFile();
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(file.data()), static_cast<std::streamsize>(file.size()));
  }
  TPicture picture;
  picture.LoadFromFile(path.string());
  std::filesystem::remove(path);
  auto* gif = dynamic_cast<TGIFPicture*>(picture.GetGraphic());
  ASSERT_NE(gif, nullptr);
  EXPECT_EQ(gif->GetImages()->GetCount(), 2);
  EXPECT_EQ(picture.GetWidth(), 4);
  EXPECT_TRUE(TPicture::GraphicClassForExtension("gif") == TGraphicClass::Of<TGIFPicture>());
}

TEST(GifPicture, DefaultSettings) {
  TGIFPicture picture;
  EXPECT_TRUE(picture.GetDrawOptions() ==
              (TGIFDrawOptions{doThreaded, doTransparent, doAnimate, doLoop, doDither, doDitherOnPalette}));
  EXPECT_EQ(picture.GetColorReduction(), TColorReduction::crWebPalette);
  EXPECT_EQ(picture.GetReductionBits(), 8);
  EXPECT_EQ(picture.GetDitherMode(), ditherNearest);
  EXPECT_EQ(picture.GetAnimationSpeed(), 100);
  EXPECT_EQ(picture.GetBackgroundColor(), clNone);
  EXPECT_TRUE(picture.GetEmpty());
  EXPECT_EQ(picture.GetBitmap(), nullptr);
  picture.SetReductionBits(0);
  EXPECT_EQ(picture.GetReductionBits(), 1);
  picture.SetReductionBits(9);
  EXPECT_EQ(picture.GetReductionBits(), 8);
  TGIFPicture other;
  EXPECT_TRUE(picture.Equals(&picture));
  EXPECT_FALSE(picture.Equals(&other));
}

// Reading the display's depth sets both flags on screens of up to 8 bits and clears both on
// deeper ones, whatever the depth read before.
TEST(GifPicture, AutoDitherFollowsThePaletteDisplay) {
  const win::gdi::VirtualScreen saved = win::gdi::GetVirtualScreen();
  const struct {
    int bits;
    bool palette_display;
  } kCases[] = {{8, true}, {16, false}, {1, true}, {32, false}, {4, true}, {24, false}};
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.bits);
    win::gdi::VirtualScreen screen = saved;
    screen.bits_per_pixel = c.bits;
    ASSERT_TRUE(win::gdi::SetVirtualScreen(screen));
    gif::ReadDisplayDepth();
    EXPECT_EQ(gif::PaletteDisplay(), c.palette_display);
    EXPECT_EQ(gif::AutoDither(), c.palette_display);
  }
  win::gdi::SetVirtualScreen(saved);
  gif::ReadDisplayDepth();
  EXPECT_EQ(gif::AutoDither(), saved.bits_per_pixel <= 8);
}

TEST(GifPicture, ProgressWhileLoadingAndWhenLoadingFails) {
  TGIFPicture picture;
  std::vector<ProgressRecord> records;
  picture.OnProgress = [&](TObject* sender, TProgressStage stage, std::uint8_t percent, bool, const win::RECT&,
                           const std::string& message) {
    EXPECT_EQ(sender, &picture);
    records.push_back({stage, percent, message});
  };
  const Bytes file = TwoFrameFile();
  TMemoryStream stream;
  Fill(stream, file);
  picture.LoadFromStream(&stream);
  ASSERT_EQ(records.size(), 4u);
  EXPECT_EQ(records[0], (ProgressRecord{psStarting, 0, "Loading..."}));
  EXPECT_EQ(records[1].stage, psRunning);
  // After the last frame only the trailer is left.
  const int size = static_cast<int>(file.size());
  EXPECT_EQ(records[2], (ProgressRecord{psRunning, win::MulDiv(size - 1, 100, size), "Loading..."}));
  EXPECT_EQ(records[3], (ProgressRecord{psEnding, 100, "Loading..."}));
  records.clear();
  TMemoryStream broken;
  Fill(broken, {'G', 'I', 'F'});
  EXPECT_THROW(picture.LoadFromStream(&broken), GIFException);
  EXPECT_EQ(records, (std::vector<ProgressRecord>{{psStarting, 0, "Loading..."}, {psEnding, 0, "Loading..."}}));
}

TEST(GifPicture, AssignCopiesFramesAndSettingsAndKeepsItsOwnHandlers) {
  auto loaded = giftest::Load(TwoFrameFile());
  TGIFPicture& source = *loaded.picture;
  source.SetDrawOptions(TGIFDrawOptions{doTile});
  source.SetShownFrame(1);
  int source_progress = 0, own_progress = 0, own_warnings = 0;
  source.OnProgress = [&](TObject*, TProgressStage, std::uint8_t, bool, const win::RECT&, const std::string&) {
    ++source_progress;
  };
  TGIFPicture copy;
  copy.OnProgress = [&](TObject*, TProgressStage, std::uint8_t, bool, const win::RECT&, const std::string&) {
    ++own_progress;
  };
  copy.OnWarning = [&](TObject*, int, const std::string&) { ++own_warnings; };
  copy.Assign(&source);
  EXPECT_GT(source_progress, 0);  // the copy reports through the source's handler
  EXPECT_EQ(own_progress, 0);
  ASSERT_EQ(copy.GetImages()->GetCount(), 2);
  EXPECT_EQ(copy.GetImages()->GetFrame(1)->GetData(), (Bytes{2, 2}));
  EXPECT_TRUE(copy.GetDrawOptions() == TGIFDrawOptions{doTile});
  EXPECT_EQ(copy.GetShownFrame(), 1);
  // Afterwards the picture's own handlers are back.
  ASSERT_TRUE(static_cast<bool>(copy.OnProgress));
  ASSERT_TRUE(static_cast<bool>(copy.OnWarning));
  copy.Warning(&copy, 1, "x");
  EXPECT_EQ(own_warnings, 1);
  TMemoryStream stream;
  Fill(stream, TwoFrameFile());
  copy.LoadFromStream(&stream);
  EXPECT_GT(own_progress, 0);
}

TEST(GifPicture, BitmapIsTheFirstFrameAtTheScreenSize) {
  auto loaded = giftest::Load(TwoFrameFile());
  TBitmap* bitmap = loaded.picture->GetBitmap();
  ASSERT_NE(bitmap, nullptr);
  EXPECT_EQ(bitmap->GetWidth(), 4);
  TBitmap copy;
  copy.Assign(loaded.picture.get());
  EXPECT_EQ(copy.GetHeight(), 2);
  EXPECT_EQ(copy.GetCanvas()->GetPixel(2, 0), clLime);
  // A first frame smaller than the screen is drawn into a bitmap of the screen's size.
  auto small = giftest::Load(Concat({Header(6, 3, kTable), Descriptor(2, 1, 2, 1), ImageData({1, 1}, 2), {0x3B}}));
  TBitmap* placed = small.picture->GetBitmap();
  ASSERT_NE(placed, nullptr);
  EXPECT_EQ(placed->GetWidth(), 6);
  EXPECT_EQ(placed->GetCanvas()->GetPixel(3, 1), clWhite);
}

TEST(GifPicture, ShownFrameIsDrawnAndOutOfRangeMeansTheFirst) {
  auto loaded = giftest::Load(TwoFrameFile());
  // Not animated: the shown frame stands for the picture.
  loaded.picture->SetDrawOptions(loaded.picture->GetDrawOptions() - TGIFDrawOptions{doAnimate});
  TBitmap target;
  target.SetPixelFormat(pf32bit);
  target.SetSize(4, 2);
  loaded.picture->SetShownFrame(1);
  target.GetCanvas()->StretchDraw(win::RECT{0, 0, 4, 2}, loaded.picture.get());
  EXPECT_EQ(target.GetCanvas()->GetPixel(1, 0), clLime);
  loaded.picture->SetShownFrame(7);
  target.GetCanvas()->StretchDraw(win::RECT{0, 0, 4, 2}, loaded.picture.get());
  EXPECT_EQ(target.GetCanvas()->GetPixel(1, 0), clWhite);
}

TEST(GifPicture, AddRefusesWhatIsNotAGraphic) {
  TGIFPicture picture;
  TStringList strings;
  try {
    picture.Add(&strings);
    FAIL();
  } catch (const GIFException& e) {
    EXPECT_EQ(e.GetMessage(), "Object type not supported for operation");
  }
}

TEST(GifPicture, ClipboardHoldsBothFormatsAndLoadsFromEach) {
  auto loaded = giftest::Load(TwoFrameFile());
  Clipboard()->Assign(loaded.picture.get());
  ASSERT_NE(gif::ClipboardFormat(), 0);
  EXPECT_TRUE(Clipboard()->HasFormat(gif::ClipboardFormat()));
  EXPECT_TRUE(Clipboard()->HasFormat(win::CF_BITMAP));
  EXPECT_EQ(win::RegisterClipboardFormatA("GIF Image"), gif::ClipboardFormat());

  TGIFPicture from_gif;
  from_gif.LoadFromClipboardFormat(gif::ClipboardFormat(), nullptr, nullptr);
  ASSERT_EQ(from_gif.GetImages()->GetCount(), 2);
  EXPECT_EQ(from_gif.GetImages()->GetFrame(0)->GetData(), loaded.picture->GetImages()->GetFrame(0)->GetData());

  TGIFPicture from_bitmap;
  from_bitmap.LoadFromClipboardFormat(win::CF_BITMAP, nullptr, nullptr);
  ASSERT_EQ(from_bitmap.GetImages()->GetCount(), 1);
  EXPECT_EQ(from_bitmap.GetWidth(), 4);
  TBitmap target;
  target.SetPixelFormat(pf32bit);
  target.SetSize(4, 2);
  target.GetCanvas()->Draw(0, 0, &from_bitmap);
  EXPECT_EQ(target.GetCanvas()->GetPixel(3, 0), clBlue);

  TPicture picture;
  picture.LoadFromClipboardFormat(gif::ClipboardFormat(), Clipboard()->GetAsHandle(gif::ClipboardFormat()), nullptr);
  EXPECT_NE(dynamic_cast<TGIFPicture*>(picture.GetGraphic()), nullptr);

  try {
    from_gif.LoadFromClipboardFormat(0x7777, nullptr, nullptr);
    FAIL();
  } catch (const EInvalidGraphic& e) {
    EXPECT_EQ(e.GetMessage(), "Format der Zwischenablage wird nicht unterstützt");
  }
  Clipboard()->Clear();
}

TEST(GifPicture, StoringOnTheClipboardFailsWhileAnotherThreadHoldsIt) {
  auto loaded = giftest::Load(TwoFrameFile());
  std::promise<void> opened, release;
  std::thread holder([&] {
    win::OpenClipboard(nullptr);
    opened.set_value();
    release.get_future().wait();
    win::CloseClipboard();
  });
  opened.get_future().wait();
  std::uint16_t format = 0;
  win::HANDLE data = nullptr;
  win::HPALETTE palette = nullptr;
  try {
    loaded.picture->SaveToClipboardFormat(format, data, palette);
    ADD_FAILURE() << "no exception";
  } catch (const GIFException& e) {
    EXPECT_EQ(e.GetMessage(), "Failed to store GIF on clipboard");
  }
  release.set_value();
  holder.join();
  if (data != nullptr) win::DeleteObject(static_cast<win::HGDIOBJ>(data));
  if (palette != nullptr) win::DeleteObject(palette);
}

TEST(GifPicture, WriteDataOptimisesFirstWhenOptimiseOnStoreIsSet) {
  const Bytes commented = Concat({Header(4, 2, kTable), {0x21, 0xFE, 4, 'n', 'o', 't', 'e', 0}, Descriptor(0, 0, 4, 2),
                                  ImageData({0, 1, 2, 3, 3, 2, 1, 0}, 2), {0x3B}});
  for (bool optimize : {false, true}) {
    auto loaded = giftest::Load(commented);
    ASSERT_EQ(loaded.error, "");
    gif::SetOptimizeOnStore(optimize);
    TMemoryStream stream;
    loaded.picture->WriteData(&stream);
    gif::SetOptimizeOnStore(false);
    const std::string written(reinterpret_cast<const char*>(stream.GetMemory()), static_cast<std::size_t>(stream.GetSize()));
    EXPECT_EQ(written.find("note") != std::string::npos, !optimize);
  }
}

}  // namespace
}  // namespace dashtune
