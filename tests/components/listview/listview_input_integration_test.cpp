// The list view's input on a real display (Xvfb), driven by xdotool through the X11 presenter:
// tapping a tile raises OnItemClick, a double tap OnItemDblClick, a header button dragged onto
// another reorders the columns, and a tap that moves the focus to another list changes the look
// of the first on the screen.
#include <gtest/gtest.h>

#include <spawn.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "classlib/form.h"
#include "components/listview/listview.h"
#include "platform/com/com_init.h"
#include "platform/present/presenter.h"
#include "platform_test_support.h"
#include "xvfb_server.h"

// Xlib after GoogleTest: its macros (None, Bool) would break GoogleTest's own names.
#include <X11/Xlib.h>
#include <X11/Xutil.h>

extern char** environ;

namespace dashtune {
namespace {

using testing::XvfbServer;

// Runs xdotool with `args` on `display`; true when it ran and succeeded.
bool XDoTool(const std::string& display, const std::vector<std::string>& args) {
  std::vector<std::string> env_text{"DISPLAY=" + display};
  for (char** e = environ; *e != nullptr; ++e)
    if (std::string(*e).rfind("DISPLAY=", 0) != 0) env_text.emplace_back(*e);
  std::vector<char*> env;
  for (std::string& e : env_text) env.push_back(e.data());
  env.push_back(nullptr);
  std::vector<std::string> argv_text{"xdotool"};
  argv_text.insert(argv_text.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& a : argv_text) argv.push_back(a.data());
  argv.push_back(nullptr);
  pid_t pid = 0;
  if (posix_spawnp(&pid, "xdotool", nullptr, nullptr, argv.data(), env.data()) != 0) return false;
  int status = 0;
  if (waitpid(pid, &status, 0) != pid) return false;
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

std::string Text(int value) { return std::to_string(value); }

class ListviewInputIntegration : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(server_.Running()) << "Xvfb could not be started";
    presenter_ = win::present::X11Presenter::Open(server_.Display().c_str());
    ASSERT_NE(presenter_, nullptr);
    ASSERT_TRUE(win::SUCCEEDED(win::OleInitialize(nullptr)));
    form_ = std::make_unique<TForm>(nullptr);
    form_->SetBounds(0, 0, 620, 300);
    tiles_ = new TTouchListview(form_.get());
    tiles_->SetParent(form_.get());
    tiles_->SetBounds(0, 0, 300, 240);
    tiles_->SetView(elsTile);
    tiles_->GetFont()->SetName("DejaVu Sans");
    tiles_->GetFont()->SetHeight(14);
    tiles_->OnItemGetCaption = [](TCustomTouchListview*, TTouchItem* item, int, WideString& caption) {
      caption = u"Titel " + WideString(1, static_cast<char16_t>(u'1' + item->GetIndex()));
    };
    for (int i = 0; i < 4; ++i) tiles_->GetItems()->AddVirtual();
    tiles_->OnItemClick = [this](TCustomTouchListview*, TTouchItem* item, TMouseButton, TShiftState, win::POINT) {
      events_.push_back("click " + Text(item->GetIndex()));
    };
    tiles_->OnItemDblClick = [this](TCustomTouchListview*, TTouchItem* item, TMouseButton, TShiftState, win::POINT) {
      events_.push_back("dblclick " + Text(item->GetIndex()));
    };

    report_ = new TTouchListview(form_.get());
    report_->SetParent(form_.get());
    report_->SetBounds(310, 0, 300, 240);
    report_->SetView(elsReport);
    report_->GetHeader()->SetVisible(true);
    report_->GetHeader()->SetDraggable(true);
    for (const char16_t* caption : {u"A", u"B", u"C"}) {
      TTouchColumn* column = report_->GetHeader()->GetColumns()->AddColumn();
      column->SetCaption(caption);
      column->SetWidth(90);
    }
    form_->Show();
    report_->RegisterDropTarget();
    ASSERT_TRUE(presenter_->Flush());
  }
  void TearDown() override {
    form_.reset();
    presenter_.reset();
    win::OleUninitialize();
  }

  // The centre of an item's caption, in screen coordinates.
  win::POINT CaptionOnScreen(TTouchListview* list, int index) {
    TTouchRectArrayObject rects;
    list->GetItems()->GetItem(index)->ItemRects(nullptr, list->GetCanvas(), rects);
    const win::RECT text = list->GetScrollbars()->MapViewRectToWindow(rects.LabelRect);
    return list->ClientToScreen({(text.left + text.right) / 2, (text.top + text.bottom) / 2});
  }
  std::string Order() {
    std::string order;
    const TList& positions = report_->GetHeader()->GetColumns()->GetPositions();
    for (int i = 0; i < positions.GetCount(); ++i)
      order += static_cast<char>(static_cast<TTouchColumn*>(positions.Get(i))->GetCaption()[0]);
    return order;
  }
  bool Pump(const std::function<bool()>& done) { return testing::PumpUntil(done, std::chrono::seconds(20)); }
  // The tile list as the screen shows it (read from the root window), once what is pending has
  // been painted and put on the screen.
  std::vector<std::uint32_t> TilesOnScreen() {
    win::MSG msg{};
    while (win::PeekMessageA(&msg, nullptr, 0, 0, win::PM_REMOVE)) {
      win::TranslateMessage(&msg);
      win::DispatchMessageA(&msg);
    }
    std::vector<std::uint32_t> pixels;
    if (!presenter_->Flush()) return pixels;
    Display* peer = XOpenDisplay(server_.Display().c_str());
    if (peer == nullptr) return pixels;
    const win::POINT origin = tiles_->ClientToScreen({0, 0});
    const int width = tiles_->GetClientWidth(), height = tiles_->GetClientHeight();
    if (XImage* shot = XGetImage(peer, DefaultRootWindow(peer), origin.x, origin.y, static_cast<unsigned>(width),
                                 static_cast<unsigned>(height), AllPlanes, ZPixmap)) {
      for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) pixels.push_back(static_cast<std::uint32_t>(XGetPixel(shot, x, y) & 0xFFFFFF));
      XDestroyImage(shot);
    }
    XCloseDisplay(peer);
    return pixels;
  }

  XvfbServer server_{640, 320};
  std::unique_ptr<win::present::X11Presenter> presenter_;
  std::unique_ptr<TForm> form_;
  TTouchListview* tiles_ = nullptr;   // owned by the form
  TTouchListview* report_ = nullptr;  // owned by the form
  std::vector<std::string> events_;
};

TEST_F(ListviewInputIntegration, TappingATileRaisesOnItemClickAndADoubleTapOnItemDblClick) {
  const win::POINT third = CaptionOnScreen(tiles_, 2);
  ASSERT_TRUE(XDoTool(server_.Display(), {"mousemove", Text(third.x), Text(third.y), "click", "1"}));
  ASSERT_TRUE(Pump([&] { return !events_.empty(); }));
  EXPECT_EQ(events_, (std::vector<std::string>{"click 2"}));
  EXPECT_EQ(tiles_->GetSelection()->GetFocusedItem(), tiles_->GetItems()->GetItem(2));

  events_.clear();
  const win::POINT first = CaptionOnScreen(tiles_, 0);
  ASSERT_TRUE(XDoTool(server_.Display(), {"mousemove", Text(first.x), Text(first.y), "click", "--repeat", "2",
                                          "--delay", "60", "1"}));
  ASSERT_TRUE(Pump([&] { return events_.size() >= 2; }));
  EXPECT_EQ(events_, (std::vector<std::string>{"click 0", "dblclick 0"}));
}

TEST_F(ListviewInputIntegration, AHeaderButtonDraggedOntoAnotherReordersTheColumns) {
  const win::POINT a = report_->ClientToScreen({45, 10});
  const win::POINT c = report_->ClientToScreen({225, 10});
  ASSERT_TRUE(XDoTool(server_.Display(), {"mousemove", Text(a.x), Text(a.y), "mousedown", "1", "mousemove",
                                          Text(a.x + 20), Text(a.y), "mousemove", Text(c.x), Text(c.y), "mouseup",
                                          "1"}));
  ASSERT_TRUE(Pump([&] { return Order() != "ABC"; })) << Order();
  EXPECT_EQ(Order(), "BCA");
}

TEST_F(ListviewInputIntegration, ATapOnAnotherListTakesTheActiveLookOffTheScreen) {
  constexpr std::uint32_t kActive = 0xFF0000;    // clRed
  constexpr std::uint32_t kInactive = 0x00FF00;  // clLime
  TTouchSelectionManager* selection = tiles_->GetSelection();
  selection->SetColor(clRed);
  selection->SetBorderColor(clRed);
  selection->SetInactiveColor(clLime);
  selection->SetInactiveBorderColor(clLime);
  tiles_->OnItemGetTileDetailCount = [](TCustomTouchListview*, TTouchItem*, int& lines) { lines = 1; };
  const auto count = [](const std::vector<std::uint32_t>& pixels, std::uint32_t colour) {
    return std::count(pixels.begin(), pixels.end(), colour);
  };
  const win::POINT tile = CaptionOnScreen(tiles_, 1);
  ASSERT_TRUE(XDoTool(server_.Display(), {"mousemove", Text(tile.x), Text(tile.y), "click", "1"}));
  ASSERT_TRUE(Pump([&] { return tiles_->Focused() && !events_.empty(); }));
  const std::vector<std::uint32_t> active = TilesOnScreen();
  EXPECT_GT(count(active, kActive), 0);
  EXPECT_EQ(count(active, kInactive), 0);

  // A tap below the report's rows gives the report the focus.
  const win::POINT report = report_->ClientToScreen({150, 200});
  ASSERT_TRUE(XDoTool(server_.Display(), {"mousemove", Text(report.x), Text(report.y), "click", "1"}));
  ASSERT_TRUE(Pump([&] { return report_->Focused(); }));
  const std::vector<std::uint32_t> after_tap = TilesOnScreen();
  EXPECT_EQ(count(after_tap, kActive), 0);
  EXPECT_GT(count(after_tap, kInactive), 0);
  tiles_->Invalidate();
  EXPECT_TRUE(after_tap == TilesOnScreen()) << "a forced repaint changed what the screen showed";
}

}  // namespace
}  // namespace dashtune
