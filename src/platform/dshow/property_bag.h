// Monikers and property bags behind the builder callbacks, and the in-process running object
// table.
#pragma once

#include "platform/dshow/dshow.h"

namespace win {

// A moniker naming a decoder factory; binding it to storage gives a property bag with
// "CLSID" (a class id derived from the factory's name, as a GUID string) and "FriendlyName".
// Answers a new counted object.
IMoniker* CreateFactoryMoniker(const char* factory_name, const char* friendly_name);

// The class id that stands for a decoder factory: stable across runs for the same name.
CLSID FactoryClassId(const char* factory_name);

}  // namespace win
