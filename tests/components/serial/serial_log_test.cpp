// The serial log: entry lines in every mode.
#include "components/serial/serial_log.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sstream>

#include "components/serial/serial_errors.h"
#include "components/serial/serial_trace.h"

namespace dashtune::serial {
namespace {

std::string FileText(const std::string& name) {
  std::ifstream file(name, std::ios::binary);
  std::stringstream text;
  text << file.rdbuf();
  return text.str();
}

TEST(SerialLog, EntryLinesInEveryMode) {
  struct Case {
    std::uint8_t kind;
    std::uint16_t code;
    win::DWORD time;
    win::DWORD value;
    std::string data;
    bool hex;
    const char* line;
  };
  const Case cases[] = {
      {1, 2, 1234, 3, "AT\r", true, "0001.234  Data      Sent          00000003  [41][54][0D]"},
      {1, 2, 1234, 3, "AT\r", false, "0001.234  Data      Sent          00000003  AT[13]"},
      {1, 1, 98765432, 0xABCDEF12, "", true, "98765.432  Data      Received      abcdef12  "},
      {2, 6, 5, 4, "", true, "0000.005  Trigger   (Output buffer used)  00000004  "},
      {2, 6, 5, 0, "", true, "0000.005  Trigger   (Not active)  00000000  "},
      {5, 15, 0, 0, "Dispatch buffer full.", false, "0000.000  Dispatch  Buffer full   00000000  Dispatch buffer full."},
  };
  for (const Case& c : cases) {
    TLogBuffer entry(c.kind, c.code, c.time, c.value, c.data.data(), c.data.size());
    EXPECT_EQ(FormatLogEntry(entry, c.hex), c.line);
  }
}

TEST(SerialLog, HeaderNamesLibraryPlatformDeviceAndColumns) {
  std::vector<std::string> header = LogHeaderLinesAt("COM3", "07/12/26, 04:30:00");
  ASSERT_EQ(header.size(), 8u);
  EXPECT_EQ(header[0], "Dashtune serial port library v1.00");
  EXPECT_EQ(header[1].rfind("Compiler : ", 0), 0u);
  EXPECT_EQ(header[2], "Operating System : Windows XP ");
  EXPECT_EQ(header[3], "Device: COM3");
  EXPECT_EQ(header[4], "Date/time: 07/12/26, 04:30:00");
  EXPECT_EQ(header[6], "    Time  Kind      Code          Value     Data");
  EXPECT_EQ(header[7], "--------  --------  ------------  --------  ----");
}

TEST(SerialLog, FilesAreCreatedOrAppendedAndFailuresAreCodes) {
  std::string name = ::testing::TempDir() + "serial_lines.txt";
  std::remove(name.c_str());
  ASSERT_EQ(WriteTextFile(name, true, {"one"}), kOK) << "append to a missing file creates it";
  ASSERT_EQ(WriteTextFile(name, true, {"two"}), kOK);
  EXPECT_EQ(FileText(name), "one\ntwo\n");
  ASSERT_EQ(WriteTextFile(name, false, {"three"}), kOK);
  EXPECT_EQ(FileText(name), "three\n");
  EXPECT_LT(WriteTextFile(::testing::TempDir() + "no/such/dir/x.txt", false, {"x"}), 0);
}

TEST(SerialLog, GoldenTraceFileOfAWrappedBuffer) {
  TraceBuffer trace;
  ASSERT_EQ(trace.Start(24), kOK);
  for (char c : std::string("ATE0\r")) trace.Add(kTraceTransmit, static_cast<std::uint8_t>(c));
  for (char c : std::string("\r\nOK\r\n")) trace.Add(kTraceReceive, static_cast<std::uint8_t>(c));
  for (char c : std::string("AT+CSQ\r")) trace.Add(kTraceTransmit, static_cast<std::uint8_t>(c));
  for (char c : std::string("\r\n+CSQ: 21,0\r\n")) trace.Add(kTraceReceive, static_cast<std::uint8_t>(c));
  std::string name = ::testing::TempDir() + "golden.trc";
  ASSERT_EQ(WriteTextFile(name, false, FormatTraceLines(trace.Entries(), false, true)), kOK);
  EXPECT_EQ(FileText(name),
            "Receive: K[0D][0A]\n"
            "Transmit: AT+CSQ[0D]\n"
            "Receive: [0D][0A]+CSQ:[20]21,0[0D][0A]\n");
  ASSERT_EQ(WriteTextFile(name, false, FormatTraceLines(trace.Entries(), true, false)), kOK);
  EXPECT_EQ(FileText(name),
            "Receive: [4B][0D][0A]\n"
            "Transmit: [41][54][2B][43][53][51][0D]\n"
            "Receive: [0D][0A][2B][43][53][51][3A][20][32][31][2C][30][0D][0A]\n");
  ASSERT_EQ(WriteTextFile(name, false, FormatTraceLines(trace.Entries(), false, false)), kOK);
  EXPECT_EQ(FileText(name),
            "Receive: K[13][10]\n"
            "Transmit: AT+CSQ[13]\n"
            "Receive: [13][10]+CSQ: 21,0[13][10]\n");
}

}  // namespace
}  // namespace dashtune::serial
