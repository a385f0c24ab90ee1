// Persistent objects and components: TPersistent (assignment between objects), TComponent
// (ownership, names, state and notifications) and the common event types.
#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "classlib/set.h"
#include "classlib/sysutils.h"

namespace dashtune {

// Event types shared across the class library; "Sender" is the object that raises the event.
using TNotifyEvent = std::function<void(TObject* Sender)>;

namespace sysconst {
inline constexpr std::string_view SAssignError = "%s kann nicht zu %s zugewiesen werden";
}  // namespace sysconst

// An object whose state can be copied to and from other objects with Assign.
class TPersistent : public TObject {
 public:
  // Copies Source into this object. The base asks Source to AssignTo this object; nil raises the
  // assignment error.
  virtual void Assign(const TPersistent* Source);

 protected:
  // Copies this object into Dest; the base raises the assignment error.
  virtual void AssignTo(TPersistent* Dest) const;
  // Raises EConvertError "<source class> kann nicht zu <this class> zugewiesen werden" ("nil" for
  // no source).
  [[noreturn]] void AssignError(const TPersistent* Source) const;
};

}  // namespace dashtune
