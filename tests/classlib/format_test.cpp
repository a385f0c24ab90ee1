// Format and number texts: golden cases, the log line layout, separators, argument errors, hex padding.
#include <gtest/gtest.h>

#include <climits>
#include <cstdint>

#include "classlib/sysutils.h"

namespace dashtune {
namespace {

struct FormatCase {
  const char* format;
  std::vector<TVarRec> args;
  const char* expected;
};

std::string FormatCaseText(const FormatCase& c) { return Format(c.format, std::span<const TVarRec>(c.args)); }

TEST(FormatTest, GoldenCases) {
  const auto* pointer = reinterpret_cast<const void*>(static_cast<std::uintptr_t>(0xABC123));
  const FormatCase cases[] = {
      {"plain text", {}, "plain text"},
      {"%d%%", {42}, "42%"},
      {"%d", {-17}, "-17"},
      {"%d", {INT64_MIN}, "-9223372036854775808"},
      {"[%5d]", {42}, "[   42]"},
      {"[%-5d]", {42}, "[42   ]"},
      {"%07.7d", {12345}, "0012345"},
      {"%07.7d", {-12345}, "-0012345"},
      {"%.3d", {7}, "007"},
      {"%x", {255}, "FF"},
      {"%X", {0xBEEF}, "BEEF"},
      {"%x", {-1}, "FFFFFFFF"},
      {"%x", {std::int64_t{-1}}, "FFFFFFFFFFFFFFFF"},
      {"%08.8x", {0x1F}, "0000001F"},
      {"%08.8x", {0x123456789}, "123456789"},
      {"%s", {"abc"}, "abc"},
      {"%s", {'c'}, "c"},
      {"[%8s]", {"ab"}, "[      ab]"},
      {"[%-8s]", {"ab"}, "[ab      ]"},
      {"[%-12s]", {"status"}, "[status      ]"},
      {"[%8s]", {"longer than eight"}, "[longer than eight]"},
      {"%.2s", {"abc"}, "ab"},
      {"%p", {pointer}, "0000000000ABC123"},
      {"%0.0n", {1234567.0}, "1,234,567"},
      {"%0.0n", {999.5}, "1,000"},
      {"%0.0n", {std::int64_t{123}}, "123"},
      {"%0.0n", {-1234.4}, "-1,234"},
      {"%0.0n", {-0.4}, "0"},
      {"%0.0n KB", {4096.0 / 1024}, "4 KB"},
      {"%n", {1234.5}, "1,234.50"},
      {"%.1n", {0.25}, "0.3"},
      {"FilterGraph %p pid %x", {nullptr, 0x4D2}, "FilterGraph 0000000000000000 pid 4D2"},
      {"Value %d out of range. Value must bee between 0 -> 99", {-1},
       "Value -1 out of range. Value must bee between 0 -> 99"},
  };
  for (const FormatCase& c : cases) EXPECT_EQ(FormatCaseText(c), c.expected) << c.format;
}

TEST(FormatTest, LogLineLayout) {
  EXPECT_EQ(Format("%8s  %-8s  %-12s  %08.8x  ", {"0001.234", "Kind", "Code", 0xA5}),
            "0001.234  Kind      Code          000000A5  ");
}

TEST(FormatTest, ThousandSeparatorFollowsSettings) {
  TFormatSettings saved = FormatSettings();
  FormatSettings().ThousandSeparator = '.';
  FormatSettings().DecimalSeparator = ',';
  std::string text = Format("%n", {1234567.891});
  FormatSettings() = saved;
  EXPECT_EQ(text, "1.234.567,89");
}

TEST(FormatTest, MismatchAndMissingArgumentsRaiseConvertError) {
  const FormatCase bad[] = {
      {"%d", {"text"}, "Format '%d' ungültig oder nicht kompatibel mit Argument"},
      {"%s", {12}, "Format '%s' ungültig oder nicht kompatibel mit Argument"},
      {"%x", {1.5}, "Format '%x' ungültig oder nicht kompatibel mit Argument"},
      {"%p", {3}, "Format '%p' ungültig oder nicht kompatibel mit Argument"},
      {"%q", {3}, "Format '%q' ungültig oder nicht kompatibel mit Argument"},
      {"trailing %", {}, "Format 'trailing %' ungültig oder nicht kompatibel mit Argument"},
      {"%99999999d", {1}, "Format '%99999999d' ungültig oder nicht kompatibel mit Argument"},
      {"%d and %d", {1}, "Kein Argument für Format '%d and %d'"},
  };
  for (const FormatCase& c : bad) {
    try {
      FormatCaseText(c);
      ADD_FAILURE() << "no exception for " << c.format;
    } catch (const EConvertError& e) {
      EXPECT_EQ(e.GetMessage(), c.expected);
    }
  }
}

TEST(FormatTest, ExceptionFormatsItsMessage) {
  Exception e("Value %d out of range", {100});
  EXPECT_EQ(e.GetMessage(), "Value 100 out of range");
  EXPECT_STREQ(e.what(), "Value 100 out of range");
  EXPECT_EQ(EOutOfResources().GetMessage(), "Systemressourcen erschöpft.");
  EXPECT_EQ(EInOutError("Zugriff verweigert", 5).ErrorCode, 5);
}

TEST(FormatTest, IntToHexPads) {
  EXPECT_EQ(IntToHex(0xAB, 4), "00AB");
  EXPECT_EQ(IntToHex(0x12345, 2), "12345");
  EXPECT_EQ(IntToStr(-5), "-5");
}

}  // namespace
}  // namespace dashtune
