// TFrameBase: what every wizard page has in common. A 600 by 250 child panel of the wizard window with
// the shared background and the close image in its top-right corner; pressing the left button on the
// background (or on a control bound to the same handler) moves the whole window. The theme that colours
// every page's buttons and labels lives here too.
#pragma once

#include <windows.h>

#include <initializer_list>
#include <string>

#include "controls/GradientBitBtnU.h"
#include "controls/GraphicPanelU.h"

namespace sf {

class TSetupForm;
class TInstallerThread;

// A font of the page designs.
TFontSpec PageFont(const wchar_t* face, int points, bool bold, TColor color);

// The common design of every page button (before the theme): flat, Segoe UI Semibold 9 points with
// ClearType-natural quality, spacing 6, radius 4, design colours #1BA0F3.
void ApplyButtonDesign(TGradientBitBtn& button);
// The full button theme: white on white, vertical, automatic caption colour, black bold text.
void ApplyButtonTheme(TGradientBitBtn& button);

class TFrameBase : public TGraphicPanel {
 public:
  // Built hidden, inside the window (the window owns its pages for its whole life). name is the page
  // class's name; it becomes the panel's window text, which is how tools tell the pages apart.
  TFrameBase(TSetupForm& form, const wchar_t* name);
  ~TFrameBase() override;

  // The parent-setting step: runs once when the window puts the page into itself. Pages that finish
  // their layout here override it; the default leaves the page as built, close image shown.
  virtual void SetParentForm() {}
  // Applies the current language to the page's texts and lays it out; runs at every show.
  virtual void Translate() = 0;

 protected:
  TSetupForm& Form() const { return m_Form; }
  TInstallerThread& Engine() const;
  // Posts a request without payload to the engine's queue.
  void PostToEngine(UINT msg) const;
  // Posts a request whose first parameter is a heap copy of text, which the engine releases.
  void PostTextToEngine(UINT msg, const std::wstring& text) const;

  // The window-drag handler the page designs bind to their background, logo, lines and main label.
  void OnMouseDownDrag(TMouseButton button);
  void BindDrag(TGraphicControl& control);
  // Puts the controls on the page in this order, each in front of the ones before.
  void AttachControls(std::initializer_list<TGraphicControl*> controls);
  static void BringControlsToFront(std::initializer_list<TGraphicControl*> controls);
  // The designs the pages share: the hidden lines image (600 by 223 above the page's top unless told
  // otherwise), the logo sized to its picture at (235, 40), and a label of fixed size with its text
  // centred (wrapped into lines when asked). Lines and logo move the window when dragged; the label
  // does when drag is true.
  void DesignLines(TImage& lines, const TLayoutRect& bounds = {0, -19, 600, 223});
  void DesignLogo(TImage& logo, const TPicture* picture);
  void DesignCenteredLabel(TLabel& label, const TLayoutRect& bounds, const TFontSpec& font, bool wordWrap = false,
                           bool drag = true);
  // Logo centred horizontally with its vertical centre at 66.
  void PlaceLogo(TImage& logo);
  // The close image only in interactive runs (pages 1, 2, 3, 4, 5 and 8).
  void ShowCloseImageWhenInteractive();
  // Bold and underlined with the hand pointer while the pointer is over the link; bold otherwise.
  void BindLinkHover(TLabel& link);

  TImage imgBackground;
  TImage imgClose;

 private:
  void imgCloseClick();
  void imgCloseMouseDown();
  void imgCloseMouseEnter();
  void imgCloseMouseLeave();

  TSetupForm& m_Form;
};

}  // namespace sf
