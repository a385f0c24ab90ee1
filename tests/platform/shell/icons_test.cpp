// The system image lists: theme lookup in Adwaita then hicolor, PNG decoding premultiplied as
// libpng gives it, and one index per icon.
#include "platform/com/com_init.h"
#include "platform/core/strings.h"
#include "platform/gdi/image_list.h"
#include "platform/shell/icon_theme.h"
#include "platform/shell/shell.h"
#include "dib_canvas.h"

#include <gtest/gtest.h>
#include <png.h>

#include <filesystem>
#include <fstream>

namespace win {
namespace {

constexpr const char* kAdwaitaFolder16 = "/usr/share/icons/Adwaita/16x16/places/folder.png";

// libpng's straight (not premultiplied) decode of the 16-pixel folder icon in `format`.
std::vector<std::uint8_t> LibpngFolder16(png_uint_32 format) {
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_file(&image, kAdwaitaFolder16)) return {};
  image.format = format;
  std::vector<std::uint8_t> pixels(PNG_IMAGE_SIZE(image));
  if (!png_image_finish_read(&image, nullptr, pixels.data(), 0, nullptr) || image.width != 16 || image.height != 16) {
    return {};
  }
  return pixels;
}

TEST(SystemIconsTest, FolderIconComesFromAdwaitaAtExactSizes) {
  EXPECT_EQ(icon_theme::FindIcon({"folder"}, 16), kAdwaitaFolder16);
  EXPECT_EQ(icon_theme::FindIcon({"folder"}, 32), "/usr/share/icons/Adwaita/32x32/places/folder.png");
  EXPECT_EQ(icon_theme::FindIcon({"no-such-icon-anywhere"}, 16), "");
  EXPECT_EQ(icon_theme::FindIcon({"../../etc/passwd"}, 16), "");
}

TEST(SystemIconsTest, DecodingIsLibpngsPremultiplied) {
  icon_theme::Pixels pixels;
  ASSERT_TRUE(icon_theme::DecodePng(kAdwaitaFolder16, pixels));
  const std::vector<std::uint8_t> peer = LibpngFolder16(PNG_FORMAT_BGRA);
  ASSERT_EQ(pixels.width, 16);
  ASSERT_EQ(pixels.bgra.size(), peer.size());
  for (std::size_t i = 0; i < peer.size(); i += 4) {
    const unsigned alpha = peer[i + 3];
    ASSERT_EQ(pixels.bgra[i + 3], alpha) << i;
    for (std::size_t c = 0; c < 3; ++c) ASSERT_NEAR(pixels.bgra[i + c], peer[i + c] * alpha / 255.0, 0.5 + 1e-9) << i;
  }
}

TEST(SystemIconsTest, BrokenPngFilesAreRefused) {
  const std::string path = std::string(getenv("HOME")) + "/broken.png";
  std::ofstream(path, std::ios::binary) << "\x89PNG\r\n\x1a\n garbage";
  icon_theme::Pixels pixels;
  EXPECT_FALSE(icon_theme::DecodePng(path, pixels));
  EXPECT_FALSE(icon_theme::DecodePng("/nonexistent.png", pixels));
}

TEST(SystemIconsTest, OneIndexPerIconInBothLists) {
  ASSERT_TRUE(FileIconInit(TRUE));
  HIMAGELIST large = nullptr;
  HIMAGELIST small = nullptr;
  ASSERT_TRUE(Shell_GetImageLists(&large, &small));
  const std::filesystem::path home = getenv("HOME");
  std::filesystem::create_directories(home / "icons-a");
  std::filesystem::create_directories(home / "icons-b");
  LPITEMIDLIST a = nullptr;
  LPITEMIDLIST b = nullptr;
  ComPtr<IShellFolder> desktop;
  ASSERT_EQ(SHGetDesktopFolder(desktop.GetAddressOf()), S_OK);
  std::u16string name_a = Utf8ToUtf16((home / "icons-a").string());
  std::u16string name_b = Utf8ToUtf16((home / "icons-b").string());
  ASSERT_EQ(desktop->ParseDisplayName(nullptr, nullptr, name_a.data(), nullptr, &a, nullptr), S_OK);
  ASSERT_EQ(desktop->ParseDisplayName(nullptr, nullptr, name_b.data(), nullptr, &b, nullptr), S_OK);
  const int folder_index = SystemIconIndexOf(a, false);
  EXPECT_GT(folder_index, 0);
  EXPECT_EQ(SystemIconIndexOf(b, false), folder_index);
  EXPECT_NE(SystemIconIndexOf(a, true), folder_index);
  EXPECT_EQ(ImageList_GetImageCount(small), ImageList_GetImageCount(large));
  SHFILEINFOW info;
  EXPECT_EQ(SHGetFileInfoW(reinterpret_cast<LPCWSTR>(a), 0, &info, sizeof(info), SHGFI_PIDL | SHGFI_SYSICONINDEX | SHGFI_SMALLICON),
            reinterpret_cast<DWORD_PTR>(small));
  EXPECT_EQ(info.iIcon, folder_index);
  CoTaskMemFree(a);
  CoTaskMemFree(b);
}

// What the list view shows: the folder icon drawn from the small system list over white equals
// libpng's straight RGBA of the theme file composed over white.
TEST(SystemIconsTest, FolderIconDrawsOverWhiteAsLibpngComposesIt) {
  ASSERT_TRUE(FileIconInit(TRUE));
  HIMAGELIST large = nullptr;
  HIMAGELIST small = nullptr;
  ASSERT_TRUE(Shell_GetImageLists(&large, &small));
  const std::filesystem::path folder = std::filesystem::path(getenv("HOME")) / "drawn-folder";
  std::filesystem::create_directories(folder);
  ComPtr<IShellFolder> desktop;
  ASSERT_EQ(SHGetDesktopFolder(desktop.GetAddressOf()), S_OK);
  std::u16string name = Utf8ToUtf16(folder.string());
  LPITEMIDLIST id = nullptr;
  ASSERT_EQ(desktop->ParseDisplayName(nullptr, nullptr, name.data(), nullptr, &id, nullptr), S_OK);
  const int index = SystemIconIndexOf(id, false);
  CoTaskMemFree(id);
  ASSERT_GT(index, 0);

  const std::vector<std::uint8_t> rgba = LibpngFolder16(PNG_FORMAT_RGBA);
  ASSERT_EQ(rgba.size(), 16u * 16u * 4u);

  dashtune::testing::DibCanvas canvas(16, 16);
  canvas.Fill(0xFFFFFF);
  ASSERT_TRUE(ImageList_Draw(small, index, canvas.dc(), 0, 0, ILD_NORMAL));
  int covered = 0;
  for (int y = 0; y < 16; ++y) {
    for (int x = 0; x < 16; ++x) {
      const std::uint8_t* peer = &rgba[(y * 16 + x) * 4];
      const double alpha = peer[3] / 255.0;
      covered += peer[3] != 0;
      const std::uint32_t drawn = canvas.At(x, y);
      const int channels[3] = {static_cast<int>(drawn >> 16 & 0xFF), static_cast<int>(drawn >> 8 & 0xFF),
                               static_cast<int>(drawn & 0xFF)};
      for (int c = 0; c < 3; ++c) {
        const double expected = peer[c] * alpha + 255.0 * (1.0 - alpha);
        ASSERT_NEAR(channels[c], expected, 1.0 + 1e-9) << "x " << x << " y " << y << " channel " << c;
      }
    }
  }
  EXPECT_GT(covered, 64);  // the icon is really there, not a blank cell
}

}  // namespace
}  // namespace win
