// The target of a graph's log: a kernel object its owner enters in the handle table and passes to
// the graph's SetLogFile. The graph writes one line per rendering and state step.
#pragma once

#include <string>

#include "platform/core/handles.h"

namespace win {

class GraphLogTarget : public KernelObject {
 public:
  // Called on the thread that drives the graph.
  virtual void WriteLine(const std::string& line) = 0;
};

}  // namespace win
