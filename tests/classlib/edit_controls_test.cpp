// TCustomEdit and TCustomMemo over the edit box: the text before, with and after the window,
// OnKeyPress, border styles, alignment, colours asked by the box, SelectAll; and the application's
// deactivation hooks fed by WM_ACTIVATEAPP.
#include <gtest/gtest.h>

#include <cstdlib>
#include <stdexcept>
#include <string>
#include <vector>

#include "classlib/edit_controls.h"
#include "classlib/form.h"
#include "classlib/forms.h"
#include "platform/user/edit.h"
#include "platform/user/input_state.h"
#include "platform/user/messages.h"
#include "platform/user/paint.h"
#include "platform/user/surfaces.h"
#include "platform/user/window.h"

namespace dashtune {
namespace {

struct EditOnForm {
  EditOnForm() : form(nullptr) {
    form.SetBounds(0, 0, 200, 100);
    edit = new TCustomEdit(&form);
    edit->SetParent(&form);
    edit->SetBounds(10, 10, 100, 24);
  }
  TForm form;
  TCustomEdit* edit;
};

std::pair<win::DWORD, win::DWORD> Selection(TCustomEdit* edit) {
  win::DWORD start = 0, end = 0;
  win::SendMessageA(edit->GetHandle(), win::EM_GETSEL, reinterpret_cast<win::WPARAM>(&start),
                    reinterpret_cast<win::LPARAM>(&end));
  return {start, end};
}

TEST(EditControls, TheTextLivesBeforeWithAndAfterTheWindow) {
  EditOnForm on;
  on.edit->SetText("B\xC3\xA4r");
  EXPECT_FALSE(on.edit->HandleAllocated());
  EXPECT_EQ(on.edit->GetText(), "B\xC3\xA4r");
  win::SendMessageA(on.edit->GetHandle(), win::WM_CHAR, 'X', 1);
  EXPECT_EQ(on.edit->GetText(), "XB\xC3\xA4r") << "the box starts with the text and the caret at 0";
  on.edit->SetText("B\xC3\xA4r");  // the same as the caption, not as the box
  EXPECT_EQ(on.edit->GetText(), "B\xC3\xA4r");
  win::SendMessageA(on.edit->GetHandle(), win::WM_CHAR, 'Y', 1);
  on.edit->DestroyHandle();
  EXPECT_EQ(on.edit->GetText(), "YB\xC3\xA4r");
  EXPECT_EQ(on.edit->GetText(), on.edit->GetCaption());
}

TEST(EditControls, OnKeyPressSeesEachByteFirst) {
  const char* previous = std::getenv("LANG");
  const std::string kept = previous != nullptr ? previous : "";
  setenv("LANG", "de_DE.UTF-8", 1);
  EditOnForm on;
  std::vector<char> seen;
  on.edit->OnKeyPress = [&](TObject*, char& Key) {
    seen.push_back(Key);
    if (Key == '\t') Key = ' ';
    if (Key == 'q') Key = 0;
  };
  for (const win::WPARAM code : {win::WPARAM{'a'}, win::WPARAM{'\t'}, win::WPARAM{'q'}, win::WPARAM{0xE4}})
    win::SendMessageA(on.edit->GetHandle(), win::WM_CHAR, code, 1);
  EXPECT_EQ(seen, (std::vector<char>{'a', '\t', 'q', static_cast<char>(0xE4)}));
  EXPECT_EQ(on.edit->GetText(), "a \xC3\xA4");
  if (previous != nullptr)
    setenv("LANG", kept.c_str(), 1);
  else
    unsetenv("LANG");
}

TEST(EditControls, BorderStylesBecomeWindowStyles) {
  struct Case {
    TBorderStyle border;
    bool ctl3d;
    bool border_line;
    bool client_edge;
  };
  for (const Case& c : {Case{bsSingle, true, false, true}, Case{bsSingle, false, true, false},
                        Case{bsNone, true, false, false}, Case{bsNone, false, false, false}}) {
    EditOnForm on;
    on.edit->GetHandle();
    on.edit->SetBorderStyle(c.border);
    on.edit->SetCtl3D(c.ctl3d);
    const auto style = static_cast<win::DWORD>(win::GetWindowLongA(on.edit->GetHandle(), win::GWL_STYLE));
    const auto ex_style = static_cast<win::DWORD>(win::GetWindowLongA(on.edit->GetHandle(), win::GWL_EXSTYLE));
    EXPECT_EQ((style & win::WS_BORDER) != 0, c.border_line);
    EXPECT_EQ((ex_style & win::WS_EX_CLIENTEDGE) != 0, c.client_edge);
    EXPECT_EQ(style & win::ES_MULTILINE, 0u);
    // A window made anew gets the same.
    on.edit->DestroyHandle();
    const auto made = static_cast<win::DWORD>(win::GetWindowLongA(on.edit->GetHandle(), win::GWL_STYLE));
    EXPECT_EQ((made & win::WS_BORDER) != 0, c.border_line);
  }
}

TEST(EditControls, TheMemoIsMultiLineAndAligned) {
  TForm form(nullptr);
  auto* memo = new TCustomMemo(&form);
  memo->SetParent(&form);
  memo->SetAlignment(taCenter);
  auto style = static_cast<win::DWORD>(win::GetWindowLongA(memo->GetHandle(), win::GWL_STYLE));
  EXPECT_EQ(style & (win::ES_MULTILINE | win::ES_CENTER | win::ES_AUTOHSCROLL), win::ES_MULTILINE | win::ES_CENTER);
  memo->SetAlignment(taRightJustify);
  style = static_cast<win::DWORD>(win::GetWindowLongA(memo->GetHandle(), win::GWL_STYLE));
  EXPECT_EQ(style & (win::ES_CENTER | win::ES_RIGHT), win::ES_RIGHT);
  win::SendMessageA(memo->GetHandle(), win::WM_CHAR, 0x0D, 1);
  EXPECT_EQ(memo->GetText(), "\r\n");
}

TEST(EditControls, TheBoxPaintsInTheControlsColoursAndSelectsAll) {
  EditOnForm on;
  on.edit->SetBorderStyle(bsNone);
  on.edit->SetColor(clYellow);
  on.edit->GetFont()->SetName("Dashtune Fixed Metrics");
  on.edit->GetFont()->SetHeight(20);
  on.edit->GetFont()->SetColor(clBlue);
  on.edit->SetText("ab");
  on.form.Show();
  on.form.Update();
  on.edit->Update();
  win::WindowPixels pixels;
  ASSERT_TRUE(win::ReadWindowPixels(on.form.GetHandle(), &pixels));
  EXPECT_EQ(pixels.At(10 + 1 + 4, 10 + 5), 0x0000FFu) << "the first character's box in the font colour";
  EXPECT_EQ(pixels.At(10 + 60, 10 + 5), 0xFFFF00u) << "the background in the control's colour";
  on.edit->SelectAll();
  EXPECT_EQ(Selection(on.edit), std::make_pair(0u, 2u));
  on.edit->SetDoubleBuffered(true);
  EXPECT_TRUE(on.edit->GetDoubleBuffered());
}

TEST(ApplicationActivation, HooksHearTheProgramLosingActivationOnce) {
  ASSERT_NE(Application, nullptr);
  TForm first(nullptr), second(nullptr);
  first.HandleNeeded();
  second.HandleNeeded();
  int calls = 0;
  int key = 0;
  std::vector<std::string> errors;
  Application->OnException = [&](TObject*, const Exception& E) { errors.push_back(E.GetMessage()); };
  Application->HookDeactivation(&key, [&] {
    ++calls;
    throw Exception("hook failed");
  });
  win::SetActiveWindow(first.GetHandle());
  win::SetActiveWindow(nullptr);  // both forms hear WM_ACTIVATEAPP (FALSE)
  EXPECT_EQ(calls, 1);
  EXPECT_FALSE(Application->GetActive());
  EXPECT_EQ(errors, (std::vector<std::string>{"hook failed"}));
  win::SetActiveWindow(first.GetHandle());
  EXPECT_TRUE(Application->GetActive());
  Application->UnhookDeactivation(&key);
  win::SetActiveWindow(nullptr);
  EXPECT_EQ(calls, 1);
  win::SetActiveWindow(first.GetHandle());
  Application->OnException = nullptr;
}

}  // namespace
}  // namespace dashtune
