// In-process drag and drop: registration rules, and DoDragDrop's loop driven by posted mouse and
// key messages (enter, over, leave and drop in order; Escape; a refused drop; WM_QUIT reposted).
#include "platform/ole/drag_drop.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "../user/user_test_window.h"
#include "platform/com/com_init.h"
#include "platform/com/com_ptr.h"
#include "platform/core/process.h"
#include "platform/user/messages.h"
#include "platform/user/virtual_keys.h"
#include "platform/user/window.h"
#include "platform_test_support.h"

namespace win {
namespace {

using dashtune::testing::kRecordingClass;
using dashtune::testing::RegisterRecordingClass;

// Records every call with the point in screen coordinates, and answers `answer` as its effect.
class RecordingTarget : public ComObject<IDropTarget> {
 public:
  HRESULT DragEnter(IDataObject* data, DWORD keys, POINTL point, DROPEFFECT* effect) override {
    entered_with = data;
    return Answer("enter", keys, point, effect);
  }
  HRESULT DragOver(DWORD keys, POINTL point, DROPEFFECT* effect) override { return Answer("over", keys, point, effect); }
  HRESULT DragLeave() override {
    calls.push_back("leave");
    return S_OK;
  }
  HRESULT Drop(IDataObject*, DWORD keys, POINTL point, DROPEFFECT* effect) override {
    return Answer("drop", keys, point, effect);
  }

  std::vector<std::string> calls;
  IDataObject* entered_with = nullptr;
  DROPEFFECT answer = DROPEFFECT_MOVE;
  DROPEFFECT offered = DROPEFFECT_NONE;

 private:
  HRESULT Answer(const char* what, DWORD keys, POINTL point, DROPEFFECT* effect) {
    calls.push_back(std::string(what) + " " + std::to_string(point.x) + "," + std::to_string(point.y) +
                    ((keys & MK_LBUTTON) ? " L" : ""));
    offered = *effect;
    *effect = answer;
    return S_OK;
  }
};

// Drops when the left button is up, cancels on Escape: what a program's drag source does.
class LeftButtonSource : public ComObject<IDropSource> {
 public:
  HRESULT QueryContinueDrag(BOOL escape, DWORD keys) override {
    ++queries;
    if (escape) return DRAGDROP_S_CANCEL;
    return (keys & MK_LBUTTON) ? S_OK : DRAGDROP_S_DROP;
  }
  HRESULT GiveFeedback(DROPEFFECT effect) override {
    feedback.push_back(effect);
    return DRAGDROP_S_USEDEFAULTCURSORS;
  }
  int queries = 0;
  std::vector<DROPEFFECT> feedback;
};

LPARAM At(int x, int y) { return MAKELPARAM(static_cast<WORD>(x), static_cast<WORD>(y)); }

class DragDropTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(SUCCEEDED(OleInitialize(nullptr)));
    RegisterRecordingClass();
    // Far from other tests' windows: the source at x 4000, the target at x 4200 (both at y 4000).
    source_window_ = CreateWindowExA(0, kRecordingClass, "source", WS_POPUP | WS_VISIBLE, 4000, 4000, 100, 100,
                                     nullptr, nullptr, nullptr, nullptr);
    target_window_ = CreateWindowExA(0, kRecordingClass, "target", WS_POPUP | WS_VISIBLE, 4200, 4000, 100, 100,
                                     nullptr, nullptr, nullptr, nullptr);
    child_window_ = CreateWindowExA(0, kRecordingClass, "child", WS_CHILD | WS_VISIBLE, 10, 10, 30, 30, target_window_,
                                    nullptr, nullptr, nullptr);
    target_ = MakeCom<RecordingTarget>();
    source_ = MakeCom<LeftButtonSource>();
    data_ = MakeCom<DataObject>();
    dashtune::testing::PumpPending();  // the new windows' first paint
  }
  void TearDown() override {
    RevokeDragDrop(target_window_);
    DestroyWindow(target_window_);
    DestroyWindow(source_window_);
    OleUninitialize();
  }
  // A move of the pointer, in the source window's client coordinates (it holds the capture).
  void Move(int x, int y, WPARAM keys = MK_LBUTTON) { PostMessageA(source_window_, WM_MOUSEMOVE, keys, At(x, y)); }
  void Release(int x, int y) { PostMessageA(source_window_, WM_LBUTTONUP, 0, At(x, y)); }
  HRESULT Drag(DROPEFFECT allowed, DROPEFFECT* effect) {
    return DoDragDrop(data_.Get(), source_.Get(), allowed, effect);
  }

  HWND source_window_ = nullptr;
  HWND target_window_ = nullptr;
  HWND child_window_ = nullptr;
  ComPtr<RecordingTarget> target_;
  ComPtr<LeftButtonSource> source_;
  ComPtr<DataObject> data_;
};

TEST_F(DragDropTest, RegistrationNeedsOleAWindowAndOneTargetPerWindow) {
  EXPECT_EQ(RegisterDragDrop(target_window_, target_.Get()), S_OK);
  EXPECT_EQ(RegisterDragDrop(target_window_, target_.Get()), DRAGDROP_E_ALREADYREGISTERED);
  EXPECT_EQ(RegisterDragDrop(source_window_, nullptr), E_INVALIDARG);
  EXPECT_EQ(RegisterDragDrop(reinterpret_cast<HWND>(0x7777), target_.Get()), DRAGDROP_E_INVALIDHWND);
  EXPECT_EQ(RevokeDragDrop(target_window_), S_OK);
  EXPECT_EQ(RevokeDragDrop(target_window_), DRAGDROP_E_NOTREGISTERED);
  EXPECT_EQ(RevokeDragDrop(reinterpret_cast<HWND>(0x7777)), DRAGDROP_E_INVALIDHWND);
  OleUninitialize();
  EXPECT_EQ(RegisterDragDrop(target_window_, target_.Get()), E_OUTOFMEMORY);
  ASSERT_TRUE(SUCCEEDED(OleInitialize(nullptr)));
}

TEST_F(DragDropTest, EntersMovesOverAndDropsOnTheTargetUnderThePointer) {
  ASSERT_EQ(RegisterDragDrop(target_window_, target_.Get()), S_OK);
  Move(50, 50);    // still over the source: no target
  Move(250, 60);   // target window at (4250, 4060)
  Move(270, 70);   // target's child, whose parent's target serves it
  Release(270, 70);
  DROPEFFECT effect = 99;
  EXPECT_EQ(Drag(DROPEFFECT_MOVE | DROPEFFECT_COPY, &effect), DRAGDROP_S_DROP);
  EXPECT_EQ(effect, DROPEFFECT_MOVE);
  const std::vector<std::string> expected{"enter 4250,4060 L", "over 4270,4070 L", "drop 4270,4070"};
  EXPECT_EQ(target_->calls, expected);
  EXPECT_EQ(target_->entered_with, data_.Get());
  EXPECT_EQ(target_->offered, DROPEFFECT_MOVE | DROPEFFECT_COPY);
  EXPECT_EQ(source_->feedback, (std::vector<DROPEFFECT>{DROPEFFECT_NONE, DROPEFFECT_MOVE, DROPEFFECT_MOVE}));
}

TEST_F(DragDropTest, TheReleasedButtonCountsAsUpWhateverTheMessageSays) {
  ASSERT_EQ(RegisterDragDrop(target_window_, target_.Get()), S_OK);
  Move(250, 60);
  PostMessageA(source_window_, WM_LBUTTONUP, MK_LBUTTON, At(250, 60));  // X's state before the release
  DROPEFFECT effect = 99;
  EXPECT_EQ(Drag(DROPEFFECT_MOVE, &effect), DRAGDROP_S_DROP);
  EXPECT_EQ(target_->calls.back(), "drop 4250,4060");
}

TEST_F(DragDropTest, AnEffectOutsideTheAllowedOnesIsMaskedAndNothingLeftCancels) {
  ASSERT_EQ(RegisterDragDrop(target_window_, target_.Get()), S_OK);
  target_->answer = DROPEFFECT_LINK;
  Move(250, 60);
  Release(250, 60);
  DROPEFFECT effect = 99;
  EXPECT_EQ(Drag(DROPEFFECT_MOVE, &effect), DRAGDROP_S_CANCEL);
  EXPECT_EQ(effect, DROPEFFECT_NONE);
  EXPECT_EQ(target_->calls, (std::vector<std::string>{"enter 4250,4060 L", "leave"}));
}

TEST_F(DragDropTest, LeavingTheTargetAndReleasingElsewhereCancels) {
  ASSERT_EQ(RegisterDragDrop(target_window_, target_.Get()), S_OK);
  Move(250, 60);
  Move(20, 20);
  Release(20, 20);
  DROPEFFECT effect = 99;
  EXPECT_EQ(Drag(DROPEFFECT_MOVE, &effect), DRAGDROP_S_CANCEL);
  EXPECT_EQ(target_->calls, (std::vector<std::string>{"enter 4250,4060 L", "leave"}));
}

TEST_F(DragDropTest, EscapeCancelsAndTheTargetIsLeft) {
  ASSERT_EQ(RegisterDragDrop(target_window_, target_.Get()), S_OK);
  Move(250, 60);
  PostMessageA(source_window_, WM_KEYDOWN, VK_ESCAPE, 0);
  Release(250, 60);  // never reached: the drag ended on Escape
  DROPEFFECT effect = 99;
  EXPECT_EQ(Drag(DROPEFFECT_MOVE, &effect), DRAGDROP_S_CANCEL);
  EXPECT_EQ(target_->calls, (std::vector<std::string>{"enter 4250,4060 L", "leave"}));
  MSG left;
  ASSERT_TRUE(PeekMessageA(&left, nullptr, 0, 0, PM_REMOVE));
  EXPECT_EQ(left.message, WM_LBUTTONUP);
}

TEST_F(DragDropTest, AQuitRequestCancelsTheDragAndIsPostedAgain) {
  ASSERT_EQ(RegisterDragDrop(target_window_, target_.Get()), S_OK);
  Move(250, 60);
  PostQuitMessage(7);
  DROPEFFECT effect = 99;
  EXPECT_EQ(Drag(DROPEFFECT_MOVE, &effect), DRAGDROP_S_CANCEL);
  EXPECT_EQ(target_->calls, (std::vector<std::string>{"enter 4250,4060 L", "leave"}));
  MSG quit;
  ASSERT_TRUE(PeekMessageA(&quit, nullptr, 0, 0, PM_REMOVE));
  EXPECT_EQ(quit.message, WM_QUIT);
  EXPECT_EQ(quit.wParam, 7u);
}

TEST_F(DragDropTest, OtherMessagesReachTheirWindowsWhileInputGoesToTheDrag) {
  dashtune::testing::MessageLog::Get().Clear();
  constexpr UINT kPing = WM_USER + 5;
  PostMessageA(target_window_, kPing, 0, 0);
  Move(50, 50);
  Release(50, 50);
  DROPEFFECT effect = 99;
  EXPECT_EQ(Drag(DROPEFFECT_MOVE, &effect), DRAGDROP_S_CANCEL);
  EXPECT_EQ(dashtune::testing::MessageLog::Get().Messages(target_window_, kPing, kPing).size(), 1u);
  EXPECT_TRUE(dashtune::testing::MessageLog::Get().Messages(source_window_, WM_MOUSEMOVE, WM_MBUTTONDBLCLK).empty());
}

TEST_F(DragDropTest, ARevokedTargetIsNoLongerCalled) {
  ASSERT_EQ(RegisterDragDrop(target_window_, target_.Get()), S_OK);
  ASSERT_EQ(RevokeDragDrop(target_window_), S_OK);
  Move(250, 60);
  Release(250, 60);
  DROPEFFECT effect = 99;
  EXPECT_EQ(Drag(DROPEFFECT_MOVE, &effect), DRAGDROP_S_CANCEL);
  EXPECT_TRUE(target_->calls.empty());
  EXPECT_EQ(DoDragDrop(nullptr, source_.Get(), DROPEFFECT_MOVE, &effect), E_INVALIDARG);
}

TEST(CurrentThread, IsOnePseudoHandleInEveryThread) {
  EXPECT_EQ(GetCurrentThread(), reinterpret_cast<HANDLE>(static_cast<INT_PTR>(-2)));
}

}  // namespace
}  // namespace win
