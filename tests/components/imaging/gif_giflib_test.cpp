// Conformance with giflib: files written by giflib (every table size, interlace, transparency,
// local tables, disposal methods, loops, comments, frames past the screen), the same files with
// their data re-blocked, the sample animations, the ImageMagick and giflib-tools corpus with every
// extension byte for byte, and what the codec writes read back by giflib.
#include <gtest/gtest.h>

#include <random>
#include <cstdlib>
#include <algorithm>

#include "gif_test_support.h"

namespace dashtune {
namespace {

using giftest::Bytes;
using giftest::GiflibImage;
using giftest::ReadFile;

constexpr const char* kSampleDir = "/usr/share/doc/libsixel-examples/examples/images/";


std::vector<TGIFColor> RandomTable(int n, std::mt19937& rng) {
  std::vector<TGIFColor> table;
  for (int i = 0; i < n; ++i)
    table.push_back(TGIFColor{static_cast<std::uint8_t>(rng()), static_cast<std::uint8_t>(rng()),
                              static_cast<std::uint8_t>(rng())});
  return table;
}

Bytes RandomPixels(int width, int height, int colors, std::mt19937& rng) {
  Bytes pixels(static_cast<std::size_t>(width) * static_cast<std::size_t>(height));
  for (std::size_t i = 0; i < pixels.size(); ++i)
    pixels[i] = static_cast<std::uint8_t>(rng() % 3 == 0 || i == 0 ? rng() % static_cast<unsigned>(colors)
                                                                   : pixels[i - 1]);
  return pixels;
}

struct CorpusFile {
  std::string name;
  Bytes bytes;
};

// Files written by giflib, one per feature and table size.
std::vector<CorpusFile> GiflibCorpus() {
  std::vector<CorpusFile> corpus;
  std::mt19937 rng(2026);
  for (int colors : {2, 3, 4, 16, 17, 128, 256}) {
    for (bool interlace : {false, true}) {
      const auto global = RandomTable(colors, rng);
      GiflibImage frame{0, 0, 37, 23, interlace, {}, RandomPixels(37, 23, colors, rng)};
      corpus.push_back({"colors" + std::to_string(colors) + (interlace ? "i" : ""),
                        giftest::GiflibWrite(37, 23, global, {frame})});
    }
  }
  // An animation: local tables, every disposal method, transparency, delays, a loop and comments.
  std::vector<GiflibImage> frames;
  for (int i = 0; i < 4; ++i) {
    GiflibImage f{i * 5, i * 3, 20 - i, 15 + i, i == 2, i % 2 ? RandomTable(8, rng) : std::vector<TGIFColor>{}, {}};
    f.pixels = RandomPixels(f.width, f.height, 8, rng);
    f.disposal = i;
    f.delay = 10 * i;
    f.transparent = i == 1 ? 3 : -1;
    if (i == 0) f.comments = {"first frame", std::string(255, 'c'), "last"};
    frames.push_back(f);
  }
  corpus.push_back({"animation", giftest::GiflibWrite(40, 30, RandomTable(16, rng), frames, 0, 5)});
  // A frame reaching past the logical screen, and a loop count.
  GiflibImage beyond{30, 20, 25, 25, false, {}, RandomPixels(25, 25, 4, rng)};
  corpus.push_back({"beyond screen", giftest::GiflibWrite(40, 30, RandomTable(4, rng), {beyond}, 3)});
  return corpus;
}

void ExpectMatchesGiflib(const std::string& name, const Bytes& file) {
  SCOPED_TRACE(name);
  const auto ref = giftest::GiflibRead(file);
  ASSERT_TRUE(ref.has_value());
  auto loaded = giftest::Load(file);
  ASSERT_EQ(loaded.error, "");
  EXPECT_TRUE(loaded.warnings.empty()) << loaded.warnings.front();
  TGIFPicture& picture = *loaded.picture;
  EXPECT_EQ(giftest::CompareFrames(*ref, picture), "");
  EXPECT_EQ(picture.GetHeader()->GetBackgroundColorIndex(), ref->background);
  // Loop count and comments of the frames.
  std::optional<int> loops;
  std::vector<std::string> comments;
  for (int i = 0; i < picture.GetImages()->GetCount(); ++i) {
    TGIFExtensionList* extensions = picture.GetImages()->GetFrame(i)->GetExtensions();
    for (int k = 0; k < extensions->GetCount(); ++k) {
      if (auto* loop = dynamic_cast<TGIFAppExtNSLoop*>(extensions->GetExtension(k))) loops = loop->Loops;
      if (auto* comment = dynamic_cast<TGIFCommentExtension*>(extensions->GetExtension(k)))
        for (int line = 0; line < comment->GetText()->GetCount(); ++line) comments.push_back(comment->GetText()->Get(line));
    }
  }
  std::vector<std::string> ref_comments;
  for (const auto& frame : ref->frames) ref_comments.insert(ref_comments.end(), frame.comments.begin(), frame.comments.end());
  ref_comments.insert(ref_comments.end(), ref->trailing_comments.begin(), ref->trailing_comments.end());
  EXPECT_EQ(loops, ref->loops);
  EXPECT_EQ(comments, ref_comments);
  const std::vector<TGIFSubImage*> frames = giftest::ImageFrames(picture);
  ASSERT_EQ(frames.size(), ref->frames.size());
  for (std::size_t i = 0; i < ref->frames.size(); ++i) {
    // Every extension before the frame, written again, gives the bytes giflib read.
    EXPECT_EQ(giftest::SavedExtensions(*frames[i]), ref->frames[i].extensions) << "frame " << i;
    // Every frame drawn opaque shows giflib's indices through its table.
    if (ref->frames[i].local.empty() && ref->global.empty()) continue;
    EXPECT_EQ(giftest::DrawFrame(*frames[i]), giftest::ExpandFrame(*ref, i)) << "frame " << i;
  }
  // The extensions after the last image make frames of extensions only.
  std::vector<Bytes> trailing;
  for (int i = 0; i < picture.GetImages()->GetCount(); ++i) {
    TGIFSubImage* frame = picture.GetImages()->GetFrame(i);
    if (std::find(frames.begin(), frames.end(), frame) != frames.end()) continue;
    for (Bytes& extension : giftest::SavedExtensions(*frame)) trailing.push_back(std::move(extension));
  }
  EXPECT_EQ(trailing, ref->trailing_extensions);
}

TEST(GifConformance, GiflibWrittenFilesMatchGiflib) {
  for (const CorpusFile& file : GiflibCorpus()) ExpectMatchesGiflib(file.name, file.bytes);
}

TEST(GifConformance, ReblockedDataMatchesGiflib) {
  unsigned seed = 1;
  for (const CorpusFile& file : GiflibCorpus()) {
    ExpectMatchesGiflib(file.name + " in 1-byte blocks", giftest::Reblock(file.bytes, {1}));
    ExpectMatchesGiflib(file.name + " in random blocks", giftest::Reblock(file.bytes, {0}, seed++));
  }
}

TEST(GifConformance, SampleAnimationsMatchGiflib) {
  for (const char* name : {"snake.gif", "seq2gif.gif"}) {
    const Bytes file = ReadFile(std::string(kSampleDir) + name);
    ASSERT_FALSE(file.empty()) << name;
    ExpectMatchesGiflib(name, file);
  }
}

// The corpus made by a script (ImageMagick and giflib-tools) into a fresh folder.
TEST(GifConformance, ScriptCorpusMatchesGiflib) {
  const giftest::ScriptCorpus corpus;
  ASSERT_TRUE(corpus.Made());
  const auto files = corpus.Files();
  EXPECT_GE(files.size(), 21u);
  for (const auto& path : files) {
    const Bytes file = ReadFile(path.string());
    ExpectMatchesGiflib(path.filename().string(), file);
    ExpectMatchesGiflib(path.filename().string() + " in 1-byte blocks", giftest::Reblock(file, {1}));
  }
}

// Each extension of the giflib-tools layouts is read by the class of its label and identifier.
TEST(GifConformance, GiflibToolsExtensionsTakeTheirClasses) {
  const giftest::ScriptCorpus corpus("tools");
  ASSERT_TRUE(corpus.Made());
  struct Case {
    const char* file;
    int frame;
    std::vector<std::string> classes;
  };
  const Case cases[] = {
      {"tools-extensions.gif", 0, {"TGIFAppExtNSLoop"}},
      {"tools-extensions.gif", 1,
       {"TGIFCommentExtension", "TGIFTextExtension", "TGIFUnknownAppExtension", "TGIFUnknownAppExtension",
        "TGIFGraphicControlExtension"}},
      {"tools-extensions.gif", 2, {"TGIFCommentExtension"}},
      {"tools-animexts.gif", 0, {"TGIFAppExtNSLoop"}},
      {"tools-animexts.gif", 1, {"TGIFGraphicControlExtension"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.file) + " frame " + std::to_string(c.frame));
    auto loaded = giftest::Load(ReadFile(corpus.Path(c.file)));
    ASSERT_EQ(loaded.error, "");
    ASSERT_LT(c.frame, loaded.picture->GetImages()->GetCount());
    TGIFExtensionList* extensions = loaded.picture->GetImages()->GetFrame(c.frame)->GetExtensions();
    std::vector<std::string> classes;
    for (int i = 0; i < extensions->GetCount(); ++i) classes.push_back(extensions->GetExtension(i)->ClassName());
    EXPECT_EQ(classes, c.classes);
  }
  // The plain text's grid and colours, the application blocks' identifiers and sizes, the loops.
  auto loaded = giftest::Load(ReadFile(corpus.Path("tools-extensions.gif")));
  TGIFExtensionList* extensions = loaded.picture->GetImages()->GetFrame(1)->GetExtensions();
  auto* text = static_cast<TGIFTextExtension*>(extensions->GetExtension(1));
  EXPECT_EQ(std::vector<int>({text->Left, text->Top, text->GridWidth, text->GridHeight, text->CharWidth,
                              text->CharHeight, text->ForegroundColorIndex, text->BackgroundColorIndex}),
            std::vector<int>({0, 0, 8, 6, 4, 4, 1, 0}));
  EXPECT_EQ(text->GetText()->Get(0), "Hello");
  const auto identifier = [](TGIFExtension* extension) {
    const auto bytes = static_cast<TGIFApplicationExtension*>(extension)->GetIdentifier();
    const auto size = static_cast<TGIFApplicationExtension*>(extension)->GetBlockSize();
    return std::string(bytes.begin(), bytes.begin() + size);
  };
  EXPECT_EQ(identifier(extensions->GetExtension(2)), "SKINDATA01");
  EXPECT_EQ(identifier(extensions->GetExtension(3)), "SKINDATA1.0");
  auto animexts = giftest::Load(ReadFile(corpus.Path("tools-animexts.gif")));
  auto* loop = static_cast<TGIFAppExtNSLoop*>(animexts.picture->GetImages()->GetFrame(0)->GetExtensions()->GetExtension(0));
  EXPECT_EQ(identifier(loop), "ANIMEXTS1.0");
  EXPECT_EQ(loop->Loops, 3);
}

// giflib refuses a frame of width 0; the codec gives it the screen's size with a warning, and the
// frames after it read as giflib reads the same file without it.
TEST(GifConformance, ZeroWidthFrameTakesTheScreenAndLeavesTheNextFrameIntact) {
  const giftest::ScriptCorpus corpus("tools");
  ASSERT_TRUE(corpus.Made());
  const Bytes file = ReadFile(corpus.Path("refused/zero-width-frame.gif"));
  EXPECT_FALSE(giftest::GiflibRead(file).has_value());
  const auto without = giftest::GiflibRead(ReadFile(corpus.Path("refused/zero-width-frame-dropped.gif")));
  ASSERT_TRUE(without.has_value());
  ASSERT_EQ(without->frames.size(), 1u);
  auto loaded = giftest::Load(file);
  ASSERT_EQ(loaded.error, "");
  EXPECT_EQ(loaded.warnings, std::vector<std::string>({"Image exceeds Logical Screen size"}));
  ASSERT_EQ(loaded.picture->GetImages()->GetCount(), 2);
  TGIFSubImage* zero = loaded.picture->GetImages()->GetFrame(0);
  EXPECT_EQ(std::make_pair(zero->GetWidth(), zero->GetHeight()), std::make_pair(4, 3));
  TGIFSubImage* next = loaded.picture->GetImages()->GetFrame(1);
  const giftest::GiflibFrame& expected = without->frames[0];
  EXPECT_EQ(std::vector<int>({next->GetLeft(), next->GetTop(), next->GetWidth(), next->GetHeight()}),
            std::vector<int>({expected.left, expected.top, expected.width, expected.height}));
  EXPECT_TRUE(next->GetData() == expected.pixels);
}

// Saved with either encoder, a file reads back in giflib and in the codec as giflib reads the
// original: frames, bounds, interlace, tables, graphic control fields, loop count, comments and
// every extension byte for byte.
void ExpectSavedMatches(const std::string& name, const Bytes& file) {
  const auto ref = giftest::GiflibRead(file);
  ASSERT_TRUE(ref.has_value()) << name;
  for (std::uint8_t compression : {0, 1}) {
    SCOPED_TRACE(name + (compression == 1 ? " saved run-length coded" : " saved with LZW"));
    auto loaded = giftest::Load(file);
    ASSERT_EQ(loaded.error, "");
    loaded.picture->SetCompression(compression);
    const Bytes saved = giftest::Save(*loaded.picture);
    const auto ours = giftest::GiflibRead(saved);
    ASSERT_TRUE(ours.has_value());
    EXPECT_EQ(ours->global, ref->global);
    EXPECT_EQ(ours->background, ref->background);
    EXPECT_EQ(ours->loops, ref->loops);
    EXPECT_EQ(ours->trailing_extensions, ref->trailing_extensions);
    ASSERT_EQ(ours->frames.size(), ref->frames.size());
    for (std::size_t i = 0; i < ref->frames.size(); ++i) {
      const giftest::GiflibFrame& a = ours->frames[i];
      const giftest::GiflibFrame& b = ref->frames[i];
      EXPECT_TRUE(a.left == b.left && a.top == b.top && a.width == b.width && a.height == b.height) << i;
      EXPECT_EQ(a.interlace, b.interlace) << i;
      EXPECT_EQ(a.local, b.local) << i;
      EXPECT_TRUE(a.pixels == b.pixels) << i;
      EXPECT_EQ(a.has_control, b.has_control) << i;
      EXPECT_EQ(a.transparent, b.transparent) << i;
      EXPECT_EQ(a.disposal, b.disposal) << i;
      EXPECT_EQ(a.delay, b.delay) << i;
      EXPECT_EQ(a.user_input, b.user_input) << i;
      EXPECT_EQ(a.comments, b.comments) << i;
      EXPECT_EQ(a.extensions, b.extensions) << i;
    }
    auto reloaded = giftest::Load(saved);
    ASSERT_EQ(reloaded.error, "");
    EXPECT_TRUE(reloaded.warnings.empty());
    EXPECT_EQ(giftest::CompareFrames(*ref, *reloaded.picture), "");
  }
}

TEST(GifConformance, WrittenFilesReadBackThroughGiflib) {
  for (const CorpusFile& file : GiflibCorpus()) ExpectSavedMatches(file.name, file.bytes);
  for (const char* name : {"snake.gif", "seq2gif.gif"})
    ExpectSavedMatches(name, ReadFile(std::string(kSampleDir) + name));
}

TEST(GifConformance, WrittenScriptCorpusReadsBackThroughGiflib) {
  const giftest::ScriptCorpus corpus;
  ASSERT_TRUE(corpus.Made());
  for (const auto& path : corpus.Files()) ExpectSavedMatches(path.filename().string(), ReadFile(path.string()));
}

}  // namespace
}  // namespace dashtune
