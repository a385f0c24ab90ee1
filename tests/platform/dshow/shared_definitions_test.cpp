// The interfaces and constants that the shell, media graph and serial headers share: all three
// compile into one unit, and a shell folder and a media filter answer the one IPersist.
#include "media_fixtures.h"
#include "platform/comm/comm.h"
#include "platform/dshow/dshow.h"
#include "platform/dshow/media_objects.h"
#include "platform/shell/shell.h"
#include "platform/shell/shell_folder.h"
#include "platform/shell/shell_types.h"

#include <gtest/gtest.h>

#include <type_traits>

namespace {

using win::ComPtr;

static_assert(std::is_base_of_v<win::IPersist, win::IPersistFolder>);
static_assert(std::is_base_of_v<win::IPersist, win::IPersistFile>);
static_assert(std::is_base_of_v<win::IPersist, win::IMediaFilter>);
static_assert(std::is_base_of_v<win::IPersist, win::IBaseFilter>);
static_assert(win::IID_IPersist == win::MakeGuid("0000010C-0000-0000-C000-000000000046"));
static_assert(win::FILE_ATTRIBUTE_NORMAL == 0x80);

win::CLSID ClassOf(win::IUnknown* object) {
  ComPtr<win::IPersist> persist;
  EXPECT_EQ(object->QueryInterface(win::IID_IPersist, reinterpret_cast<void**>(persist.ReleaseAndGetAddressOf())),
            win::S_OK);
  win::CLSID class_id{};
  if (persist) {
    EXPECT_EQ(persist->GetClassID(&class_id), win::S_OK);
  }
  return class_id;
}

TEST(SharedDefinitions, AShellFolderAndAMediaFilterAnswerTheSameIPersist) {
  ComPtr<win::IShellFolder> desktop;
  ASSERT_EQ(win::SHGetDesktopFolder(desktop.ReleaseAndGetAddressOf()), win::S_OK);
  EXPECT_EQ(ClassOf(desktop.Get()), win::CLSID_ShellFSFolder);

  win::testing::PrepareGStreamer();
  win::RegisterMediaGraphClasses();
  ComPtr<win::IBaseFilter> renderer;
  ASSERT_EQ(win::CoCreateInstance(win::CLSID_VideoRenderer, nullptr, win::CLSCTX_INPROC_SERVER, win::IID_IBaseFilter,
                                  reinterpret_cast<void**>(renderer.ReleaseAndGetAddressOf())),
            win::S_OK);
  EXPECT_EQ(ClassOf(renderer.Get()), win::CLSID_VideoRenderer);
}

}  // namespace
