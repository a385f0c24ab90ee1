// The text files of the serial library: the log's header and entry lines, and writing lines to
// a file with the library's result codes.
#pragma once

#include <string>
#include <vector>

#include "components/serial/serial_queue.h"

namespace dashtune::serial {

inline constexpr const char* kLibraryName = "Dashtune serial port library";
inline constexpr const char* kLibraryVersion = "v1.00";

// The header lines of a log file for the named device, dated now.
std::vector<std::string> LogHeaderLines(const std::string& deviceName);
// The header with a given date and time text ("dd/mm/yy, hh:mm:ss").
std::vector<std::string> LogHeaderLinesAt(const std::string& deviceName, const std::string& dateTime);
// "%8s  %-8s  %-12s  %08.8x  " followed by the entry's data bytes as the trace writes them.
std::string FormatLogEntry(const TLogBuffer& entry, bool hex);
// The platform's name for the log header.
std::string OperatingSystemName();

// Writes the lines to the file, appending when asked and the file exists; answers 0 or the
// negated I/O error code.
int WriteTextFile(const std::string& fileName, bool append, const std::vector<std::string>& lines);

}  // namespace dashtune::serial
