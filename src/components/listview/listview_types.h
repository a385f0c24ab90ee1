// Types shared by the touch list view's units: the views, the state word of collection items,
// the paint options' enumerations, the item hit-test results and the event signatures.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "classlib/controls.h"
#include "classlib/graphics.h"
#include "classlib/set.h"
#include "platform/core/types.h"

namespace dashtune {

class TCustomTouchListview;
class TCustomImageList;
class TTouchCollection;
class TTouchCollectionItem;
class TTouchItem;
class TTouchItems;
class TTouchGroup;
class TTouchGroups;
class TTouchColumn;
class TTouchColumns;
class TTouchViewItem;
class TTouchAlphaBlender;
class TTouchHintInfo;
class TTouchSelectionGroupList;
class TStream;

using WideString = std::u16string;

enum TTouchListStyle : int {
  elsIcon, elsSmallIcon, elsList, elsReport, elsThumbnail, elsTile, elsFilmStrip, elsGrid
};

// Bits of a collection item's state word.
enum TTouchStateFlag : std::uint16_t {
  esfChecked = 0x0001,
  esfCheckPending = 0x0002,
  esfCheckHovering = 0x0004,
  esfClicking = 0x0008,
  esfCut = 0x0010,
  esfDestroying = 0x0020,
  esfGhosted = 0x0040,
  esfDropTarget = 0x0080,
  esfEnabled = 0x0100,
  esfFocused = 0x0200,
  esfInitialized = 0x0400,
  esfSelected = 0x0800,
  esfVisible = 0x1000,
  esfHotTracking = 0x2000,
  esfBold = 0x4000,
  // A column: a dragged column would be dropped after this one.
  esfDropMark = 0x8000,
};
// The bits a stream record keeps: Bold, Visible, Selected, Enabled, Checked.
inline constexpr std::uint16_t kPersistentStateMask = 0x5901;

enum TTouchCheckType : int { ectNone, ettNoneWithSpace, ectBox, ectRadio };
enum TCommonVAlignment : int { cvaTop, cvaBottom, cvaCenter };
enum TTouchSortDirection : int { esdNone, esdAscending, esdDescending };
enum TTouchSortAlgorithm : int { esaQuickSort, esaBubbleSort, esaMergeSort };
enum TTouchImageKind : int { eikNormal, eikOverlay, eikState };
enum TTouchHotTrackState : int { ehsEnable, ehsDisable };
enum TTouchHeaderImagePosition : int { ehpLeft, ehpTop, ehpRight, ehpBottom };
enum TTouchSortGlyphAlign : int { esgaLeft, esgaRight };
enum TTouchHeaderButtonStyle : int { ehbsThick, ehbsFlat, ehbsPlate, ehbsThemed };
enum TTouchWheelScroll : int { edwsHorz, edwsVert };

enum TTouchHotTrackRectGroup : int {
  htgIcon, htgText, htgTopMargin, htgBottomMargin, htgLeftMargin, htgRightMargin, htgAnyWhere
};
using TTouchHotTrackRectGroups = Set<TTouchHotTrackRectGroup>;
enum TTouchHotTrackRectItem : int { htiIcon, htiText, htiAnyWhere };
using TTouchHotTrackRectItems = Set<TTouchHotTrackRectItem>;
enum TTouchHotTrackRectColumn : int { htcIcon, htcText, htcAnyWhere };
using TTouchHotTrackRectColumns = Set<TTouchHotTrackRectColumn>;

enum TTouchItemHitTestInfo : int {
  ehtStateIcon, ehtOnIcon, ehtOnLabel, ehtOnClickSelectBounds, ehtOnDragSelectBounds, ehtOnText,
  ehtOnCheck, ehtOnEdit
};
using TTouchItemHitTestInfoSet = Set<TTouchItemHitTestInfo>;

// An image index: -1 means no image.
using TCommonImageIndexInteger = int;

// The rectangles of one item's parts, in view coordinates (see the item painters).
struct TTouchRectArrayObject {
  win::RECT LabelRect{};
  win::RECT IconRect{};
  win::RECT TextRect{};
  win::RECT CheckRect{};
  win::RECT BoundsRect{};
  win::RECT IconBandRect{};
  win::RECT ShortTextRect{};
  win::RECT FocusChangeInvalidRect{};
  win::RECT FullTextRect{};
  win::RECT SelectionRect{};
  win::RECT FullFocusSelRect{};
  win::RECT ClickSelectBoundsRect{};
  win::RECT DragSelectBoundsRect{};
  win::RECT StateRect{};
  // A header cell's sort glyph.
  win::RECT SortRect{};
  std::vector<win::RECT> TextRects;
};

// A view-item class: the painter an item uses for a view (a factory for the painter object).
using TTouchViewItemClass = TClassOf<TTouchViewItem, TCustomTouchListview*>;

// Event signatures; Sender is the control.
using TTouchItemGetCaptionEvent = std::function<void(TCustomTouchListview* Sender, TTouchItem* Item, int Column, WideString& Caption)>;
using TTouchItemGetImageIndexEvent = std::function<void(TCustomTouchListview* Sender, TTouchItem* Item, int Column, TTouchImageKind ImageKind, TCommonImageIndexInteger& ImageIndex)>;
using TTouchItemGetImageListEvent = std::function<void(TCustomTouchListview* Sender, TTouchItem* Item, int Column, TCustomImageList*& ImageList)>;
using TTouchItemGetTileDetailCountEvent = std::function<void(TCustomTouchListview* Sender, TTouchItem* Item, int& Count)>;
using TTouchItemGetTileDetailEvent = std::function<void(TCustomTouchListview* Sender, TTouchItem* Item, int Line, int& Detail)>;
using TTouchItemGetGroupKeyEvent = std::function<void(TCustomTouchListview* Sender, TTouchItem* Item, int FocusedColumn, std::uint32_t& GroupKey)>;
using TTouchItemSetCaptionEvent = std::function<void(TCustomTouchListview* Sender, TTouchItem* Item, int Column, const WideString& Caption)>;
using TTouchItemSetImageIndexEvent = std::function<void(TCustomTouchListview* Sender, TTouchItem* Item, int Column, TTouchImageKind ImageKind, int ImageIndex)>;
using TTouchItemSetTileDetailEvent = std::function<void(TCustomTouchListview* Sender, TTouchItem* Item, int Line, int Detail)>;
using TTouchItemSetGroupKeyEvent = std::function<void(TCustomTouchListview* Sender, TTouchItem* Item, int Column, std::uint32_t Key)>;
using TTouchItemImageDrawEvent = std::function<void(TCustomTouchListview* Sender, TTouchItem* Item, TTouchColumn* Column, TCanvas* ACanvas, const TTouchRectArrayObject& RectArray, TTouchAlphaBlender* AlphaBlender)>;
using TTouchItemImageDrawIsCustomEvent = std::function<void(TCustomTouchListview* Sender, TTouchItem* Item, TTouchColumn* Column, bool& IsCustom)>;
using TTouchItemImageGetSizeEvent = std::function<void(TCustomTouchListview* Sender, TTouchItem* Item, TTouchColumn* Column, int& ImageWidth, int& ImageHeight)>;
using TTouchItemThumbnailDrawEvent = std::function<void(TCustomTouchListview* Sender, TTouchItem* Item, TCanvas* ACanvas, const win::RECT& ARect, TTouchAlphaBlender* AlphaBlender, bool& DoDefault)>;
using TTouchItemChangingEvent = std::function<void(TCustomTouchListview* Sender, TTouchItem* Item, bool& Allow)>;
using TTouchItemNotifyEvent = std::function<void(TCustomTouchListview* Sender, TTouchItem* Item)>;
using TTouchItemHotTrackEvent = std::function<void(TCustomTouchListview* Sender, TTouchItem* Item, TTouchHotTrackState State, win::POINT MousePos)>;
using TTouchItemStreamEvent = std::function<void(TCustomTouchListview* Sender, TTouchItem* Item, TStream* S, int Version)>;
using TTouchItemCustomViewEvent = std::function<void(TCustomTouchListview* Sender, TTouchItem* Item, TTouchListStyle ViewStyle, TTouchViewItemClass& View)>;
using TTouchItemCompareEvent = std::function<int(TCustomTouchListview* Sender, TTouchColumn* Column, TTouchGroup* Group, TTouchItem* Item1, TTouchItem* Item2)>;
using TTouchGroupCompareEvent = std::function<int(TCustomTouchListview* Sender, TTouchGroup* Item1, TTouchGroup* Item2)>;
using TTouchAutoGroupGetKeyEvent = std::function<void(TCustomTouchListview* Sender, TTouchItem* Item, int ColumnIndex, TTouchGroups* Groups, std::uint32_t& Key)>;
using TTouchAutoSortGroupCreateEvent = std::function<void(TCustomTouchListview* Sender, TTouchItem* Item, int ColumnIndex, TTouchGroups* Groups, TTouchGroup*& Group, bool& DoDefaultAction)>;
using TTouchItemPaintTextEvent = std::function<void(TCustomTouchListview* Sender, TTouchItem* Item, int Position, TCanvas* ACanvas)>;
using TTouchItemMouseEvent = std::function<void(TCustomTouchListview* Sender, TTouchItem* Item, TMouseButton Button, TShiftState Shift, int X, int Y)>;
// MousePos: the pointer in client coordinates.
using TTouchItemClickEvent = std::function<void(TCustomTouchListview* Sender, TTouchItem* Item, TMouseButton Button, TShiftState Shift, win::POINT MousePos)>;
using TTouchColumnPaintTextEvent = std::function<void(TCustomTouchListview* Sender, TTouchColumn* Column, TCanvas* ACanvas)>;
// The in-place editing interface (declared with the editors).
class ITouchCellEditor;
using TTouchItemCreateEditorEvent = std::function<void(TCustomTouchListview* Sender, TTouchItem* Item, ITouchCellEditor*& Editor)>;
using TTouchItemGetEditCaptionEvent = std::function<void(TCustomTouchListview* Sender, TTouchItem* Item, TTouchColumn* Column, WideString& Caption)>;
using TTouchItemEditedEvent = std::function<void(TCustomTouchListview* Sender, TTouchItem* Item, WideString& NewValue, bool& Accept)>;
using TTouchItemGetEditMenuEvent = std::function<void(TCustomTouchListview* Sender, ITouchCellEditor* Editor, TPopupMenu*& Menu)>;
using TTouchIncrementalSearchEvent = std::function<void(TTouchItem* Item, const WideString& SearchBuffer, int& CompareResult)>;
using TTouchColumnClickEvent = std::function<void(TCustomTouchListview* Sender, TMouseButton Button, TTouchColumn* Column)>;
using TTouchColumnSizeChangingEvent = std::function<void(TCustomTouchListview* Sender, TTouchColumn* Column, int Width, int NewWidth, bool& Allow)>;
using TTouchColumnNotifyEvent = std::function<void(TCustomTouchListview* Sender, TTouchColumn* Column)>;
using TTouchPaintHeaderBkGndEvent = std::function<void(TCustomTouchListview* Sender, TCanvas* ACanvas, const win::RECT& ARect, bool& Handled)>;
using TTouchHeaderMouseEvent = std::function<void(TCustomTouchListview* Sender, TMouseButton MouseButton, TShiftState Shift, int X, int Y, TTouchColumn* Column)>;
using TTouchHeaderMouseMoveEvent = std::function<void(TCustomTouchListview* Sender, TShiftState Shift, int X, int Y)>;
using TTouchHintCustomInfoEvent = std::function<void(TCustomTouchListview* Sender, TTouchCollectionItem* TargetObj, TTouchHintInfo* Info)>;
using TTouchHintCustomDrawEvent = std::function<void(TCustomTouchListview* Sender, TTouchCollectionItem* TargetObj, TTouchHintInfo* Info)>;
using TTouchHeaderDblClickEvent = std::function<void(TCustomTouchListview* Sender, TMouseButton MouseButton, win::POINT MousePos, TShiftState ShiftState)>;

}  // namespace dashtune
