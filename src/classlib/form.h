// Forms (top-level windows of the application, borderless by default: the skin draws everything)
// and the screen object with its cursor table.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "classlib/controls.h"

namespace dashtune {

enum TBorderStyle : int { bsNone, bsSingle, bsSizeable, bsDialog, bsToolWindow, bsSizeToolWin };
enum TFormStyle : int { fsNormal, fsMDIChild, fsMDIForm, fsStayOnTop };
enum TCloseAction : int { caNone, caHide, caFree, caMinimize };

using TCloseEvent = std::function<void(TObject* Sender, TCloseAction& Action)>;
using TCloseQueryEvent = std::function<void(TObject* Sender, bool& CanClose)>;

// A top-level window with a canvas. Hidden when made; Show shows it on top and gives the focus
// to its active control.
class TCustomForm : public TWinControl {
 public:
  explicit TCustomForm(TComponent* AOwner);
  ~TCustomForm() override;

  TCanvas* GetCanvas() const { return canvas_.get(); }
  TBorderStyle GetBorderStyle() const { return border_style_; }
  void SetBorderStyle(TBorderStyle Value);
  TFormStyle GetFormStyle() const { return form_style_; }
  void SetFormStyle(TFormStyle Value);

  void Show();
  // The control that holds the focus in the form, or takes it when the form is shown (nil: the
  // first control, in child order, that has TabStop and can take the focus). Setting it on a
  // showing form focuses it. Follows the focus; forgotten when the control is freed.
  TWinControl* GetActiveControl() const { return active_control_; }
  void SetActiveControl(TWinControl* Value);
  // Asks OnCloseQuery; when allowed, OnClose chooses what happens (hide by default; caFree
  // frees the form once its messages are done).
  void Close();
  virtual bool CloseQuery();
  // Frees the form after the messages already queued for it.
  void Release();

  void SetVisible(bool Value) override;
  bool GetShowing() const override;
  void WndProc(TMessage& Message) override;

  TNotifyEvent OnPaint;
  TNotifyEvent OnShow;
  TNotifyEvent OnHide;
  TCloseEvent OnClose;
  TCloseQueryEvent OnCloseQuery;

 protected:
  void CreateParams(TCreateParams& Params) override;
  void PaintWindow(win::HDC DC) override;
  void DestroyWnd() override;
  virtual void Paint();
  virtual void DoClose(TCloseAction& Action);
  void Notification(TComponent* AComponent, TOperation Operation) override;

 private:
  // Gives the focus to the active control, else to the first one that can take it.
  void FocusFirstControl();

  std::unique_ptr<TControlCanvas> canvas_;
  TBorderStyle border_style_ = bsNone;
  TFormStyle form_style_ = fsNormal;
  TWinControl* active_control_ = nullptr;  // not owned
};

// The form a control sits on (the control itself when it is a form), or nil.
TCustomForm* GetParentForm(TControl* Control);

class TForm : public TCustomForm {
 public:
  using TCustomForm::TCustomForm;
};

// The screen: its size, its pixels per inch, the cursor table and the forms that exist.
class TScreen {
 public:
  TScreen();
  ~TScreen();
  TScreen(const TScreen&) = delete;
  TScreen& operator=(const TScreen&) = delete;

  int GetWidth() const;
  int GetHeight() const;
  int GetPixelsPerInch() const;

  // The cursor of an index; unknown indexes give the default cursor.
  win::HCURSOR GetCursors(TCursor Index) const;
  // Installs a cursor under an index (nullptr removes it; for crDefault restores the arrow).
  // The table does not own the cursors: their makers destroy them.
  void SetCursors(TCursor Index, win::HCURSOR Handle);
  // The cursor shown over every control while it is not crDefault.
  TCursor GetCursor() const { return cursor_; }
  void SetCursor(TCursor Value);
  // Shows the screen cursor, or the control's own cursor while the screen cursor is crDefault.
  void ApplyCursor(const TControl* Control);

  int GetFormCount() const { return static_cast<int>(forms_.size()); }
  TCustomForm* GetForms(int Index) const { return forms_.at(static_cast<std::size_t>(Index)); }

 private:
  friend class TCustomForm;
  void AddForm(TCustomForm* form) { forms_.push_back(form); }
  void RemoveForm(TCustomForm* form);
  void LoadStockCursors();

  std::map<TCursor, win::HCURSOR> cursors_;
  TCursor cursor_ = crDefault;
  std::vector<TCustomForm*> forms_;  // not owned
};

// The screen object of the process.
extern TScreen* const Screen;

}  // namespace dashtune
