// Language codes of DVD streams (ISO 639-1, as the disc and the DVD source give them) as locale
// ids.
#pragma once

#include <string_view>

#include "platform/core/types.h"

namespace win {

// The locale id of the language's default sublanguage ("en" → 0x0409, "de" → 0x0407), 0 for an
// unknown or malformed code. Case does not matter.
LCID LocaleOfLanguageCode(std::string_view code);

}  // namespace win
