// Pictures of 65535 pixels a side: they load, draw clipped and save; 65536 is refused by the header.
#include <gtest/gtest.h>
#include <zlib.h>

#include <functional>

#include "png_test_support.h"

namespace dashtune {
namespace {

using pngtest::Bytes;

// The RGBA pixel the test images hold at (x, y): colours from the position, the last pixel
// fully transparent.
std::array<std::uint8_t, 4> PixelAt(std::uint32_t x, std::uint32_t y, std::uint32_t w, std::uint32_t h) {
  const std::uint8_t alpha = x == w - 1 && y == h - 1 ? 0 : 255;
  return {static_cast<std::uint8_t>(x), static_cast<std::uint8_t>(x >> 8), static_cast<std::uint8_t>(y), alpha};
}

// An RGBA file deflated row by row, so that no buffer of the whole image is needed.
Bytes LargeRgba(std::uint32_t w, std::uint32_t h) {
  z_stream zlib{};
  EXPECT_EQ(deflateInit(&zlib, 1), Z_OK);
  Bytes compressed, row(1 + std::size_t{w} * 4), out(1 << 16);
  const auto run = [&](int flush) {
    do {
      zlib.next_out = out.data();
      zlib.avail_out = static_cast<uInt>(out.size());
      deflate(&zlib, flush);
      compressed.insert(compressed.end(), out.data(), out.data() + (out.size() - zlib.avail_out));
    } while (zlib.avail_out == 0);
  };
  for (std::uint32_t x = 0; x < w; ++x) {
    const auto p = PixelAt(x, 0, w, h);
    std::copy(p.begin(), p.end(), row.begin() + 1 + std::size_t{x} * 4);
  }
  for (std::uint32_t y = 0; y < h; ++y) {
    // Only blue (the row) and the last pixel's alpha change from row to row.
    for (std::size_t i = 3; i < row.size(); i += 4) row[i] = static_cast<std::uint8_t>(y);
    row.back() = PixelAt(w - 1, y, w, h)[3];
    zlib.next_in = row.data();
    zlib.avail_in = static_cast<uInt>(row.size());
    run(Z_NO_FLUSH);
  }
  run(Z_FINISH);
  deflateEnd(&zlib);
  return pngtest::Concat(
      {pngtest::Signature(), pngtest::Ihdr(w, h, 8, 6), pngtest::Chunk("IDAT", compressed), pngtest::Iend()});
}

// The picture's bottom-right corner of up to 4 x 2 pixels drawn onto a background; answers the
// colours there, row by row.
std::vector<TColor> DrawnCorner(TPNGPicture& picture, TColor background) {
  const int cw = std::min(picture.GetWidth(), 4), ch = std::min(picture.GetHeight(), 2);
  auto target = pngtest::Background(cw, ch, background);
  target->GetCanvas()->Draw(cw - picture.GetWidth(), ch - picture.GetHeight(), &picture);
  std::vector<TColor> colours;
  for (int y = 0; y < ch; ++y)
    for (int x = 0; x < cw; ++x) colours.push_back(target->GetCanvas()->GetPixel(x, y));
  return colours;
}

std::vector<TColor> ExpectedCorner(std::uint32_t w, std::uint32_t h, TColor background) {
  const std::uint32_t cw = std::min<std::uint32_t>(w, 4), ch = std::min<std::uint32_t>(h, 2);
  std::vector<TColor> colours;
  for (std::uint32_t y = h - ch; y < h; ++y) {
    for (std::uint32_t x = w - cw; x < w; ++x) {
      const auto p = PixelAt(x, y, w, h);
      colours.push_back(p[3] == 0 ? background : static_cast<TColor>(p[0] | (p[1] << 8) | (p[2] << 16)));
    }
  }
  return colours;
}

TEST(PngLargePictures, SidesOf65535PixelsLoadDrawClippedAndSave) {
  for (const auto& [w, h] : {std::pair<std::uint32_t, std::uint32_t>{65535, 1}, {1, 65535}, {65535, 1024}}) {
    SCOPED_TRACE(std::to_string(w) + "x" + std::to_string(h));
    auto picture = pngtest::Load(LargeRgba(w, h));
    ASSERT_EQ(picture->GetWidth(), static_cast<int>(w));
    ASSERT_EQ(picture->GetHeight(), static_cast<int>(h));
    const TColor background = 0x445566;
    EXPECT_EQ(DrawnCorner(*picture, background), ExpectedCorner(w, h, background));
    picture->SetCompressionLevel(1);
    const Bytes saved = pngtest::Save(*picture);
    const auto chunks = pngtest::SplitChunks(saved);
    ASSERT_FALSE(chunks.empty());
    EXPECT_EQ(chunks.front().name, "IHDR");
    EXPECT_EQ(Bytes(chunks.front().data.begin(), chunks.front().data.begin() + 8),
              pngtest::Concat({pngtest::BigEndian(w), pngtest::BigEndian(h)}));
    if (std::size_t{w} * h > 65535) continue;  // the big one is read back by the header only
    auto reloaded = pngtest::Load(saved);
    EXPECT_EQ(DrawnCorner(*reloaded, background), ExpectedCorner(w, h, background));
  }
}

TEST(PngLargePictures, A65536PixelSideIsRefusedByTheHeader) {
  for (const auto& [w, h] : {std::pair<std::uint32_t, std::uint32_t>{65536, 1}, {1, 65536}}) {
    try {
      pngtest::Load(pngtest::Concat({pngtest::Signature(), pngtest::Ihdr(w, h, 8, 6),
                                     pngtest::Chunk("IDAT", pngtest::Deflate({0, 0, 0, 0, 0})), pngtest::Iend()}));
      ADD_FAILURE() << w << "x" << h << " loaded";
    } catch (const EPNGSizeExceeds& e) {
      EXPECT_EQ(e.what(), std::string(png::EPNGSizeExceedsText));
    }
  }
}

}  // namespace
}  // namespace dashtune
