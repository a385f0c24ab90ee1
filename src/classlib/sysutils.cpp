#include "classlib/sysutils.h"

#include <cmath>
#include <cstdio>
#include <limits>

namespace dashtune {

TFormatSettings& FormatSettings() {
  static TFormatSettings settings;
  return settings;
}

EOutOfMemory::EOutOfMemory() : Exception(std::string(sysconst::SOutOfMemory)) {}
EOutOfResources::EOutOfResources() : EOutOfMemory(std::string(sysconst::SOutOfResources)) {}

std::string IntToStr(std::int64_t value) { return std::to_string(value); }

std::string IntToHex(std::uint64_t value, int digits) {
  static constexpr char kHexDigits[] = "0123456789ABCDEF";
  std::string text;
  do {
    text.insert(text.begin(), kHexDigits[value & 0xF]);
    value >>= 4;
  } while (value != 0);
  if (digits > static_cast<int>(text.size())) text.insert(0, static_cast<std::size_t>(digits) - text.size(), '0');
  return text;
}

namespace {

// One parsed directive.
struct Directive {
  bool left_justify = false;
  int width = -1;
  int precision = -1;
  char type = 0;
};

// Formatting stops with the format string in the message, as the caller wrote it.
[[noreturn]] void InvalidFormat(std::string_view format) {
  throw EConvertError(sysconst::SInvalidFormat, {format});
}

// Reads a decimal count; the directive's digits are bounded so that the number cannot overflow.
bool ReadCount(std::string_view format, std::size_t& pos, int& value) {
  std::size_t start = pos;
  long long count = 0;
  while (pos < format.size() && format[pos] >= '0' && format[pos] <= '9') {
    count = count * 10 + (format[pos] - '0');
    if (count > 1'000'000) return false;  // a width no caller means; refuse instead of allocating
    ++pos;
  }
  if (pos > start) value = static_cast<int>(count);
  return true;
}

std::string ZeroPadded(std::string digits, int precision) {
  if (precision > static_cast<int>(digits.size())) {
    digits.insert(0, static_cast<std::size_t>(precision) - digits.size(), '0');
  }
  return digits;
}

std::string FormatDecimal(const TVarRec& arg, const Directive& d, std::string_view format) {
  if (arg.GetKind() != TVarRec::Kind::Integer && arg.GetKind() != TVarRec::Kind::Unsigned) InvalidFormat(format);
  std::int64_t value = arg.AsInteger();
  bool as_unsigned = d.type == 'u' || arg.GetKind() == TVarRec::Kind::Unsigned;
  if (as_unsigned) {
    std::uint64_t magnitude = static_cast<std::uint64_t>(value);
    if (!arg.IsWide() && d.type == 'u') magnitude &= 0xFFFFFFFFu;
    return ZeroPadded(std::to_string(magnitude), d.precision);
  }
  std::uint64_t magnitude = value < 0 ? 0 - static_cast<std::uint64_t>(value) : static_cast<std::uint64_t>(value);
  std::string text = ZeroPadded(std::to_string(magnitude), d.precision);
  return value < 0 ? "-" + text : text;
}

std::string FormatHex(const TVarRec& arg, const Directive& d, std::string_view format) {
  if (arg.GetKind() != TVarRec::Kind::Integer && arg.GetKind() != TVarRec::Kind::Unsigned) InvalidFormat(format);
  std::uint64_t value = static_cast<std::uint64_t>(arg.AsInteger());
  if (!arg.IsWide()) value &= 0xFFFFFFFFu;  // a negative 32-bit value shows its 32-bit pattern
  return IntToHex(value, d.precision);
}

std::string FormatString(const TVarRec& arg, const Directive& d, std::string_view format) {
  std::string text;
  if (arg.GetKind() == TVarRec::Kind::String) {
    text = std::string(arg.AsString());
  } else if (arg.GetKind() == TVarRec::Kind::Char) {
    text = std::string(1, arg.AsChar());
  } else {
    InvalidFormat(format);
  }
  if (d.precision >= 0 && d.precision < static_cast<int>(text.size())) text.resize(static_cast<std::size_t>(d.precision));
  return text;
}

std::string FormatPointer(const TVarRec& arg, const Directive& d, std::string_view format) {
  if (arg.GetKind() != TVarRec::Kind::Pointer) InvalidFormat(format);
  int digits = std::max(d.precision, static_cast<int>(sizeof(void*) * 2));
  return IntToHex(reinterpret_cast<std::uintptr_t>(arg.AsPointer()), digits);
}

std::string GroupThousands(std::string_view digits) {
  std::string grouped;
  char separator = FormatSettings().ThousandSeparator;
  for (std::size_t i = 0; i < digits.size(); ++i) {
    if (i > 0 && (digits.size() - i) % 3 == 0) grouped += separator;
    grouped += digits[i];
  }
  return grouped;
}

std::string FormatNumber(const TVarRec& arg, const Directive& d, std::string_view format) {
  double value;
  switch (arg.GetKind()) {
    case TVarRec::Kind::Float: value = arg.AsFloat(); break;
    case TVarRec::Kind::Integer: value = static_cast<double>(arg.AsInteger()); break;
    case TVarRec::Kind::Unsigned: value = static_cast<double>(static_cast<std::uint64_t>(arg.AsInteger())); break;
    default: InvalidFormat(format);
  }
  if (std::isnan(value)) return "NAN";
  if (std::isinf(value)) return value < 0 ? "-INF" : "INF";
  int decimals = d.precision < 0 ? 2 : std::min(d.precision, 18);
  // Round half away from zero on the decimal value, as the caller reads it.
  long double scaled = std::fabs(static_cast<long double>(value)) * std::pow(10.0L, decimals);
  std::string digits;
  if (scaled < 9.0e18L) {
    digits = std::to_string(static_cast<std::uint64_t>(std::llroundl(scaled)));
  } else {
    char buffer[400];
    std::snprintf(buffer, sizeof buffer, "%.0Lf", scaled);
    digits = buffer;
  }
  digits = ZeroPadded(digits, decimals + 1);
  std::string_view whole(digits.data(), digits.size() - static_cast<std::size_t>(decimals));
  std::string text = GroupThousands(whole);
  if (decimals > 0) {
    text += FormatSettings().DecimalSeparator;
    text.append(digits, whole.size());
  }
  bool negative = value < 0 && digits.find_first_not_of('0') != std::string::npos;
  return negative ? "-" + text : text;
}

std::string Justify(std::string text, const Directive& d) {
  if (d.width > static_cast<int>(text.size())) {
    std::size_t pad = static_cast<std::size_t>(d.width) - text.size();
    if (d.left_justify) {
      text.append(pad, ' ');
    } else {
      text.insert(0, pad, ' ');
    }
  }
  return text;
}

}  // namespace

std::string Format(std::string_view format, std::span<const TVarRec> args) {
  std::string result;
  std::size_t next_arg = 0;
  std::size_t pos = 0;
  while (pos < format.size()) {
    std::size_t percent = format.find('%', pos);
    if (percent == std::string_view::npos) {
      result.append(format.substr(pos));
      break;
    }
    result.append(format.substr(pos, percent - pos));
    pos = percent + 1;
    if (pos < format.size() && format[pos] == '%') {
      result += '%';
      ++pos;
      continue;
    }
    Directive d;
    if (pos < format.size() && format[pos] == '-') {
      d.left_justify = true;
      ++pos;
    }
    if (!ReadCount(format, pos, d.width)) InvalidFormat(format);
    if (pos < format.size() && format[pos] == '.') {
      ++pos;
      d.precision = 0;
      if (!ReadCount(format, pos, d.precision)) InvalidFormat(format);
    }
    if (pos >= format.size()) InvalidFormat(format);
    d.type = format[pos++];
    if (next_arg >= args.size()) throw EConvertError(sysconst::SArgumentMissing, {format});
    const TVarRec& arg = args[next_arg++];
    std::string text;
    switch (d.type) {
      case 'd': case 'D': case 'u': case 'U':
        d.type = static_cast<char>(d.type | 0x20);
        text = FormatDecimal(arg, d, format);
        break;
      case 'x': case 'X': text = FormatHex(arg, d, format); break;
      case 's': case 'S': text = FormatString(arg, d, format); break;
      case 'p': case 'P': text = FormatPointer(arg, d, format); break;
      case 'n': case 'N': text = FormatNumber(arg, d, format); break;
      default: InvalidFormat(format);
    }
    result += Justify(std::move(text), d);
  }
  return result;
}

}  // namespace dashtune
