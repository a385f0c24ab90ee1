#include "components/serial/serial_log.h"

#include <cstdio>
#include <ctime>

#include "components/serial/serial_errors.h"
#include "classlib/textfile.h"
#include "components/serial/serial_messages.h"
#include "components/serial/serial_misc.h"
#include "components/serial/serial_trace.h"

namespace dashtune::serial {
namespace {

constexpr std::uint8_t kStatusTriggerKind = 2;
constexpr std::uint16_t kStatusTriggerCode = 6;

std::string StatusTriggerText(win::DWORD kind) {
  static constexpr const char* kTexts[] = {"(Not active)",         "(Modem status)",        "(Line status)",
                                           "(Output buffer free)", "(Output buffer used)", "(Output sent)"};
  return kind < std::size(kTexts) ? kTexts[kind] : kTexts[0];
}

}  // namespace

std::string OperatingSystemName() {
  // The platform reports itself as the NT family, version 5.1.
  return "Windows XP ";
}

std::vector<std::string> LogHeaderLinesAt(const std::string& deviceName, const std::string& dateTime) {
  return {std::string(kLibraryName) + " " + kLibraryVersion,
          "Compiler : GCC " __VERSION__,
          "Operating System : " + OperatingSystemName(),
          "Device: " + deviceName,
          "Date/time: " + dateTime,
          "",
          ErrorMsg(kLogColumnHeaderText),
          ErrorMsg(kLogColumnUnderlineText)};
}

std::vector<std::string> LogHeaderLines(const std::string& deviceName) {
  std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  char text[32];
  std::strftime(text, sizeof text, "%d/%m/%y, %H:%M:%S", &local);
  return LogHeaderLinesAt(deviceName, text);
}

std::string FormatLogEntry(const TLogBuffer& entry, bool hex) {
  char digits[16];
  std::snprintf(digits, sizeof digits, "%07u", static_cast<unsigned>(entry.Time));
  std::string time(digits);
  time.insert(time.end() - 3, '.');
  std::string kind = ErrorMsg(kLogKindTextBase + entry.Kind);
  std::string code = entry.Kind == kStatusTriggerKind && entry.Code == kStatusTriggerCode
                         ? StatusTriggerText(entry.Value & 7)
                         : ErrorMsg(kLogCodeTextBase + entry.Code);
  char line[128];
  std::snprintf(line, sizeof line, "%8s  %-8s  %-12s  %08x  ", time.c_str(), kind.c_str(), code.c_str(),
                static_cast<unsigned>(entry.Value));
  std::string result(line);
  for (std::uint8_t byte : entry.Data) result += FormatTraceByte(byte, hex, false);
  return result;
}

int WriteTextFile(const std::string& fileName, bool append, const std::vector<std::string>& lines) {
  TTextFileWriter file;
  if (append && ExistFile(fileName)) {
    file.Append(fileName);
  } else {
    file.Rewrite(fileName);
  }
  for (const std::string& line : lines) file.WriteLn(line);
  file.Close();
  return -file.IOResult();
}

}  // namespace dashtune::serial
