// The root of the class library: TObject, class references and the virtual constructor.
#pragma once

#include <concepts>
#include <cstddef>
#include <memory>
#include <new>
#include <string>
#include <typeinfo>
#include <utility>

namespace dashtune {

class TClass;

// Base of every class-library object. Deleting an object through a TObject pointer runs
// BeforeDestruction while the object still has its full dynamic type, so overrides (a component
// notifying the objects that know it) see the object as it is, then runs the destructor.
class TObject {
 public:
  TObject() = default;
  TObject(const TObject&) = default;
  TObject& operator=(const TObject&) = default;
  virtual ~TObject() = default;

  // The name of the object's most-derived class, without namespaces ("TStringList").
  std::string ClassName() const;
  // Whether the object is an instance of the class or of one of its descendants.
  bool InheritsFrom(const TClass* ancestor) const;

  // Runs when the object is complete, if it was made with Create<T> (a thread starts there).
  virtual void AfterConstruction() {}
  // Runs first when the object is deleted, with the object still complete.
  virtual void BeforeDestruction() {}

  void operator delete(TObject* object, std::destroying_delete_t);

 protected:
  // What deleting does, with the storage handed to `release` at the end: for a class that keeps
  // its objects in storage of its own.
  static void DestroyAndRelease(TObject* object, void (*release)(void* storage) noexcept);
};

// Makes an object and runs its AfterConstruction: the way to make objects that act once they
// are complete (a thread created running). The caller owns the result, unless the class says
// otherwise (a thread that frees itself, a component given an owner).
template <class T, class... Args>
  requires std::derived_from<T, TObject>
T* Create(Args&&... args) {
  T* object = new T(std::forward<Args>(args)...);
  try {
    object->AfterConstruction();
  } catch (...) {
    delete object;
    throw;
  }
  return object;
}

// A class reference: names a class, tells whether it descends from another class and, through
// TClassOf below, constructs instances of the class it names. There is one TClass per C++ class;
// compare references by address.
class TClass {
 public:
  template <class T>
    requires std::derived_from<T, TObject>
  static const TClass* Of() {
    static const TClass instance(typeid(T), &ThrowPointer<T>, &CatchesPointer<T>, &IsInstance<T>);
    return &instance;
  }

  const std::string& ClassName() const { return name_; }
  // True for the class itself and for every class that it derives from (publicly).
  bool InheritsFrom(const TClass* ancestor) const;
  bool IsInstance(const TObject* object) const { return object && is_instance_(object); }

  TClass(const TClass&) = delete;
  TClass& operator=(const TClass&) = delete;

 private:
  using Thrower = void (*)();
  TClass(const std::type_info& type, Thrower thrower, bool (*catches)(Thrower),
         bool (*is_instance)(const TObject*));

  // The derivation test needs no registration: a thrown T* is caught by a handler for A* exactly
  // when A is an unambiguous public base of T (or T itself).
  template <class T>
  [[noreturn]] static void ThrowPointer() {
    throw static_cast<T*>(nullptr);
  }
  template <class T>
  static bool CatchesPointer(Thrower thrower) {
    try {
      thrower();
    } catch (T*) {
      return true;
    } catch (...) {
    }
    return false;
  }
  template <class T>
  static bool IsInstance(const TObject* object) {
    return dynamic_cast<const T*>(object) != nullptr;
  }

  std::string name_;
  Thrower throw_pointer_;
  bool (*catches_)(Thrower);
  bool (*is_instance_)(const TObject*);
};

// The class name of a C++ type as the class library reports it (namespaces removed).
std::string ClassNameOf(const std::type_info& type);

// A class reference restricted to descendants of Base that can be constructed from Args: the
// "class of" a family (chunk classes, extension classes), with its virtual constructor.
template <class Base, class... Args>
class TClassOf {
 public:
  TClassOf() = default;

  template <class T>
    requires std::derived_from<T, Base> && std::constructible_from<T, Args...>
  static TClassOf Of() {
    return TClassOf(TClass::Of<T>(), [](Args... args) -> Base* { return new T(std::forward<Args>(args)...); });
  }

  explicit operator bool() const { return class_ != nullptr; }
  const TClass* Class() const { return class_; }
  const std::string& ClassName() const { return class_->ClassName(); }
  bool InheritsFrom(const TClass* ancestor) const { return class_ && class_->InheritsFrom(ancestor); }
  template <class Base2, class... Args2>
  bool InheritsFrom(const TClassOf<Base2, Args2...>& ancestor) const {
    return InheritsFrom(ancestor.Class());
  }

  // The virtual constructor: a new instance of the referenced class; the caller owns it.
  std::unique_ptr<Base> Create(Args... args) const {
    std::unique_ptr<Base> object(create_(std::forward<Args>(args)...));
    object->AfterConstruction();
    return object;
  }

  friend bool operator==(const TClassOf& a, const TClassOf& b) { return a.class_ == b.class_; }

 private:
  TClassOf(const TClass* cls, Base* (*create)(Args...)) : class_(cls), create_(create) {}

  const TClass* class_ = nullptr;
  Base* (*create_)(Args...) = nullptr;
};

}  // namespace dashtune
