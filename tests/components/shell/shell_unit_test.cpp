// The shell unit's start and end: special folders with and without the XDG user folders, the
// order of the end, and the stop when shell32 lacks an item-list test.
#include "components/shell/shell_utilities.h"
#include "platform/com/com_init.h"
#include "platform/core/modules.h"
#include "platform/core/strings.h"
#include "platform/shell/shell.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace dashtune {
namespace {

namespace fs = std::filesystem;
using namespace shell;

class ShellUnitTest : public ::testing::Test {
 protected:
  void TearDown() override {
    fs::remove(fs::path(getenv("XDG_CONFIG_HOME")) / "user-dirs.dirs");
    fs::remove_all(fs::path(getenv("HOME")) / "Desktop");
    fs::remove_all(fs::path(getenv("HOME")) / "Schreibtisch");
    Restart();
  }
  static void Restart() {
    ShellUnitFinalization();
    ShellUnitInitialization();
  }
};

TEST_F(ShellUnitTest, FoldersTheSystemHasAndHasNot) {
  Restart();
  EXPECT_NE(PIDLMgr, nullptr);
  ASSERT_NE(DesktopFolder, nullptr);
  EXPECT_TRUE(DesktopFolder->IsDesktop());
  ASSERT_NE(RecycleBinFolder, nullptr);
  EXPECT_TRUE(RecycleBinFolder->IsRecycleBin());
  ASSERT_NE(DrivesFolder, nullptr);
  EXPECT_TRUE(DrivesFolder->IsMyComputer());
  EXPECT_EQ(DrivesFolder->NameNormal(), u"Computer");
  ASSERT_NE(AppDataFolder, nullptr);
  EXPECT_EQ(AppDataFolder->NameForParsing(), win::Utf8ToUtf16(getenv("XDG_CONFIG_HOME")));
  for (TNamespace* missing : {PrinterFolder, HistoryFolder, ControlPanelFolder, NetworkNeighborHoodFolder, FavoritesFolder})
    EXPECT_EQ(missing, nullptr);
  // No desktop folder in this home: only that global is nil, and the desktop item answers
  // neutral values where it would have asked it.
  EXPECT_EQ(PhysicalDesktopFolder, nullptr);
  EXPECT_EQ(DesktopFolder->NameForParsing(), u"");
  EXPECT_FALSE(DesktopFolder->IsControlPanel());
}

TEST_F(ShellUnitTest, UserDirsAreReadAtEachStart) {
  const fs::path home = getenv("HOME");
  fs::create_directories(home / "Schreibtisch");
  fs::create_directories(home / "Vorlagen");
  std::ofstream(fs::path(getenv("XDG_CONFIG_HOME")) / "user-dirs.dirs")
      << "XDG_DESKTOP_DIR=\"$HOME/Schreibtisch\"\nXDG_TEMPLATES_DIR=\"$HOME/Vorlagen\"\n";
  Restart();
  ASSERT_NE(PhysicalDesktopFolder, nullptr);
  EXPECT_EQ(PhysicalDesktopFolder->NameForParsing(), win::Utf8ToUtf16((home / "Schreibtisch").string()));
  EXPECT_EQ(DesktopFolder->NameForParsing(), win::Utf8ToUtf16((home / "Schreibtisch").string()));
  ASSERT_NE(TemplatesFolder, nullptr);
  EXPECT_EQ(MyDocumentsFolder, nullptr);
  fs::remove_all(home / "Vorlagen");
}

TEST_F(ShellUnitTest, EndFreesEverythingAndUninitialisesCom) {
  const win::ULONG com_count = win::ComInitializeCount();
  ShellUnitFinalization();
  EXPECT_EQ(PIDLMgr, nullptr);
  EXPECT_EQ(DesktopFolder, nullptr);
  EXPECT_EQ(AppDataFolder, nullptr);
  EXPECT_EQ(win::ComInitializeCount(), com_count - 1);
  ShellUnitFinalization();  // a second end does nothing
  EXPECT_EQ(win::ComInitializeCount(), com_count - 1);
  ShellUnitInitialization();
  ShellUnitInitialization();  // a second start does nothing
  EXPECT_EQ(win::ComInitializeCount(), com_count);
}

TEST(ShellUnitDeathTest, MissingItemListTestStopsTheStart) {
  EXPECT_EXIT(
      {
        ShellUnitFinalization();
        win::SetModuleExportHiddenForTesting("shell32.dll", win::kShellExportIsParent, true);
        ShellUnitInitialization();
      },
      ::testing::ExitedWithCode(3), "shell32 lacks the item-list tests");
}

}  // namespace
}  // namespace dashtune
