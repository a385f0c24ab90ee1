// The picture container's registries: file formats by extension, clipboard formats, removal of a
// class, and the failures of unknown formats.
#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "classlib/bitmap.h"
#include "classlib/graphics.h"
#include "platform/ole/clipboard.h"

namespace dashtune {
namespace {

// A graphic that records what the container asked of it.
class TFakeGraphic : public TGraphic {
 public:
  void Draw(TCanvas*, const win::RECT&) override {}
  bool GetEmpty() const override { return loaded_.empty(); }
  int GetWidth() const override { return static_cast<int>(loaded_.size()); }
  int GetHeight() const override { return 1; }
  void SetWidth(int) override {}
  void SetHeight(int) override {}
  void LoadFromStream(TStream* Stream) override {
    char buffer[64];
    const int got = Stream->Read(buffer, sizeof buffer);
    loaded_.assign(buffer, got > 0 ? got : 0);
    Changed(this);
  }
  void SaveToStream(TStream* Stream) override { Stream->WriteBuffer(loaded_.data(), static_cast<int>(loaded_.size())); }
  void LoadFromClipboardFormat(std::uint16_t AFormat, win::HANDLE, win::HPALETTE) override {
    loaded_ = "clipboard " + std::to_string(AFormat);
  }
  void SaveToClipboardFormat(std::uint16_t& AFormat, win::HANDLE& AData, win::HPALETTE& APalette) override {
    AFormat = 0xC123;
    AData = nullptr;
    APalette = nullptr;
  }
  void Assign(const TPersistent* Source) override {
    if (const auto* fake = dynamic_cast<const TFakeGraphic*>(Source)) {
      loaded_ = fake->loaded_;
      return;
    }
    TGraphic::Assign(Source);
  }
  const std::string& Loaded() const { return loaded_; }

 private:
  std::string loaded_;
};

class TOtherFakeGraphic : public TFakeGraphic {};

std::string WriteFile(const std::string& name, const std::string& contents) {
  const std::string path = ::testing::TempDir() + name;
  std::ofstream(path, std::ios::binary) << contents;
  return path;
}

class PictureRegistryTest : public ::testing::Test {
 protected:
  void TearDown() override {
    TPicture::UnregisterGraphicClass(TGraphicClass::Of<TFakeGraphic>());
  }
};

TEST_F(PictureRegistryTest, LoadsByExtensionInAnyCaseWithTheLastRegistrationWinning) {
  TPicture::RegisterFileFormat("fak", "Fake", TGraphicClass::Of<TFakeGraphic>());
  TPicture picture;
  int changes = 0;
  picture.OnChange = [&](TObject* sender) {
    EXPECT_EQ(sender, &picture);
    ++changes;
  };
  picture.LoadFromFile(WriteFile("one.FAK", "hello"));
  auto* graphic = dynamic_cast<TFakeGraphic*>(picture.GetGraphic());
  ASSERT_NE(graphic, nullptr);
  EXPECT_EQ(graphic->Loaded(), "hello");
  EXPECT_EQ(changes, 1);
  EXPECT_EQ(picture.GetWidth(), 5);

  TPicture::RegisterFileFormat("FAK", "Other fake", TGraphicClass::Of<TOtherFakeGraphic>());
  picture.LoadFromFile(WriteFile("two.fak", "x"));
  EXPECT_NE(dynamic_cast<TOtherFakeGraphic*>(picture.GetGraphic()), nullptr);
  // Removing the base class removes its descendant's registration too.
  TPicture::UnregisterGraphicClass(TGraphicClass::Of<TFakeGraphic>());
  EXPECT_FALSE(TPicture::GraphicClassForExtension("fak"));
}

TEST_F(PictureRegistryTest, UnknownExtensionsRaiseTheInvalidGraphicException) {
  TPicture picture;
  const std::string path = WriteFile("three.qqq", "data");
  try {
    picture.LoadFromFile(path);
    FAIL() << "no exception";
  } catch (const EInvalidGraphic& e) {
    EXPECT_EQ(e.GetMessage(), "Unbekannte Bilddateierweiterung (.qqq)");
  }
  EXPECT_THROW(picture.LoadFromFile(::testing::TempDir() + "no_extension"), EInvalidGraphic);
  EXPECT_EQ(picture.GetGraphic(), nullptr);
}

TEST_F(PictureRegistryTest, BitmapsAndIconsAreRegisteredFromTheStart) {
  EXPECT_TRUE(TPicture::GraphicClassForExtension("BMP") == TGraphicClass::Of<TBitmap>());
  EXPECT_TRUE(TPicture::GraphicClassForExtension("ico") == TGraphicClass::Of<TIcon>());
  EXPECT_TRUE(TPicture::SupportsClipboardFormat(win::CF_BITMAP));
}

TEST_F(PictureRegistryTest, ClipboardFormatsChooseTheGraphicClass) {
  const auto format = static_cast<std::uint16_t>(win::RegisterClipboardFormatA("Fake Picture"));
  EXPECT_FALSE(TPicture::SupportsClipboardFormat(format));
  TPicture::RegisterClipboardFormat(format, TGraphicClass::Of<TFakeGraphic>());
  EXPECT_TRUE(TPicture::SupportsClipboardFormat(format));
  TPicture picture;
  picture.LoadFromClipboardFormat(format, nullptr, nullptr);
  auto* graphic = dynamic_cast<TFakeGraphic*>(picture.GetGraphic());
  ASSERT_NE(graphic, nullptr);
  EXPECT_EQ(graphic->Loaded(), "clipboard " + std::to_string(format));

  TPicture::UnregisterGraphicClass(TGraphicClass::Of<TFakeGraphic>());
  EXPECT_FALSE(TPicture::SupportsClipboardFormat(format));
  try {
    picture.LoadFromClipboardFormat(format, nullptr, nullptr);
    FAIL() << "no exception";
  } catch (const EInvalidGraphic& e) {
    EXPECT_EQ(e.GetMessage(), "Format der Zwischenablage wird nicht unterstützt");
  }
}

TEST_F(PictureRegistryTest, AssigningAGraphicStoresACopyOfItsClass) {
  TPicture::RegisterFileFormat("fak", "Fake", TGraphicClass::Of<TFakeGraphic>());
  TPicture source;
  source.LoadFromFile(WriteFile("four.fak", "copy me"));
  TPicture copy;
  copy.Assign(&source);
  ASSERT_NE(copy.GetGraphic(), source.GetGraphic());
  EXPECT_EQ(dynamic_cast<TFakeGraphic*>(copy.GetGraphic())->Loaded(), "copy me");
  // Asking for the bitmap replaces a graphic of another class.
  EXPECT_EQ(copy.GetBitmap()->GetWidth(), 0);
  copy.Assign(nullptr);
  EXPECT_EQ(copy.GetGraphic(), nullptr);
  EXPECT_EQ(copy.GetWidth(), 0);
}

TEST(GraphicEvents, ChangedMarksModifiedAndProgressReachesItsHandler) {
  TFakeGraphic graphic;
  int changes = 0;
  graphic.OnChange = [&](TObject*) { ++changes; };
  graphic.SetTransparent(true);
  graphic.SetTransparent(true);
  EXPECT_EQ(changes, 1);
  EXPECT_TRUE(graphic.GetModified());
  graphic.SetModified(false);
  EXPECT_FALSE(graphic.GetModified());
  std::string seen;
  graphic.OnProgress = [&](TObject*, TProgressStage stage, std::uint8_t percent, bool, const win::RECT&,
                           const std::string& msg) { seen += std::to_string(stage) + ":" + std::to_string(percent) + msg; };
  graphic.Progress(&graphic, psRunning, 40, false, win::RECT{}, "Saving...");
  EXPECT_EQ(seen, "1:40Saving...");
}

}  // namespace
}  // namespace dashtune
