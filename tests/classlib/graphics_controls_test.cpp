// The control base: windows made on demand, the message procedure and its replacement, mouse
// and click order, graphic children, bounds and resize events, font and colour inheritance,
// forms closing, and the screen's cursor table.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "classlib/bitmap.h"
#include "classlib/controls.h"
#include "classlib/form.h"
#include "classlib/forms.h"
#include "platform/user/cursors.h"
#include "platform/user/messages.h"
#include "platform/user/window.h"
#include "platform/user/input_state.h"
#include "platform/user/surfaces.h"
#include "platform/user/window_position.h"

namespace dashtune {
namespace {

class TRecordingControl : public TCustomControl {
 public:
  using TCustomControl::TCustomControl;
  std::vector<win::UINT> messages;
  int paints = 0;
  void WndProc(TMessage& Message) override {
    messages.push_back(Message.Msg);
    TCustomControl::WndProc(Message);
  }

 protected:
  void Paint() override {
    ++paints;
    GetCanvas()->GetBrush()->SetColor(clRed);
    GetCanvas()->FillRect(win::RECT{0, 0, 2, 2});
  }
};

class TRecordingGraphic : public TGraphicControl {
 public:
  using TGraphicControl::TGraphicControl;
  int paints = 0;

 protected:
  void Paint() override {
    ++paints;
    GetCanvas()->GetBrush()->SetColor(clBlue);
    GetCanvas()->FillRect(win::RECT{0, 0, GetWidth(), GetHeight()});
  }
};

win::LPARAM Point(int x, int y) { return win::MAKELPARAM(static_cast<win::WORD>(x), static_cast<win::WORD>(y)); }

void PumpAll() {
  win::MSG msg{};
  while (win::PeekMessageA(&msg, nullptr, 0, 0, win::PM_REMOVE)) {
    win::TranslateMessage(&msg);
    win::DispatchMessageA(&msg);
  }
}

TEST(Controls, WindowsAreMadeOnDemandParentFirst) {
  TForm form(nullptr);
  auto* child = new TRecordingControl(&form);
  child->SetParent(&form);
  child->SetBounds(5, 6, 20, 10);
  EXPECT_FALSE(form.HandleAllocated());
  EXPECT_FALSE(child->HandleAllocated());
  win::HWND window = child->GetHandle();
  EXPECT_TRUE(form.HandleAllocated());
  EXPECT_EQ(win::GetParent(window), form.GetHandle());
  win::RECT client{};
  win::GetClientRect(window, &client);
  EXPECT_EQ(client.right, 20);
  EXPECT_EQ(client.bottom, 10);
}

TEST(Controls, WindowProcCanBeReplacedAndRestored) {
  TForm form(nullptr);
  auto* child = new TRecordingControl(&form);
  child->SetParent(&form);
  constexpr win::UINT kPrivate = win::WM_USER + 7;
  EXPECT_EQ(child->Perform(kPrivate, 1, 2), 0);
  ASSERT_FALSE(child->messages.empty());
  EXPECT_EQ(child->messages.back(), kPrivate);
  auto saved = child->WindowProc;
  std::vector<win::UINT> seen;
  child->WindowProc = [&](TMessage& m) {
    seen.push_back(m.Msg);
    if (m.Msg == kPrivate) m.Result = 42;
    else saved(m);
  };
  EXPECT_EQ(win::SendMessageA(child->GetHandle(), kPrivate, 0, 0), 42);
  EXPECT_EQ(seen.back(), kPrivate);
  child->WindowProc = saved;
  EXPECT_EQ(child->Perform(kPrivate, 0, 0), 0);
}

TEST(Controls, ClickComesBetweenMouseDownAndMouseUpOnlyInside) {
  TForm form(nullptr);
  auto* child = new TRecordingControl(&form);
  child->SetParent(&form);
  child->SetBounds(0, 0, 30, 30);
  std::string events;
  child->OnMouseDown = [&](TObject*, TMouseButton b, TShiftState, int x, int y) {
    events += "down" + std::to_string(b) + "@" + std::to_string(x) + "," + std::to_string(y) + ";";
  };
  child->OnClick = [&](TObject*) { events += "click;"; };
  child->OnMouseUp = [&](TObject*, TMouseButton, TShiftState, int, int) { events += "up;"; };
  child->OnDblClick = [&](TObject*) { events += "dbl;"; };
  child->Perform(win::WM_LBUTTONDOWN, win::MK_LBUTTON, Point(3, 4));
  child->Perform(win::WM_LBUTTONUP, 0, Point(3, 4));
  EXPECT_EQ(events, "down0@3,4;click;up;");
  events.clear();
  child->Perform(win::WM_LBUTTONDOWN, win::MK_LBUTTON, Point(3, 4));
  child->Perform(win::WM_LBUTTONUP, 0, Point(40, 4));  // released outside: no click
  child->Perform(win::WM_RBUTTONDOWN, win::MK_RBUTTON, Point(1, 1));
  child->Perform(win::WM_RBUTTONUP, 0, Point(1, 1));   // right button: no click
  child->Perform(win::WM_LBUTTONDBLCLK, 1, Point(1, 1));
  EXPECT_EQ(events, "down0@3,4;up;down1@1,1;up;dbl;down0@1,1;");
}

TEST(Controls, GraphicChildrenGetTheirMouseInLocalCoordinatesAndPaintInTheParent) {
  TForm form(nullptr);
  form.SetBounds(0, 0, 40, 30);
  auto* graphic = new TRecordingGraphic(&form);
  graphic->SetParent(&form);
  graphic->SetBounds(10, 5, 6, 4);
  int got_x = -1, got_y = -1;
  graphic->OnMouseDown = [&](TObject*, TMouseButton, TShiftState, int x, int y) {
    got_x = x;
    got_y = y;
  };
  form.Perform(win::WM_LBUTTONDOWN, win::MK_LBUTTON, Point(12, 7));
  form.Perform(win::WM_LBUTTONUP, 0, Point(12, 7));
  EXPECT_EQ(got_x, 2);
  EXPECT_EQ(got_y, 2);
  EXPECT_EQ(form.ControlAtPos(win::POINT{15, 8}), graphic);
  EXPECT_EQ(form.ControlAtPos(win::POINT{16, 8}), nullptr);

  // Painting the form into a bitmap paints the child at its place, clipped to its bounds.
  TBitmap target;
  target.SetPixelFormat(pf32bit);
  target.SetSize(40, 30);
  form.Perform(win::WM_PAINT, reinterpret_cast<win::WPARAM>(target.GetCanvas()->GetHandle()), 0);
  EXPECT_EQ(graphic->paints, 1);
  EXPECT_EQ(target.GetCanvas()->GetPixel(10, 5), clBlue);
  EXPECT_EQ(target.GetCanvas()->GetPixel(15, 8), clBlue);
  EXPECT_EQ(target.GetCanvas()->GetPixel(16, 8), clWhite);
  EXPECT_EQ(target.GetCanvas()->GetPixel(9, 5), clWhite);
}

TEST(Controls, BoundsChangesResizeOnceAndCanBeRefused) {
  TForm form(nullptr);
  auto* child = new TRecordingControl(&form);
  child->SetParent(&form);
  int resizes = 0;
  child->OnResize = [&](TObject*) { ++resizes; };
  child->SetBounds(1, 2, 30, 40);
  child->SetBounds(1, 2, 30, 40);
  child->SetLeft(5);  // a move is no resize
  EXPECT_EQ(resizes, 1);
  child->OnCanResize = [](TObject*, int& w, int&, bool& allow) { allow = w <= 50; };
  child->SetWidth(60);
  EXPECT_EQ(child->GetWidth(), 30);
  child->OnConstrainedResize = [](TObject*, int& min_w, int&, int&, int& max_h) {
    min_w = 20;
    max_h = 25;
  };
  child->SetBounds(5, 2, 10, 100);
  EXPECT_EQ(child->GetWidth(), 20);
  EXPECT_EQ(child->GetHeight(), 25);
  win::RECT window{};
  win::GetWindowRect(child->GetHandle(), &window);
  EXPECT_EQ(window.right - window.left, 20);
}

TEST(Controls, ChildrenFollowTheParentFontAndColourUntilTheyChangeTheirOwn) {
  TForm form(nullptr);
  auto* child = new TRecordingControl(&form);
  child->SetParent(&form);
  form.GetFont()->SetHeight(-20);
  form.SetColor(clNavy);
  EXPECT_EQ(child->GetFont()->GetHeight(), -20);
  EXPECT_EQ(child->GetColor(), clNavy);
  child->GetFont()->SetHeight(-9);
  child->SetColor(clBlack);
  EXPECT_FALSE(child->GetParentFont());
  EXPECT_FALSE(child->GetParentColor());
  form.GetFont()->SetHeight(-30);
  form.SetColor(clTeal);
  EXPECT_EQ(child->GetFont()->GetHeight(), -9);
  EXPECT_EQ(child->GetColor(), clBlack);
}

TEST(Controls, InvalidationsCoalesceIntoOnePaint) {
  TForm form(nullptr);
  form.SetBounds(0, 0, 50, 40);
  auto* child = new TRecordingControl(&form);
  child->SetParent(&form);
  child->SetBounds(0, 0, 10, 10);
  form.Show();
  PumpAll();
  const int before = child->paints;
  child->Invalidate();
  child->Invalidate();
  child->Invalidate();
  PumpAll();
  EXPECT_EQ(child->paints, before + 1);
  child->Hide();
  child->Invalidate();
  PumpAll();
  EXPECT_EQ(child->paints, before + 1);
}

TEST(Controls, AShownFormErasesInItsColourAndChildrenPaintIntoTheWindow) {
  TForm form(nullptr);
  form.SetBounds(0, 0, 30, 20);
  form.SetColor(clTeal);
  auto* child = new TRecordingControl(&form);
  child->SetParent(&form);
  child->SetBounds(4, 3, 10, 8);
  child->SetColor(clWhite);
  auto* graphic = new TRecordingGraphic(&form);
  graphic->SetParent(&form);
  graphic->SetBounds(20, 10, 3, 3);
  form.Show();
  PumpAll();
  win::WindowPixels pixels;
  ASSERT_TRUE(win::ReadWindowPixels(form.GetHandle(), &pixels));
  EXPECT_EQ(pixels.At(0, 0), 0x008080u);   // the form's colour (teal) as 0xRRGGBB
  EXPECT_EQ(pixels.At(4, 3), 0xFF0000u);   // the child's Paint: red 2 x 2 at its origin
  EXPECT_EQ(pixels.At(5, 4), 0xFF0000u);
  EXPECT_EQ(pixels.At(6, 3), 0xFFFFFFu);   // the child's background
  EXPECT_EQ(pixels.At(20, 10), 0x0000FFu); // the graphic child, blue
  EXPECT_EQ(pixels.At(23, 10), 0x008080u);
}

TEST(Controls, DrawingOnTheCanvasOutsidePaintReachesTheWindowAtOnce) {
  TForm form(nullptr);
  form.SetBounds(0, 0, 20, 20);
  form.SetColor(clWhite);
  auto* child = new TRecordingControl(&form);
  child->SetParent(&form);
  child->SetBounds(5, 5, 10, 10);
  child->SetColor(clWhite);
  form.Show();
  PumpAll();
  int notices = 0;
  win::SetSurfaceListener([&](win::HWND) { ++notices; });
  TCanvas* canvas = child->GetCanvas();
  canvas->GetPen()->SetColor(clBlue);
  canvas->MoveTo(0, 9);
  canvas->LineTo(4, 9);
  canvas->LineTo(4, 5);  // continues from the pen position of the released context
  win::SetSurfaceListener(nullptr);
  EXPECT_GE(notices, 2);
  win::WindowPixels pixels;
  ASSERT_TRUE(win::ReadWindowPixels(form.GetHandle(), &pixels));
  EXPECT_EQ(pixels.At(5, 14), 0x0000FFu);
  EXPECT_EQ(pixels.At(8, 14), 0x0000FFu);
  EXPECT_EQ(pixels.At(9, 11), 0x0000FFu);
  EXPECT_EQ(pixels.At(9, 10), 0xFFFFFFu);  // LineTo leaves its end point
}

TEST(Controls, WheelEventsAndAWindowDestroyedFromOutside) {
  TForm form(nullptr);
  auto* child = new TRecordingControl(&form);
  child->SetParent(&form);
  std::string events;
  child->OnMouseWheelDown = [&](TObject*, TShiftState, win::POINT, bool& handled) {
    events += "down;";
    handled = true;
  };
  child->OnMouseWheelUp = [&](TObject*, TShiftState, win::POINT, bool&) { events += "up;"; };
  const auto wheel = [](int delta) { return static_cast<win::WPARAM>(static_cast<std::uint16_t>(delta)) << 16; };
  EXPECT_EQ(child->Perform(win::WM_MOUSEWHEEL, wheel(-120), 0), 1);
  child->Perform(win::WM_MOUSEWHEEL, wheel(120), 0);
  EXPECT_EQ(events, "down;up;");

  win::HWND window = child->GetHandle();
  win::DestroyWindow(form.GetHandle());  // takes the child's window with it
  EXPECT_FALSE(win::IsWindow(window));
  EXPECT_FALSE(child->HandleAllocated());
  EXPECT_FALSE(form.HandleAllocated());
  EXPECT_NE(child->GetHandle(), nullptr);  // made again on demand
}

TEST(Controls, AGraphicControlsCanvasDrawsAtItsPlaceClippedToIt) {
  TForm form(nullptr);
  form.SetBounds(0, 0, 20, 20);
  form.SetColor(clWhite);
  auto* graphic = new TRecordingGraphic(&form);
  graphic->SetParent(&form);
  graphic->SetBounds(6, 4, 5, 5);
  form.Show();
  PumpAll();
  TCanvas* canvas = graphic->GetCanvas();
  canvas->GetBrush()->SetColor(clRed);
  canvas->FillRect(win::RECT{-3, -3, 20, 20});
  win::WindowPixels pixels;
  ASSERT_TRUE(win::ReadWindowPixels(form.GetHandle(), &pixels));
  EXPECT_EQ(pixels.At(6, 4), 0xFF0000u);
  EXPECT_EQ(pixels.At(10, 8), 0xFF0000u);
  EXPECT_EQ(pixels.At(5, 4), 0xFFFFFFu);
  EXPECT_EQ(pixels.At(11, 8), 0xFFFFFFu);
  EXPECT_EQ(pixels.At(10, 9), 0xFFFFFFu);
}

TEST(Controls, AnExceptionFromAHandlerGoesToTheApplication) {
  TForm form(nullptr);
  auto* child = new TRecordingControl(&form);
  child->SetParent(&form);
  child->SetBounds(0, 0, 10, 10);
  child->OnClick = [](TObject*) { throw EInvalidOperation("click failed"); };
  std::string seen;
  TObject* sender = nullptr;
  Application->OnException = [&](TObject* s, const Exception& e) {
    sender = s;
    seen = e.GetMessage();
  };
  win::SendMessageA(child->GetHandle(), win::WM_LBUTTONDOWN, win::MK_LBUTTON, Point(1, 1));
  win::SendMessageA(child->GetHandle(), win::WM_LBUTTONUP, 0, Point(1, 1));
  Application->OnException = nullptr;
  EXPECT_EQ(seen, "click failed");
  EXPECT_EQ(sender, child);
}

TEST(Controls, AlignedChildrenShareTheClientAreaAndFollowItsSize) {
  TForm form(nullptr);
  form.SetBounds(0, 0, 100, 80);
  const auto add = [&](TAlign align, int w, int h) {
    auto* child = new TRecordingControl(&form);
    child->SetParent(&form);
    child->SetBounds(0, 0, w, h);
    child->SetAlign(align);
    return child;
  };
  TControl* top = add(alTop, 5, 10);
  TControl* bottom = add(alBottom, 5, 6);
  TControl* left = add(alLeft, 20, 5);
  TControl* client = add(alClient, 1, 1);
  const auto bounds = [](TControl* c) {
    const win::RECT r = c->GetBoundsRect();
    return std::to_string(r.left) + "," + std::to_string(r.top) + "," + std::to_string(r.right) + "," +
           std::to_string(r.bottom);
  };
  EXPECT_EQ(bounds(top), "0,0,100,10");
  EXPECT_EQ(bounds(bottom), "0,74,100,80");
  EXPECT_EQ(bounds(left), "0,10,20,74");
  EXPECT_EQ(bounds(client), "20,10,100,74");
  form.SetBounds(0, 0, 60, 50);
  EXPECT_EQ(bounds(bottom), "0,44,60,50");
  EXPECT_EQ(bounds(client), "20,10,60,44");
  top->Hide();
  EXPECT_EQ(bounds(client), "20,0,60,44");
  left->SetWidth(30);  // an aligned child keeps its width and stays at its side
  EXPECT_EQ(bounds(left), "0,0,30,44");
  EXPECT_EQ(bounds(client), "30,0,60,44");
}

TEST(Controls, HidingAndReparentingMoveTheWindow) {
  TForm first(nullptr);
  TForm second(nullptr);
  auto* child = new TRecordingControl(&first);
  child->SetParent(&first);
  child->SetBounds(0, 0, 5, 5);
  first.Show();
  second.Show();
  EXPECT_TRUE(win::IsWindowVisible(child->GetHandle()));
  child->Hide();
  EXPECT_FALSE(win::IsWindowVisible(child->GetHandle()));
  EXPECT_FALSE(child->GetShowing());
  child->Show();
  child->SetParent(&second);
  EXPECT_EQ(first.GetControlCount(), 0);
  EXPECT_EQ(second.GetControl(0), child);
  EXPECT_EQ(win::GetParent(child->GetHandle()), second.GetHandle());
  EXPECT_TRUE(child->GetShowing());
  child->SetParent(nullptr);
  EXPECT_FALSE(child->HandleAllocated());
}

TEST(Controls, KeysAndFocusReachTheirEvents) {
  TForm form(nullptr);
  auto* child = new TRecordingControl(&form);
  child->SetParent(&form);
  child->SetBounds(0, 0, 5, 5);
  form.Show();
  std::string events;
  child->OnEnter = [&](TObject*) { events += "enter;"; };
  child->OnExit = [&](TObject*) { events += "exit;"; };
  child->OnKeyDown = [&](TObject*, std::uint16_t& key, TShiftState) {
    events += "key" + std::to_string(key) + ";";
    if (key == 27) key = 0;
  };
  child->OnKeyPress = [&](TObject*, char& key) {
    events += std::string("press") + key + ";";
    key = 'B';
  };
  child->SetFocus();
  EXPECT_TRUE(child->Focused());
  child->Perform(win::WM_KEYDOWN, 65, 0);
  child->Perform(win::WM_KEYDOWN, 27, 0);
  child->Perform(win::WM_CHAR, 'a', 0);
  form.SetFocus();
  EXPECT_EQ(events, "enter;key65;key27;pressa;exit;");
  child->SetEnabled(false);
  EXPECT_THROW(child->SetFocus(), EInvalidOperation);
}

TEST(Screen, TheScreenCursorOverridesTheControlsCursor) {
  TForm form(nullptr);
  form.SetBounds(0, 0, 10, 10);
  form.SetCursor(crHandPoint);
  form.Show();
  win::SetCursorPos(2, 2);
  const auto set_cursor = [&] {
    form.Perform(win::WM_SETCURSOR, reinterpret_cast<win::WPARAM>(form.GetHandle()), win::HTCLIENT);
    return win::GetCursor();
  };
  EXPECT_EQ(set_cursor(), Screen->GetCursors(crHandPoint));
  Screen->SetCursor(crHourGlass);
  EXPECT_EQ(set_cursor(), Screen->GetCursors(crHourGlass));
  Screen->SetCursor(crDefault);
  EXPECT_EQ(set_cursor(), Screen->GetCursors(crHandPoint));
}

TEST(Forms, CloseAsksCloseQueryAndTheCloseActionDecides) {
  TForm form(nullptr);
  form.Show();
  bool allow = false;
  form.OnCloseQuery = [&](TObject*, bool& can_close) { can_close = allow; };
  form.Close();
  EXPECT_TRUE(form.GetVisible());
  allow = true;
  TCloseAction chosen = caNone;
  form.OnClose = [&](TObject*, TCloseAction& action) {
    EXPECT_EQ(action, caHide);
    action = chosen;
  };
  form.Close();
  EXPECT_TRUE(form.GetVisible());  // caNone keeps it
  chosen = caHide;
  form.Perform(win::WM_CLOSE, 0, 0);
  EXPECT_FALSE(form.GetVisible());
}

TEST(Forms, CaFreeFreesTheFormAfterItsMessages) {
  auto* form = new TForm(nullptr);
  form->Show();
  form->OnClose = [](TObject*, TCloseAction& action) { action = caFree; };
  const int forms = Screen->GetFormCount();
  form->Close();
  EXPECT_EQ(Screen->GetFormCount(), forms);  // still there until its messages are handled
  PumpAll();
  EXPECT_EQ(Screen->GetFormCount(), forms - 1);
}

TEST(Screen, CursorTableInstallsReplacesAndFallsBackToTheDefault) {
  const win::HCURSOR arrow = Screen->GetCursors(crDefault);
  EXPECT_NE(arrow, nullptr);
  EXPECT_EQ(Screen->GetCursors(12345), arrow);
  EXPECT_EQ(Screen->GetCursors(crNone), nullptr);
  EXPECT_NE(Screen->GetCursors(crHandPoint), nullptr);
  const win::HCURSOR split = win::LoadCursorA(nullptr, win::IDC_SIZEWE);
  Screen->SetCursors(768, split);
  EXPECT_EQ(Screen->GetCursors(768), split);
  Screen->SetCursors(768, nullptr);
  EXPECT_EQ(Screen->GetCursors(768), arrow);
  EXPECT_GT(Screen->GetWidth(), 0);
  EXPECT_EQ(Screen->GetPixelsPerInch(), 96);
}

}  // namespace
}  // namespace dashtune

#include "classlib/hint_window.h"
#include "platform/text/font.h"

namespace dashtune {
namespace {

TEST(HintWindow, MeasuresShowsPaintsAndHides) {
  THintWindow hint(nullptr);
  hint.GetFont()->SetName(win::text::kFixedMetricsFaceName);
  hint.GetFont()->SetHeight(10);  // advance 5, boxes of 4 columns
  const win::RECT needed = hint.CalcHintRect(1000, "ab cd", nullptr);
  EXPECT_EQ(needed.left, 0);
  EXPECT_EQ(needed.right, 5 * 5 + 6);
  EXPECT_EQ(needed.bottom, 10 + 2);
  const win::RECT wrapped = hint.CalcHintRect(12, "ab cd", nullptr);
  EXPECT_EQ(wrapped.bottom, 2 * 10 + 2);  // two lines

  hint.ActivateHint(win::RECT{30, 40, 30 + needed.right, 40 + needed.bottom}, "ab cd");
  EXPECT_TRUE(win::IsWindowVisible(hint.GetHandle()));
  win::RECT shown{};
  win::GetWindowRect(hint.GetHandle(), &shown);
  EXPECT_EQ(shown.left, 30);
  EXPECT_EQ(shown.top, 40);
  PumpAll();
  win::WindowPixels pixels;
  ASSERT_TRUE(win::ReadWindowPixels(hint.GetHandle(), &pixels));
  const auto rgb = [](TColor c) {
    const win::COLORREF v = ColorToRGB(c);
    return ((v & 0xFF) << 16) | (v & 0xFF00) | ((v >> 16) & 0xFF);
  };
  EXPECT_EQ(pixels.At(2, 2), rgb(clInfoText));  // first box, inset by 2
  EXPECT_EQ(pixels.At(1, 1), rgb(clInfoBk));

  win::MSG msg{};
  for (win::UINT m : {win::WM_KEYDOWN, win::WM_LBUTTONDOWN, win::WM_MOUSEWHEEL, win::WM_COMMAND}) {
    msg.message = m;
    EXPECT_TRUE(hint.IsHintMsg(msg)) << m;
  }
  for (win::UINT m : {win::WM_MOUSEMOVE, win::WM_PAINT, win::WM_TIMER}) {
    msg.message = m;
    EXPECT_FALSE(hint.IsHintMsg(msg)) << m;
  }
  hint.ReleaseHandle();
  EXPECT_FALSE(hint.HandleAllocated());
  EXPECT_FALSE(hint.GetVisible());
}

}  // namespace
}  // namespace dashtune
