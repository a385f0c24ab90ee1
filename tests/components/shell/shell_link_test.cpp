// TShellLink reading ".desktop" links: hot keys, show commands, broken files, and that reading
// never changes the file.
#include "components/shell/shell_link.h"
#include "platform/core/strings.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <sstream>

namespace dashtune {
namespace {

namespace fs = std::filesystem;

fs::path WriteLink(const std::string& name, const std::string& body) {
  const fs::path path = fs::path(getenv("HOME")) / name;
  std::ofstream(path, std::ios::binary) << "[Desktop Entry]\n" << body;
  return path;
}

std::string Contents(const fs::path& path) {
  std::ifstream file(path, std::ios::binary);
  std::stringstream text;
  text << file.rdbuf();
  return text.str();
}

TEST(TShellLinkTest, HotKeyAndShowCommand) {
  const fs::path path = WriteLink("hot.desktop",
                                  "Type=Application\nExec=sh -c true\nComment=Hot\nX-Dashtune-HotKey=0x0674\n"
                                  "X-Dashtune-ShowCommand=7\nIcon=utilities-terminal\nX-Dashtune-IconIndex=2\nPath=/tmp\n");
  TShellLink link;
  link.ReadLink(win::Utf8ToUtf16(path.string()));
  EXPECT_EQ(link.GetFileName(), win::Utf8ToUtf16(path.string()));
  EXPECT_EQ(link.GetHotKey(), 0x74);
  EXPECT_EQ(link.GetHotKeyModifiers(), (THotKeyModifiers{THotKeyModifier::hkmAlt, THotKeyModifier::hkmControl}));
  EXPECT_EQ(link.GetShowCmd(), TShowCmd::swShowMinNoActive);
  EXPECT_EQ(link.GetDescription(), u"Hot");
  EXPECT_EQ(link.GetArguments(), u"-c true");
  EXPECT_EQ(link.GetWorkingDirectory(), u"/tmp");
  EXPECT_EQ(link.GetIconLocation(), u"utilities-terminal");
  EXPECT_EQ(link.GetIconIndex(), 2);
  EXPECT_TRUE(link.GetTargetPath().ends_with(u"/sh"));
  EXPECT_NE(link.GetTargetIDList(), nullptr);
}

TEST(TShellLinkTest, ShowCommandAboveTenKeepsThePreviousValue) {
  TShellLink link;
  link.ReadLink(win::Utf8ToUtf16(WriteLink("seven.desktop", "Type=Link\nURL=https://x/\nX-Dashtune-ShowCommand=3\n").string()));
  EXPECT_EQ(link.GetShowCmd(), TShowCmd::swMaximize);
  link.ReadLink(win::Utf8ToUtf16(WriteLink("eleven.desktop", "Type=Link\nURL=https://x/\nX-Dashtune-ShowCommand=11\n").string()));
  EXPECT_EQ(link.GetShowCmd(), TShowCmd::swMaximize);
  EXPECT_EQ(link.GetTargetPath(), u"https://x/");
  EXPECT_EQ(link.GetTargetIDList(), nullptr);
}

TEST(TShellLinkTest, BrokenOrMissingLinkClearsOnlyTheFileName) {
  TShellLink link;
  link.ReadLink(win::Utf8ToUtf16(WriteLink("good.desktop", "Type=Link\nURL=https://good/\nComment=kept\n").string()));
  link.ReadLink(win::Utf8ToUtf16(WriteLink("broken.desktop", "Type=Link\n").string()));
  EXPECT_EQ(link.GetFileName(), u"");
  EXPECT_EQ(link.GetDescription(), u"kept");
  link.ReadLink(u"/nonexistent/file.desktop");
  EXPECT_EQ(link.GetFileName(), u"");
}

TEST(TShellLinkTest, ReadingAReadOnlyLinkLeavesItUntouched) {
  const fs::path path = WriteLink("locked.desktop", "Type=Application\nExec=sh\nX-Dashtune-HotKey=1652\n");
  chmod(path.c_str(), 0444);
  const std::string before = Contents(path);
  const auto written = fs::last_write_time(path);
  TShellLink link;
  link.ReadLink(win::Utf8ToUtf16(path.string()));
  EXPECT_EQ(link.GetHotKey(), 0x74);
  EXPECT_EQ(Contents(path), before);
  EXPECT_EQ(fs::last_write_time(path), written);
  EXPECT_EQ(fs::status(path).permissions() & fs::perms::all, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
}

}  // namespace
}  // namespace dashtune
