// Real child windows on a TGraphicPanel, where the pages need the system's own behaviour: a one-line
// edit field (typing, selection, copying) and radio buttons (focus, keyboard). The panel colours them
// (WM_CTLCOLOR*) and passes them their notifications (WM_COMMAND). Like the panel's own controls they
// are placed in design pixels, and take their place and font at the panel's DPI.
#pragma once

#include <windows.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "common/WinHandleU.h"
#include "controls/GraphicControlsU.h"

namespace sf {

class TGraphicPanel;

class TNativeControl {
 public:
  using TNotifyEvent = std::function<void()>;
  using TKeyEvent = std::function<void(WORD key)>;

  virtual ~TNativeControl();
  TNativeControl(const TNativeControl&) = delete;
  TNativeControl& operator=(const TNativeControl&) = delete;

  HWND Handle() const { return m_hWnd.Get(); }
  TGraphicPanel* Parent() const { return m_pParent; }

  void SetBounds(int left, int top, int width, int height);
  TLayoutRect BoundsRect() const { return m_rcBounds; }
  void SetVisible(bool visible);
  bool Visible() const;
  void BringToFront();
  void SetFocus();
  void SetFont(const TFontSpec& font);
  // Background and text colours; until this is called the system's colours apply.
  void SetColors(TColor background, TColor text);
  TColor BackgroundColor() const { return m_clBackground; }
  // Takes place and font again at the panel's DPI (the panel calls this when its DPI changes).
  void ApplyDpi();

  // A key pressed or released while the control has the focus.
  TKeyEvent OnKeyDown;
  TKeyEvent OnKeyUp;

 protected:
  // Creates the window as a child of the panel. Throws TWinError on failure.
  TNativeControl(TGraphicPanel& parent, const wchar_t* className, DWORD style, DWORD exStyle, int left, int top,
                 int width, int height);

  // A notification code the control sent its parent (EN_SETFOCUS, BN_CLICKED, ...).
  virtual void Command(WORD code);
  // Messages to the control's own window, before the system's window procedure; true when handled.
  virtual bool FilterMessage(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result);
  // The other native controls on the same panel.
  std::vector<TNativeControl*> Siblings() const;

 private:
  friend class TGraphicPanel;

  HBRUSH CtlColor(HDC dc);
  static LRESULT CALLBACK SubclassProc(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam, UINT_PTR id,
                                       DWORD_PTR data);

  int Dpi() const;

  TGraphicPanel* m_pParent = nullptr;
  TLayoutRect m_rcBounds;
  std::optional<TFontSpec> m_Font;
  TScopedWindow m_hWnd;
  TScopedFont m_hFont;
  TScopedBrush m_hBrush;
  TColor m_clBackground = clWindow;
  TColor m_clText = clWindowText;
};

// A one-line edit field without a border.
class TEdit : public TNativeControl {
 public:
  TEdit(TGraphicPanel& parent, int left, int top, int width, int height, TAlignment alignment = TAlignment::taLeftJustify);

  std::wstring Text() const;
  void SetText(const std::wstring& text);
  // At most this many characters can be typed; 0 means no limit.
  void SetMaxLength(int length);
  void SetReadOnly(bool readOnly);
  void SelectAll();

  // The field got the keyboard focus.
  TNotifyEvent OnEnter;
  TNotifyEvent OnChange;

 protected:
  void Command(WORD code) override;
  bool FilterMessage(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result) override;
};

// A radio button without text (the pages put a label beside it). Radio buttons on the same panel form
// one group: checking one, by the mouse, the keyboard or SetChecked, unchecks the others.
class TRadioButton : public TNativeControl {
 public:
  TRadioButton(TGraphicPanel& parent, int left, int top, int width = 13, int height = 13);

  bool Checked() const;
  void SetChecked(bool checked);

  TNotifyEvent OnClick;

 protected:
  void Command(WORD code) override;

 private:
  void UncheckSiblings();
};

}  // namespace sf
