#include "classlib/units.h"

#include <algorithm>
#include <exception>
#include <mutex>

namespace dashtune {
namespace {

struct UnitEntry {
  std::string name;
  int order = 0;
  TUnitProc initialization;
  TUnitProc finalization;
};

struct UnitTable {
  std::mutex lock;
  std::vector<UnitEntry> pending;      // registered, not yet initialised; kept sorted by order
  std::vector<UnitEntry> initialized;  // in order of initialisation
};

UnitTable& Units() {
  static UnitTable table;
  return table;
}

}  // namespace

void RegisterUnit(std::string name, int order, TUnitProc initialization, TUnitProc finalization) {
  UnitTable& table = Units();
  std::lock_guard guard(table.lock);
  auto after = std::upper_bound(table.pending.begin(), table.pending.end(), order,
                                [](int value, const UnitEntry& entry) { return value < entry.order; });
  table.pending.insert(after, UnitEntry{std::move(name), order, std::move(initialization),
                                        std::move(finalization)});
}

void InitializeUnits() {
  UnitTable& table = Units();
  for (;;) {
    UnitEntry unit;
    {
      std::lock_guard guard(table.lock);
      if (table.pending.empty()) return;
      unit = std::move(table.pending.front());
      table.pending.erase(table.pending.begin());
    }
    // The unit counts as initialised before its procedure runs, so a unit that fails halfway
    // still gets its finalisation, which must cope with a partial start.
    TUnitProc initialization = unit.initialization;
    {
      std::lock_guard guard(table.lock);
      table.initialized.push_back(std::move(unit));
    }
    if (initialization) initialization();
  }
}

void FinalizeUnits() {
  UnitTable& table = Units();
  std::exception_ptr first_failure;
  for (;;) {
    UnitEntry unit;
    {
      std::lock_guard guard(table.lock);
      if (table.initialized.empty()) break;
      unit = std::move(table.initialized.back());
      table.initialized.pop_back();
    }
    try {
      if (unit.finalization) unit.finalization();
    } catch (...) {
      if (!first_failure) first_failure = std::current_exception();
    }
  }
  if (first_failure) std::rethrow_exception(first_failure);
}

std::vector<std::string> InitializedUnits() {
  UnitTable& table = Units();
  std::lock_guard guard(table.lock);
  std::vector<std::string> names;
  for (const UnitEntry& unit : table.initialized) names.push_back(unit.name);
  return names;
}

}  // namespace dashtune
