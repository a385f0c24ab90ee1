#include "classlib/classes.h"

namespace dashtune {

void TPersistent::Assign(const TPersistent* Source) {
  if (!Source) AssignError(nullptr);
  Source->AssignTo(this);
}

void TPersistent::AssignTo(TPersistent* Dest) const { Dest->AssignError(this); }

void TPersistent::AssignError(const TPersistent* Source) const {
  std::string source_name = Source ? Source->ClassName() : "nil";
  throw EConvertError(sysconst::SAssignError, {source_name, ClassName()});
}

}  // namespace dashtune
