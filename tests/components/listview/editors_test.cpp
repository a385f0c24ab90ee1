// In-place editors and the edit loop: box sizes and their cut, typing, accepting and refusing,
// the edit caption, captions outside Latin-1, the memo editor in tile view, the edit menu, and
// every way the loop ends: once, in order, without accepting; WM_QUIT posted again; the control
// or the item freed under the loop; handler exceptions; losing the activation.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "classlib/forms.h"
#include "classlib/menus.h"
#include "classlib/messages.h"
#include "components/listview/edit_manager.h"
#include "components/listview/editors.h"
#include "listview_test_support.h"
#include "platform/core/strings.h"
#include "platform/user/edit.h"
#include "platform/user/input_state.h"
#include "platform/user/menus.h"
#include "platform/user/messages.h"
#include "platform/user/window.h"

namespace dashtune {
namespace {

using testing::ListviewOnForm;
using testing::InsideLoop;

constexpr win::WPARAM kEscape = 0x1B;

// A string editor that writes down what the manager asks of it.
class TRecordingEditor : public TTouchStringEditor {
 public:
  explicit TRecordingEditor(std::vector<std::string>* log) : log_(log) {}
  void Hide() override {
    log_->push_back("Hide");
    TTouchStringEditor::Hide();
  }
  void Finalize() override {
    if (GetEditor() != nullptr) log_->push_back("Finalize");
    TTouchStringEditor::Finalize();
  }

 protected:
  ~TRecordingEditor() override { log_->push_back("Released"); }

 private:
  std::vector<std::string>* log_;
};

class EditorTest : public ::testing::Test {
 protected:
  void SetUp() override {
    host_ = std::make_unique<ListviewOnForm>(400, 300);
    listview_ = host_->listview;
    listview_->GetFont()->SetName("Dashtune Fixed Metrics");
    listview_->GetFont()->SetHeight(20);
    TTouchEditManager* manager = listview_->GetEditManager();
    manager->GetFont()->SetName("Dashtune Fixed Metrics");
    manager->GetFont()->SetHeight(20);
    listview_->OnItemGetCaption = [this](TCustomTouchListview*, TTouchItem*, int, WideString& Caption) {
      Caption = caption_;
    };
    listview_->OnItemSetCaption = [this](TCustomTouchListview*, TTouchItem*, int, const WideString& Caption) {
      set_captions_.push_back(win::Utf16ToUtf8(Caption));
    };
    listview_->OnItemEditEnd = [this](TCustomTouchListview*, TTouchItem* Item) {
      log_.push_back(Item == item_ ? "EditEnd" : "EditEnd(nil)");
    };
    listview_->SetView(elsReport);
    item_ = listview_->GetItems()->AddVirtual();
    host_->form->Show();
  }
  void TearDown() override {
    host_.reset();
    win::MSG msg{};
    while (win::PeekMessageA(&msg, nullptr, 0, 0, win::PM_REMOVE)) {
    }
  }
  void RecordEditors() {
    listview_->OnItemCreateEditor = [this](TCustomTouchListview*, TTouchItem*, ITouchCellEditor*& Editor) {
      Editor = new TRecordingEditor(&log_);
    };
  }
  // The running edit's box.
  TWinControl* Box() const {
    auto* editor = dynamic_cast<TTouchBaseEditor*>(listview_->GetEditManager()->GetEditor());
    return editor != nullptr ? editor->GetEditor() : nullptr;
  }
  void Type(const std::string& bytes) {
    for (const char byte : bytes)
      win::SendMessageA(Box()->GetHandle(), win::WM_CHAR, static_cast<unsigned char>(byte), 1);
  }
  void EndFromInside(InsideLoop& inside) {
    inside.Then([this] { win::PostMessageA(listview_->GetHandle(), listview::kEndEditMessage, 0, 0); });
  }

  std::unique_ptr<ListviewOnForm> host_;
  TTouchListview* listview_ = nullptr;
  TTouchItem* item_ = nullptr;
  WideString caption_ = u"Song";
  std::vector<std::string> set_captions_;
  std::vector<std::string> log_;
};

TEST_F(EditorTest, AnEmptyCaptionOpensABoxOfOneBlankAndTheMargins) {
  struct Case {
    TTouchListStyle view;
    bool memo;
    int width;
    int height;
  };
  for (const Case& c : {Case{elsTile, true, 34, 26}, Case{elsIcon, true, 34, 26}, Case{elsReport, false, 32, 24},
                        Case{elsList, false, 32, 24}}) {
    listview_->SetView(c.view);
    caption_ = u"";
    win::RECT bounds{};
    bool memo = false;
    InsideLoop inside;
    inside.Then([&] {
      bounds = Box()->GetBoundsRect();
      memo = dynamic_cast<TTouchMemo*>(Box()) != nullptr;
    });
    EndFromInside(inside);
    listview_->GetEditManager()->BeginEdit(item_);
    EXPECT_EQ(bounds.right - bounds.left, c.width) << c.view;
    EXPECT_EQ(bounds.bottom - bounds.top, c.height) << c.view;
    EXPECT_EQ(memo, c.memo) << c.view;
  }
}

TEST_F(EditorTest, TheBoxNeverReachesPastTheClientWidthLessOneCharacterPlus12) {
  // W = 10: the right edge stays at or left of 400 - 10 + 12 = 402, extra width included.
  for (const TTouchListStyle view : {elsReport, elsTile}) {
    for (const WideString& caption : {WideString(u"A fairly long song title that runs on"), WideString(60, u'x')}) {
      listview_->SetView(view);
      caption_ = caption;
      int right = 0;
      InsideLoop inside;
      inside.Then([&] {
        right = Box()->GetBoundsRect().right;
        win::SendMessageA(Box()->GetHandle(), win::EM_SETSEL, static_cast<win::WPARAM>(-1), 0);
        Type(" and more");
        // After the box has grown with each character.
        inside.Then([&] {
          right = std::max<int>(right, Box()->GetBoundsRect().right);
          EndFromInside(inside);
        });
      });
      listview_->GetEditManager()->BeginEdit(item_);
      EXPECT_LE(right, 402) << view;
      EXPECT_GT(right, 0);
    }
  }
}

TEST_F(EditorTest, TabTypesABlankAndEnterAcceptsAndEnds) {
  RecordEditors();
  InsideLoop inside;
  inside.Then([&] { Type("a\tb\r"); });
  listview_->GetEditManager()->BeginEdit(item_);
  EXPECT_EQ(set_captions_, (std::vector<std::string>{"a b"}));
  EXPECT_EQ(log_, (std::vector<std::string>{"Hide", "EditEnd", "Finalize", "Released"}));
  EXPECT_FALSE(listview_->GetEditManager()->GetEditing());
}

TEST_F(EditorTest, ARefusedEditLeavesTheItemAndTheBox) {
  std::vector<std::string> offered;
  listview_->OnItemEdited = [&](TCustomTouchListview*, TTouchItem*, WideString& NewValue, bool& Accept) {
    offered.push_back(win::Utf16ToUtf8(NewValue));
    Accept = false;
  };
  bool still_editing = false;
  InsideLoop inside;
  inside.Then([&] { Type("Nope\r"); });
  inside.Then([&] { still_editing = listview_->GetEditManager()->GetEditing() && Box()->GetVisible(); });
  inside.Then([] { win::PostMessageA(nullptr, win::WM_KEYDOWN, kEscape, 1); });
  listview_->GetEditManager()->BeginEdit(item_);
  EXPECT_EQ(offered, (std::vector<std::string>{"Nope"}));
  EXPECT_TRUE(still_editing);
  EXPECT_TRUE(set_captions_.empty());
}

TEST_F(EditorTest, TheEditCaptionFromTheEventIsEdited) {
  listview_->OnItemGetEditCaption = [](TCustomTouchListview*, TTouchItem*, TTouchColumn*, WideString& Caption) {
    Caption = u"Edit me";
  };
  std::string shown;
  InsideLoop inside;
  inside.Then([&] { shown = static_cast<TTouchEdit*>(Box())->GetText(); });
  inside.Then([&] { win::SendMessageA(Box()->GetHandle(), win::WM_CHAR, '\r', 1); });
  listview_->GetEditManager()->BeginEdit(item_);
  EXPECT_EQ(shown, "Edit me");
  EXPECT_EQ(set_captions_, (std::vector<std::string>{"Edit me"}));
}

TEST_F(EditorTest, ACaptionOutsideLatin1ComesBackUnchanged) {
  caption_ = u"\u0416\u0443\u043A";  // Жук
  InsideLoop inside;
  inside.Then([&] { win::SendMessageA(Box()->GetHandle(), win::WM_CHAR, '\r', 1); });
  listview_->GetEditManager()->BeginEdit(item_);
  EXPECT_EQ(set_captions_, (std::vector<std::string>{"\xD0\x96\xD1\x83\xD0\xBA"}));
}

TEST_F(EditorTest, TheMemoEditorInTileViewIsCentred) {
  listview_->SetView(elsTile);
  TAlignment alignment = taLeftJustify;
  bool memo_editor = false;
  InsideLoop inside;
  inside.Then([&] {
    memo_editor = dynamic_cast<TTouchMemoEditor*>(listview_->GetEditManager()->GetEditor()) != nullptr;
    alignment = static_cast<TTouchMemo*>(Box())->GetAlignment();
    Type("Neu\r");
  });
  listview_->GetEditManager()->BeginEdit(item_);
  EXPECT_TRUE(memo_editor);
  EXPECT_EQ(alignment, taCenter);
  EXPECT_EQ(set_captions_, (std::vector<std::string>{"Neu"}));
}

TEST_F(EditorTest, TheEditMenuPopsUpAtTheMessagesPoint) {
  TPopupMenu menu(nullptr);
  auto* item = new TMenuItem(&menu);
  item->SetCaption("Paste");
  menu.GetItems()->Add(item);
  bool offer_menu = true;
  listview_->OnItemGetEditMenu = [&](TCustomTouchListview*, ITouchCellEditor* Editor, TPopupMenu*& Menu) {
    EXPECT_EQ(Editor, listview_->GetEditManager()->GetEditor());
    if (offer_menu) Menu = &menu;
  };
  std::vector<win::POINT> shown_at;
  const win::MenuChooser previous = win::SetMenuChooser([&](win::HMENU, win::POINT at, win::HWND) {
    shown_at.push_back(at);
    return 0u;
  });
  std::vector<win::LRESULT> results;
  InsideLoop inside;
  inside.Then([&] {
    results.push_back(win::SendMessageA(Box()->GetHandle(), win::WM_CONTEXTMENU,
                                        reinterpret_cast<win::WPARAM>(Box()->GetHandle()), win::MAKELPARAM(123, 45)));
    offer_menu = false;
    results.push_back(win::SendMessageA(Box()->GetHandle(), win::WM_CONTEXTMENU,
                                        reinterpret_cast<win::WPARAM>(Box()->GetHandle()), win::MAKELPARAM(7, 8)));
  });
  EndFromInside(inside);
  listview_->GetEditManager()->BeginEdit(item_);
  win::SetMenuChooser(previous);
  ASSERT_EQ(shown_at.size(), 1u);
  EXPECT_EQ(shown_at[0].x, 123);
  EXPECT_EQ(shown_at[0].y, 45);
  EXPECT_EQ(results, (std::vector<win::LRESULT>{1, 1}));
}

TEST_F(EditorTest, EachEndingEndsTheEditOnceWithoutAccepting) {
  RecordEditors();
  struct Case {
    const char* name;
    std::function<void(TTouchListview*)> post;  // posted before the loop starts
  };
  const std::vector<Case> cases = {
      {"escape", [](TTouchListview*) { win::PostMessageA(nullptr, win::WM_KEYDOWN, kEscape, 1); }},
      {"wheel",
       [](TTouchListview* lv) { win::PostMessageA(lv->GetHandle(), win::WM_MOUSEWHEEL, win::MAKEWPARAM(0, 120), 0); }},
      {"click outside",
       [](TTouchListview* lv) { win::PostMessageA(lv->GetHandle(), win::WM_LBUTTONDOWN, 1, win::MAKELPARAM(390, 290)); }},
      {"end message",
       [](TTouchListview* lv) {
         win::PostMessageA(lv->GetHandle(), listview::kEndEditMessage, 0, 0);
         win::PostMessageA(lv->GetHandle(), listview::kEndEditMessage, 0, 0);  // a second ends nothing more
       }},
  };
  for (const Case& c : cases) {
    log_.clear();
    c.post(listview_);
    listview_->GetEditManager()->BeginEdit(item_);
    EXPECT_EQ(log_, (std::vector<std::string>{"Hide", "EditEnd", "Finalize", "Released"})) << c.name;
    EXPECT_TRUE(set_captions_.empty()) << c.name;
    EXPECT_FALSE(listview_->GetEditManager()->GetEditing()) << c.name;
  }
  // Nothing stale is left to end the next edit at once.
  log_.clear();
  InsideLoop inside;
  inside.Then([&] { log_.push_back("inside"); });
  EndFromInside(inside);
  listview_->GetEditManager()->BeginEdit(item_);
  EXPECT_EQ(log_.front(), "inside");
}

TEST_F(EditorTest, QuitEndsTheLoopAndIsPostedAgain) {
  RecordEditors();
  win::PostQuitMessage(5);
  listview_->GetEditManager()->BeginEdit(item_);
  EXPECT_EQ(log_, (std::vector<std::string>{"Hide", "EditEnd", "Finalize", "Released"}));
  win::MSG msg{};
  ASSERT_TRUE(win::PeekMessageA(&msg, nullptr, win::WM_QUIT, win::WM_QUIT, win::PM_REMOVE));
  EXPECT_EQ(msg.wParam, 5u);
}

TEST_F(EditorTest, AFreedItemEndsTheEditWithoutAccepting) {
  RecordEditors();
  InsideLoop inside;
  inside.Then([&] {
    Type("x");
    delete item_;
  });
  listview_->GetEditManager()->BeginEdit(item_);
  EXPECT_EQ(log_, (std::vector<std::string>{"Hide", "EditEnd(nil)", "Finalize", "Released"}));
  EXPECT_TRUE(set_captions_.empty());
  EXPECT_EQ(listview_->GetEditManager()->GetEditItem(), nullptr);
}

TEST_F(EditorTest, AFreedControlEndsTheLoopAtOnce) {
  RecordEditors();
  InsideLoop inside;
  inside.Then([&] { host_.reset(); });
  host_->listview->GetEditManager()->BeginEdit(item_);
  EXPECT_EQ(log_, (std::vector<std::string>{"Finalize", "Released"})) << "no event of a control that is gone";
}

TEST_F(EditorTest, AHandlersExceptionGoesToTheApplicationAndTheEditGoesOn) {
  std::vector<std::string> errors;
  Application->OnException = [&](TObject*, const Exception& E) { errors.push_back(E.GetMessage()); };
  int tries = 0;
  listview_->OnItemEdited = [&](TCustomTouchListview*, TTouchItem*, WideString&, bool&) {
    if (++tries == 1) throw Exception("disk full");
  };
  InsideLoop inside;
  inside.Then([&] { Type("One\r"); });
  inside.Then([&] { Type("\r"); });
  listview_->GetEditManager()->BeginEdit(item_);
  Application->OnException = nullptr;
  EXPECT_EQ(errors, (std::vector<std::string>{"disk full"}));
  EXPECT_EQ(set_captions_, (std::vector<std::string>{"One"}));
}

TEST_F(EditorTest, LosingTheActivationEndsTheEdit) {
  RecordEditors();
  win::SetActiveWindow(host_->form->GetHandle());
  InsideLoop inside;
  inside.Then([] { win::SetActiveWindow(nullptr); });
  listview_->GetEditManager()->BeginEdit(item_);
  win::SetActiveWindow(host_->form->GetHandle());
  EXPECT_EQ(log_, (std::vector<std::string>{"Hide", "EditEnd", "Finalize", "Released"}));
  EXPECT_TRUE(set_captions_.empty());
}

}  // namespace
}  // namespace dashtune
