// The link file reader: the key file rules (a group or key given twice is refused), the Exec
// line's quoting and field codes, localised names, the Dashtune keys, broken files.
#include "platform/shell/desktop_entry.h"

#include <gtest/gtest.h>

#include "fuzz_budget.h"

#include <random>

namespace win::desktop_entry {
namespace {

using Strings = std::vector<std::string>;

std::optional<LinkData> ParseText(const std::string& text, std::string* error = nullptr) {
  std::string ignored;
  return Parse(text, "/links/run.desktop", error != nullptr ? *error : ignored);
}

TEST(DesktopEntryTest, ApplicationLinkGivesProgramArgumentsAndKeys) {
  const std::optional<LinkData> link = ParseText(
      "[Desktop Entry]\nType=Application\nName=Edit\nExec=sh -c \"echo hi\" %F --x=%%\nComment=Says hi\n"
      "Path=/tmp\nIcon=accessories-text-editor\nX-Dashtune-IconIndex=3\nX-Dashtune-HotKey=0x0674\n"
      "X-Dashtune-ShowCommand=7\n");
  ASSERT_TRUE(link);
  EXPECT_EQ(link->kind, LinkKind::Application);
  EXPECT_TRUE(link->target.ends_with("/sh")) << link->target;
  EXPECT_EQ(link->argv, (Strings{"-c", "echo hi", "--x=%"}));
  EXPECT_EQ(link->arguments, "-c \"echo hi\" --x=%");
  EXPECT_EQ(link->description, "Says hi");
  EXPECT_EQ(link->working_directory, "/tmp");
  EXPECT_EQ(link->icon_location, "accessories-text-editor");
  EXPECT_EQ(link->icon_index, 3);
  EXPECT_EQ(link->hot_key, 0x0674);
  EXPECT_EQ(link->show_command, 7);
}

// Each Exec line as written in the file, and the arguments after the program it must give.
TEST(DesktopEntryTest, ExecLinesKeepTheirArgumentVector) {
  struct Case {
    const char* exec;
    Strings argv;
  };
  const Case cases[] = {
      {R"(one "#two" three)", {"one", "#two", "three"}},
      {R"("a\nb")", {"a\nb"}},
      {R"("it's")", {"it's"}},
      {R"("C:\\\\dir")", {"C:\\dir"}},
      {R"("\\$HOME" "say \"hi\"" "\\`x\\`")", {"$HOME", "say \"hi\"", "`x`"}},
      {R"("  spaced  "   "")", {"  spaced  ", ""}},
      {R"(a\sb)", {"a", "b"}},
      {R"(--name=%c %i %k "100%%" %d %m)", {"--name=Run Me", "--icon", "run-icon", "/links/run.desktop", "100%"}},
      {R"(%f --x=%d %D)", {"--x="}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.exec);
    std::string error;
    const std::optional<LinkData> link = ParseText(
        std::string("[Desktop Entry]\nType=Application\nName=Run Me\nIcon=run-icon\nExec=/bin/prog ") + c.exec + "\n", &error);
    ASSERT_TRUE(link) << error;
    EXPECT_EQ(link->target, "/bin/prog");
    EXPECT_EQ(link->argv, c.argv);
  }
}

TEST(DesktopEntryTest, FieldCodesTakeTheValuesGiven) {
  struct Case {
    const char* exec;
    Strings argv;
  };
  const FieldValues values{{"/a b/one", "/two"}, {"file:///a%20b/one", "file:///two"}, "Viewer", "", "/apps/v.desktop"};
  const Case cases[] = {
      {"v %f", {"v", "/a b/one"}},
      {"v %F", {"v", "/a b/one", "/two"}},
      {"v --open=%u", {"v", "--open=file:///a%20b/one"}},
      {"v %U", {"v", "file:///a%20b/one", "file:///two"}},
      {"v %i --title=%c", {"v", "--title=Viewer"}},
  };
  for (const Case& c : cases) {
    std::string error;
    EXPECT_EQ(ExpandExec(c.exec, values, error).value_or(Strings{"failed: " + error}), c.argv) << c.exec;
  }
}

TEST(DesktopEntryTest, InvalidExecLinesAreRefusedSayingWhy) {
  struct Case {
    const char* exec;
    const char* error;
  };
  const Case cases[] = {
      {"prog %x", "unknown field code %x"},
      {"prog 50%", "a lone '%' ends an argument (a literal one is written \"%%\")"},
      {"prog --x=%F", "the field code %F must stand alone as an argument"},
      {"prog a%ib", "the field code %i must stand alone as an argument"},
      {"prog %f %u", "more than one of the field codes %f, %F, %u, %U"},
      {"prog a|b", "'|' must be quoted"},
      {"prog it's", "''' must be quoted"},
      {"prog ~/x", "'~' must be quoted"},
      {"prog a\tb", "a tab must be quoted"},
      {"prog \"open", "a quoted argument is not closed"},
      {"prog \"a\"b", "an argument must be quoted in whole"},
      {"prog \"a\\x\"", "a backslash inside quotes may only precede '\"', '`', '$' or '\\'"},
      {"prog \"$HOME\"", "'$' inside quotes must be escaped with a backslash"},
      {"A=b prog", "the program's name holds '='"},
      {"bin/prog", "the program \"bin/prog\" is neither a plain name nor a full path"},
      {"%f", "it names no program"},
      {"   ", "it names no program"},
  };
  for (const Case& c : cases) {
    std::string error;
    EXPECT_FALSE(ExpandExec(c.exec, FieldValues{}, error)) << c.exec;
    EXPECT_EQ(error, c.error) << c.exec;
  }
}

TEST(DesktopEntryTest, KeyFilesWithRepeatsOrBrokenLinesAreRefusedSayingWhy) {
  using namespace std::string_literals;
  struct Case {
    std::string text;
    const char* error;
  };
  const Case cases[] = {
      {"[Desktop Entry]\nType=Link\nURL=x\n\n[Desktop Entry]\nName=again\n", "line 5: the group [Desktop Entry] appears twice"},
      {"[Desktop Entry]\nType=Link\nURL=x\nType=Application\n", "line 4: the key Type appears twice in [Desktop Entry]"},
      {"[Desktop Entry]\nType=Link\nURL=x\nName[de]=a\nName[de] = b\n", "line 5: the key Name[de] appears twice in [Desktop Entry]"},
      {"# comment\nType=Link\n[Desktop Entry]\n", "line 2: a key before the first group"},
      {"[Desktop Entry]\nType=Link\nnot an entry\n", "line 3: neither a group, a key nor a comment"},
      {"[Desktop Entry\nType=Link\n", "line 1: invalid group header"},
      {"[Desktop Entry]\nTy pe=Link\n", "line 2: invalid key \"Ty pe\""},
      {"[Desktop Entry]\nName[=x\n", "line 2: invalid key \"Name[\""},
      {"[Desktop Entry]\nType=Link\nURL=\xff\n", "the file is not UTF-8 text"},
      {"[Desktop Entry]\nType=Link\nURL=a\0b\n"s, "the file is not UTF-8 text"},
      {"[Other]\nType=Link\nURL=x\n", "the file has no [Desktop Entry] group"},
      {"[Desktop Entry]\nType=Directory\n", "the type \"Directory\" is neither Link nor Application"},
      {"[Desktop Entry]\nName=x\n", "the entry has no Type"},
      {"[Desktop Entry]\nType=Link\n", "a link has no URL"},
      {"[Desktop Entry]\nType=Application\n", "an application link has no Exec line"},
      {"[Desktop Entry]\nType=Application\nExec=prog %q\n", "Exec line: unknown field code %q"},
  };
  for (const Case& c : cases) {
    std::string error;
    EXPECT_FALSE(ParseText(c.text, &error));
    EXPECT_EQ(error, c.error) << c.text;
  }
  // The same key in two groups, comments, blank lines and Windows line ends are fine.
  const std::optional<LinkData> fine =
      ParseText("# a link\r\n\r\n[Desktop Entry]\r\nType=Link\r\nURL=https://x/\r\n[Extra]\r\nType=other\r\n");
  ASSERT_TRUE(fine);
  EXPECT_EQ(fine->target, "https://x/");
}

TEST(DesktopEntryTest, NameFieldCodeFollowsTheUsersLanguage) {
  const std::string text =
      "[Desktop Entry]\nType=Application\nName=Run\nName[de]=Starten\nName[de_AT]=Los\nName[sr@latin]=Pokreni\n"
      "Exec=/bin/prog %c\n";
  const char* saved = std::getenv("LC_ALL");
  const std::string previous = saved != nullptr ? saved : "";
  struct Case {
    const char* locale;
    const char* name;
  };
  for (const Case& c : {Case{"de_AT.UTF-8", "Los"}, Case{"de_DE.UTF-8", "Starten"}, Case{"sr_RS@latin", "Pokreni"},
                        Case{"fr_FR", "Run"}, Case{"C", "Run"}}) {
    setenv("LC_ALL", c.locale, 1);
    const std::optional<LinkData> link = ParseText(text);
    ASSERT_TRUE(link);
    EXPECT_EQ(link->argv, Strings{c.name}) << c.locale;
  }
  if (saved != nullptr) setenv("LC_ALL", previous.c_str(), 1);
  else unsetenv("LC_ALL");
}

TEST(DesktopEntryTest, UrlLinksAndDefaults) {
  const std::optional<LinkData> file = ParseText("[Desktop Entry]\nType=Link\nURL=file:///home/u/a%20b\n");
  ASSERT_TRUE(file);
  EXPECT_EQ(file->kind, LinkKind::Link);
  EXPECT_EQ(file->target, "/home/u/a b");
  EXPECT_TRUE(file->argv.empty());
  EXPECT_EQ(file->show_command, 1);
  EXPECT_EQ(file->hot_key, 0);
  const std::optional<LinkData> web = ParseText("[Desktop Entry]\nType=Link\nURL=https://example.org/\n");
  ASSERT_TRUE(web);
  EXPECT_EQ(web->target, "https://example.org/");
  EXPECT_EQ(ParseText("[Desktop Entry]\nType=Link\nURL=x\nX-Dashtune-HotKey=70000\n")->hot_key, 0);
  EXPECT_EQ(ParseText("[Desktop Entry]\nType=Link\nURL=x\nX-Dashtune-ShowCommand=-1\n")->show_command, 1);
}

TEST(DesktopEntryTest, FuzzedFilesNeverBreakTheReader) {
  std::mt19937 random(win::testing::FuzzSeed(11));
  const std::string seed =
      "[Desktop Entry]\nType=Application\nExec=prog --a %f \"q r\"\nComment=c\nX-Dashtune-HotKey=0x0674\n";
  int parsed = 0;
  const std::uint64_t rounds = win::testing::FuzzIterations(5000);
  for (std::uint64_t round = 0; round < rounds; ++round) {
    std::string text = seed;
    for (int e = 0; e < 1 + static_cast<int>(random() % 4); ++e) {
      const std::size_t at = random() % (text.size() + 1);
      if (random() % 2 == 0 && at < text.size()) text.erase(at, 1 + random() % 4);
      else text.insert(at, 1, "[]=%\"\\\n;\xff"[random() % 10]);
    }
    std::string error;
    if (const std::optional<LinkData> link = ParseText(text, &error)) {
      ++parsed;
      EXPECT_FALSE(link->target.empty());
    } else {
      EXPECT_FALSE(error.empty()) << text;
    }
  }
  EXPECT_GT(parsed, 0);
}

}  // namespace
}  // namespace win::desktop_entry
