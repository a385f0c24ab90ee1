// Set<E>: a set of the values of an enumeration whose members are 0..63, kept as a bit set.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <type_traits>

namespace dashtune {

template <class E>
  requires std::is_enum_v<E>
class Set {
 public:
  using Bits = std::uint64_t;

  constexpr Set() = default;
  constexpr Set(std::initializer_list<E> members) {
    for (E member : members) bits_ |= Bit(member);
  }
  // The set whose members are the set bits of a stored value (bit n is member n).
  static constexpr Set FromBits(Bits bits) {
    Set set;
    set.bits_ = bits;
    return set;
  }
  constexpr Bits ToBits() const { return bits_; }

  constexpr bool Contains(E member) const { return (bits_ & Bit(member)) != 0; }
  constexpr bool Empty() const { return bits_ == 0; }
  constexpr Set& Include(E member) {
    bits_ |= Bit(member);
    return *this;
  }
  constexpr Set& Exclude(E member) {
    bits_ &= ~Bit(member);
    return *this;
  }

  // Union (+), difference (-) and intersection (*).
  friend constexpr Set operator+(Set a, Set b) { return FromBits(a.bits_ | b.bits_); }
  friend constexpr Set operator-(Set a, Set b) { return FromBits(a.bits_ & ~b.bits_); }
  friend constexpr Set operator*(Set a, Set b) { return FromBits(a.bits_ & b.bits_); }
  constexpr Set& operator+=(Set other) { return *this = *this + other; }
  constexpr Set& operator-=(Set other) { return *this = *this - other; }
  constexpr Set& operator*=(Set other) { return *this = *this * other; }
  friend constexpr bool operator==(Set a, Set b) = default;
  // Subset test (a <= b: every member of a is in b).
  friend constexpr bool operator<=(Set a, Set b) { return (a.bits_ & ~b.bits_) == 0; }
  friend constexpr bool operator>=(Set a, Set b) { return b <= a; }

 private:
  static constexpr Bits Bit(E member) {
    auto index = static_cast<long long>(member);
    return (index >= 0 && index < 64) ? Bits{1} << index : 0;
  }

  Bits bits_ = 0;
};

}  // namespace dashtune
