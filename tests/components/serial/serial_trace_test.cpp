// The serial trace: byte forms in every mode and line wrapping.
#include "components/serial/serial_trace.h"

#include <gtest/gtest.h>

#include "components/serial/serial_errors.h"

namespace dashtune::serial {
namespace {

std::vector<TraceEntry> Entries(std::uint8_t kind, const std::string& bytes) {
  std::vector<TraceEntry> entries;
  for (char c : bytes) entries.push_back(TraceEntry{kind, static_cast<std::uint8_t>(c)});
  return entries;
}

struct ByteCase {
  std::uint8_t byte;
  bool allHex;
  bool hexUnprintable;
  const char* text;
};

TEST(SerialTrace, ByteFormsInEveryMode) {
  const ByteCase cases[] = {
      {'A', true, false, "[41]"}, {'A', false, false, "A"},   {'A', false, true, "A"},
      {' ', false, false, " "},   {' ', false, true, "[20]"}, {'~', false, false, "~"},
      {127, false, false, "[127]"}, {127, false, true, "[7F]"}, {0, false, false, "[0]"},
      {13, false, false, "[13]"}, {13, false, true, "[0D]"}, {0xFF, true, true, "[FF]"},
  };
  for (const ByteCase& c : cases) {
    EXPECT_EQ(FormatTraceByte(c.byte, c.allHex, c.hexUnprintable), c.text) << int(c.byte);
  }
}

TEST(SerialTrace, LinesChangeWithKindAndWrapPastColumn78) {
  std::vector<TraceEntry> entries = Entries('T', "AT\r");
  auto received = Entries('R', std::string(25, 'x'));
  entries.insert(entries.end(), received.begin(), received.end());
  entries.push_back(TraceEntry{'E', 1});
  std::vector<std::string> lines = FormatTraceLines(entries, true, false);
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_EQ(lines[0], "Transmit: [41][54][0D]");
  // 19 hexadecimal items fill 76 columns; the 20th would pass 78.
  std::string nineteen;
  for (int i = 0; i < 19; ++i) nineteen += "[78]";
  EXPECT_EQ(lines[1], "Receive: " + nineteen);
  EXPECT_EQ(lines[2], "[78][78][78][78][78][78]");
  EXPECT_EQ(lines[3], "Special-E: [01]");
}

TEST(SerialTrace, DecimalItemsCountTheirWidth) {
  // 26 items of "[0]" (3 columns) fill 78 columns; the 27th starts a new line.
  std::vector<std::string> lines = FormatTraceLines(Entries('R', std::string(27, '\0')), false, false);
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0].size(), std::string("Receive: ").size() + 78u);
  EXPECT_EQ(lines[1], "[0]");
}

TEST(SerialTrace, WrappedBufferIsWrittenFromItsOldestEntry) {
  TraceBuffer trace;
  ASSERT_EQ(trace.Start(4), kOK);
  for (char c : std::string("abcdef")) trace.Add('T', static_cast<std::uint8_t>(c));
  std::vector<std::string> lines = FormatTraceLines(trace.Entries(), false, false);
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0], "Transmit: cdef");
}

TEST(SerialTrace, CapacityLimits) {
  TraceBuffer trace;
  EXPECT_EQ(trace.Start(0), kErrBadArgument);
  EXPECT_EQ(trace.Start(-5), kErrBadArgument);
  EXPECT_EQ(trace.Start(kMaxTraceEntries + 1), kErrBadArgument);
  EXPECT_FALSE(trace.Active());
  EXPECT_EQ(trace.Start(1), kOK);
  EXPECT_TRUE(trace.Active());
}

TEST(SerialTrace, PauseStopsRecordingAndResumeNeedsABuffer) {
  TraceBuffer trace;
  trace.Resume();
  EXPECT_FALSE(trace.Active());
  trace.Start(10);
  trace.Add('T', 'a');
  trace.Pause();
  trace.Add('T', 'b');
  trace.Resume();
  trace.Add('T', 'c');
  std::vector<TraceEntry> entries = trace.Entries();
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_EQ(entries[1].Byte, 'c');
  trace.Stop();
  EXPECT_FALSE(trace.Exists());
  EXPECT_TRUE(trace.Entries().empty());
}

}  // namespace
}  // namespace dashtune::serial
