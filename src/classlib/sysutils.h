// The exception hierarchy of the class library, Format and its argument record, and the small
// number-to-text routines.
#pragma once

#include <concepts>
#include <cstdint>
#include <exception>
#include <initializer_list>
#include <span>
#include <string>
#include <string_view>

#include "classlib/system.h"

namespace dashtune {

// One argument of Format. It refers to a string argument without copying it, so it lives only as
// long as the call it is passed to (Format("%s", {text})).
class TVarRec {
 public:
  enum class Kind { Integer, Unsigned, Char, String, Pointer, Float };

  template <std::integral T>
    requires(!std::same_as<T, bool> && !std::same_as<T, char>)
  TVarRec(T value)  // NOLINT: implicit, as an argument list element
      : kind_(std::is_signed_v<T> ? Kind::Integer : Kind::Unsigned),
        wide_(sizeof(T) > 4),
        integer_(static_cast<std::int64_t>(value)) {}
  TVarRec(char value) : kind_(Kind::Char), char_(value) {}
  TVarRec(const char* value) : kind_(Kind::String), string_(value ? value : "") {}
  TVarRec(std::string_view value) : kind_(Kind::String), string_(value) {}
  TVarRec(const std::string& value) : kind_(Kind::String), string_(value) {}
  TVarRec(double value) : kind_(Kind::Float), float_(value) {}
  TVarRec(const void* value) : kind_(Kind::Pointer), pointer_(value) {}
  TVarRec(std::nullptr_t) : kind_(Kind::Pointer), pointer_(nullptr) {}
  TVarRec(bool) = delete;

  Kind GetKind() const { return kind_; }
  // Whether an integer came from a type wider than 32 bits (decides the width of %x).
  bool IsWide() const { return wide_; }
  std::int64_t AsInteger() const { return integer_; }
  char AsChar() const { return char_; }
  std::string_view AsString() const { return string_; }
  const void* AsPointer() const { return pointer_; }
  double AsFloat() const { return float_; }

 private:
  Kind kind_;
  bool wide_ = false;
  std::int64_t integer_ = 0;
  char char_ = 0;
  std::string_view string_;
  const void* pointer_ = nullptr;
  double float_ = 0;
};

// Locale-dependent characters used by Format ("%n") and the date/time formatting.
struct TFormatSettings {
  char ThousandSeparator = ',';
  char DecimalSeparator = '.';
  char DateSeparator = '/';
  char TimeSeparator = ':';
  // What FormatDateTime uses for an empty format: the short date, a blank, the long time.
  std::string ShortDateFormat = "dd/mm/yyyy";
  std::string LongTimeFormat = "hh:nn:ss";
};

// The process-wide settings; set them before any thread formats.
TFormatSettings& FormatSettings();

// Formats Args into Format. Each directive is "%" ["-"] [width] ["." precision] type with type:
//   d  decimal integer; the precision is the least number of digits (zero-padded)
//   u  decimal integer taken as unsigned
//   x, X  upper-case hexadecimal integer; the precision is the least number of digits
//   s  string or character; the precision is the most characters taken
//   p  pointer as upper-case hexadecimal, two digits per byte of a pointer
//   n  number with thousands separators; the precision is the number of decimals (default 2)
//   %  a percent sign
// The width pads with blanks on the left, or on the right after "-". A directive that does not
// fit its argument raises EConvertError; a missing argument raises EConvertError.
std::string Format(std::string_view format, std::span<const TVarRec> args);
inline std::string Format(std::string_view format, std::initializer_list<TVarRec> args) {
  return Format(format, std::span<const TVarRec>(args.begin(), args.size()));
}

std::string IntToStr(std::int64_t value);
// Upper-case hexadecimal with at least Digits digits.
std::string IntToHex(std::uint64_t value, int digits);

// The general exception: every exception that the class library and the components raise
// derives from it. Message is the text shown to the user.
class Exception : public TObject, public std::exception {
 public:
  explicit Exception(std::string message) : message_(std::move(message)) {}
  // The message made by Format (Format, Args).
  Exception(std::string_view format, std::initializer_list<TVarRec> args)
      : message_(Format(format, args)) {}

  const std::string& GetMessage() const { return message_; }
  void SetMessage(std::string message) { message_ = std::move(message); }
  const char* what() const noexcept override { return message_.c_str(); }

 private:
  std::string message_;
};

// Memory could not be allocated.
class EOutOfMemory : public Exception {
 public:
  using Exception::Exception;
  EOutOfMemory();
};

// A system resource (handle, timer, window, device context) could not be had.
class EOutOfResources : public EOutOfMemory {
 public:
  using EOutOfMemory::EOutOfMemory;
  EOutOfResources();
};

// A file or device operation failed; ErrorCode is the system's error number.
class EInOutError : public Exception {
 public:
  EInOutError(std::string message, int error_code) : Exception(std::move(message)), ErrorCode(error_code) {}
  int ErrorCode;
};

// A value could not be converted (a text to a number, an object to another class by Assign, a
// Format directive to its argument).
class EConvertError : public Exception {
 public:
  using Exception::Exception;
};

// An operation is not allowed in the object's current state.
class EInvalidOperation : public Exception {
 public:
  using Exception::Exception;
};

// An internal consistency check failed; the message names the check.
class EAssertionFailed : public Exception {
 public:
  using Exception::Exception;
};

// A list index out of range or a list capacity that cannot be had.
class EListError : public Exception {
 public:
  using Exception::Exception;
};

// The class library's own message texts.
namespace sysconst {
inline constexpr std::string_view SOutOfMemory = "Zu wenig Arbeitsspeicher";
inline constexpr std::string_view SOutOfResources = "Systemressourcen erschöpft.";
inline constexpr std::string_view SInvalidFormat = "Format '%s' ungültig oder nicht kompatibel mit Argument";
inline constexpr std::string_view SArgumentMissing = "Kein Argument für Format '%s'";
inline constexpr std::string_view SInOutError = "E/A-Fehler %d";
}  // namespace sysconst

}  // namespace dashtune
