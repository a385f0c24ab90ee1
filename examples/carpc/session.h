// The fixed session the page plays headless or on request (--script): open a copy of the folder,
// tap the second tile, play the clip for two seconds, move the volume, type-ahead to a tile and
// rename one in place. After each step the form is saved as a PNG and one line says what the step
// did and measured. The copy is made afresh in the screenshots' folder, and the master line's
// volume is put back at the end.
#pragma once

#include <chrono>
#include <filesystem>
#include <ostream>
#include <string>
#include <string_view>

#include "car_page.h"

namespace carpc {

struct SessionSettings {
  std::filesystem::path folder;
  std::filesystem::path screenshots;           // made when missing
  std::chrono::steady_clock::time_point started;  // the first screenshot's time counts from here
  std::string started_by;                      // what `started` is, for the output
};

// The text as one line of the report: control characters are written as escapes ("\n", "\t",
// "\x1B"), so that a file name can neither split a line nor reach the terminal as a command.
std::string OneLine(std::string_view text);

// Plays the session; answers the number of steps that failed. Raises std::runtime_error, with the
// text for the user, when the folder cannot be opened.
int PlaySession(CarPage& page, const SessionSettings& settings, std::ostream& out);

}  // namespace carpc
