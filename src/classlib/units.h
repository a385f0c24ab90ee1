// Unit start and end: each library registers the initialisation and finalisation of its units;
// the application object runs the initialisations in order when it starts and the finalisations
// of the units it initialised, in reverse, when it ends.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace dashtune {

using TUnitProc = std::function<void()>;

// Orders of the libraries' units, in the order the program starts them: the common units, the
// list view, the picture codecs, the serial library, the shell library. Units of one library
// use the library's value (or values just above it) so that their own order holds too.
namespace unit_order {
inline constexpr int kCommon = 10;
inline constexpr int kListview = 20;
inline constexpr int kPngCodec = 40;
inline constexpr int kGifCodec = 50;
inline constexpr int kSerial = 600;
inline constexpr int kShell = 700;
}  // namespace unit_order

// Registers a unit. Units run in ascending Order; units of equal Order run in the order they were
// registered. Either procedure may be empty. A unit registered after the initialisations ran is
// initialised by the next InitializeUnits call.
void RegisterUnit(std::string name, int order, TUnitProc initialization, TUnitProc finalization);

// Runs the initialisation of every registered unit that has not run yet. When one raises, the
// units already initialised stay initialised (FinalizeUnits ends them) and the exception passes on.
void InitializeUnits();

// Runs the finalisations of the initialised units in reverse order of initialisation; each unit is
// finalised once. Exceptions from finalisations are not allowed to stop the others: the first one
// is raised again after all ran.
void FinalizeUnits();

// Names of the units initialised so far, in order (for diagnostics and tests).
std::vector<std::string> InitializedUnits();

// Registers a unit from a static object in the library that owns the unit.
struct TUnitRegistration {
  TUnitRegistration(std::string name, int order, TUnitProc initialization, TUnitProc finalization) {
    RegisterUnit(std::move(name), order, std::move(initialization), std::move(finalization));
  }
};

}  // namespace dashtune
