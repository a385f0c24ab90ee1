#include "classlib/system.h"

#include <cxxabi.h>

#include <cstdlib>

namespace dashtune {

std::string ClassNameOf(const std::type_info& type) {
  int status = 0;
  char* demangled = abi::__cxa_demangle(type.name(), nullptr, nullptr, &status);
  std::string name = status == 0 && demangled ? demangled : type.name();
  std::free(demangled);
  // Keep the last component of a qualified name; template arguments are kept whole.
  std::size_t depth = 0;
  std::size_t start = 0;
  for (std::size_t i = 0; i < name.size(); ++i) {
    if (name[i] == '<') ++depth;
    if (name[i] == '>' && depth > 0) --depth;
    if (depth == 0 && name[i] == ':' && i + 1 < name.size() && name[i + 1] == ':') start = i + 2;
  }
  return name.substr(start);
}

std::string TObject::ClassName() const { return ClassNameOf(typeid(*this)); }

bool TObject::InheritsFrom(const TClass* ancestor) const {
  return ancestor && ancestor->IsInstance(this);
}

void TObject::operator delete(TObject* object, std::destroying_delete_t) {
  DestroyAndRelease(object, [](void* storage) noexcept { ::operator delete(storage); });
}

void TObject::DestroyAndRelease(TObject* object, void (*release)(void* storage) noexcept) {
  void* storage = dynamic_cast<void*>(object);
  object->BeforeDestruction();
  object->~TObject();
  release(storage);
}

TClass::TClass(const std::type_info& type, Thrower thrower, bool (*catches)(Thrower),
               bool (*is_instance)(const TObject*))
    : name_(ClassNameOf(type)), throw_pointer_(thrower), catches_(catches), is_instance_(is_instance) {}

bool TClass::InheritsFrom(const TClass* ancestor) const {
  if (!ancestor) return false;
  if (ancestor == this) return true;
  return ancestor->catches_(throw_pointer_);
}

}  // namespace dashtune
