// What the common units and the list view unit do when the program starts and ends: the
// platform entry points the common units look up, the shell clipboard formats, the item-ID-list
// managers, the header's split cursor, the header's clipboard format and the shared alpha
// blender.
#pragma once

#include <string_view>

#include "platform/core/modules.h"
#include "platform/core/types.h"

namespace dashtune {

class TFont;
class TCommonPIDLManager;
class TTouchAlphaBlender;

namespace common {
// An entry point of the platform looked up by name at the common units' start (on this NT-family
// platform the wide ones too); nil when the platform lacks it or the units have not started.
win::FARPROC EntryPoint(std::string_view Name);
// A shell32 entry point looked up by ordinal (716, 701, 700, 21, 23); nil as above.
win::FARPROC ShellEntryPoint(win::WORD Ordinal);
// The names of the shell clipboard formats the data-object unit registers, in its order.
inline constexpr std::string_view kShellClipboardFormats[] = {
    "Shell IDList Array", "Logical Performed DropEffect", "Preferred DropEffect", "Performed DropEffect",
    "Paste Succeeded",    "InShellDragLoop",             "Shell Object Offsets", "FileContents",
    "FileGroupDescriptor", "FileGroupDescriptorW"};
// The id registered for one of them (0 before the start).
win::UINT ShellClipboardFormat(std::string_view Name);
// The item-ID-list managers of the common units (nil before the start).
TCommonPIDLManager* UtilitiesPIDLManager();
TCommonPIDLManager* DataObjectPIDLManager();
TCommonPIDLManager* ObjectsPIDLManager();
TCommonPIDLManager* ThreadManagerPIDLManager();
// The symbol font the common objects make ("marlett"; drawn with whatever face maps to it).
TFont* MarlettFont();
// Whether the runtime was told that threads run.
bool IsMultiThread();

// The units' start and end, each run once however often it is called.
void CommonUtilitiesInitialization();
void CommonUtilitiesFinalization();
void DataObjectInitialization();
void DataObjectFinalization();
void CommonObjectsInitialization();
void CommonObjectsFinalization();
void ThreadManagerInitialization();
void ThreadManagerFinalization();
}  // namespace common

namespace listview {
// The clipboard format of header drags ("TouchListview.Header"; 0 before the start).
win::UINT HeaderClipboardFormat();
// The cursor installed as screen cursor 768 (nil before the start).
win::HCURSOR HeaderSplitCursor();
// The bits of the split cursor: 32 x 32, '.' transparent, 'X' black, 'o' white; hot spot (15, 15).
inline constexpr int kSplitCursorSide = 32;
inline constexpr int kSplitCursorHotSpot = 15;
extern const char* const kSplitCursorArt[kSplitCursorSide];
// The shared blender: made at the unit's start (or on first use before it), freed at its end.
TTouchAlphaBlender* SharedAlphaBlender();
void ListviewUnitInitialization();
void ListviewUnitFinalization();
}  // namespace listview

}  // namespace dashtune
