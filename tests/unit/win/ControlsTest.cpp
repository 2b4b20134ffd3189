// The wizard's control layer on a page-like window under the real window manager and GDI+: what it
// paints, how it follows the mouse, and the child windows it hosts. One test also writes the rendered
// page to controls-page.png in the working directory (the build tree) for a person to look at.
#include <windows.h>
#include <gdiplus.h>

#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>

#include "WinTestSupport.h"
#include "common/ConstantsU.h"
#include "common/ErrorU.h"
#include "common/ResourcesU.h"
#include "controls/GradientBitBtnU.h"
#include "controls/GraphicPanelU.h"
#include "controls/NativeControlsU.h"
#include "controls/ProgressPanelU.h"
#include "logging/LogU.h"
#include "wizard/PageLayoutU.h"

namespace sf {
namespace {

void MouseMove(HWND w, int x, int y) { ::SendMessageW(w, WM_MOUSEMOVE, 0, MAKELPARAM(x, y)); }
void LeftDown(HWND w, int x, int y) { ::SendMessageW(w, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(x, y)); }
void LeftUp(HWND w, int x, int y) { ::SendMessageW(w, WM_LBUTTONUP, 0, MAKELPARAM(x, y)); }

TFontSpec PageFont(int points, bool bold = false, TColor color = LabelFontColor) {
  TFontSpec font;
  font.name = L"Segoe UI";
  font.size = points;
  font.bold = bold;
  font.color = color;
  return font;
}

// A page button as the pages theme it.
void ApplyButtonTheme(TGradientBitBtn& button) {
  TFontSpec font;
  font.name = L"Segoe UI Semibold";
  font.size = 9;
  font.bold = true;
  font.quality = CLEARTYPE_NATURAL_QUALITY;
  font.color = ButtonFontColor;
  button.SetFont(font);
  button.SetColor(ButtonColor);
  button.SetColor2(ButtonColor2);
  button.SetGradientDirection(ButtonGradientDirection);
  button.SetForceFontColor(ButtonForceFontColor);
  button.SetClear(ButtonClear);
  button.SetSpacing(6);
}

// The progress page's bar: white on dark grey, corners cut by a 2-pixel ellipse, no border.
void ApplyProgressTheme(TProgressPanel& bar, int top, int height) {
  bar.SetBounds(36, top, 528, height);
  bar.SetRoundCorners(true);
  bar.SetRoundX(2);
  bar.SetRoundY(2);
  bar.SetColorTop(ProgressColor);
  bar.SetColorBotton(ProgressColor);
  bar.SetBackColorTop(ProgressBackColor);
  bar.SetBackColorBotton(ProgressBackColor);
  bar.SetBorder(false);
}

int CountPixels(const TPaintBuffer& buffer, const TLayoutRect& area, const std::function<bool(TColor)>& match) {
  int count = 0;
  for (int y = area.top; y < area.Bottom(); ++y) {
    for (int x = area.left; x < area.Right(); ++x) count += match(buffer.PixelAt(x, y)) ? 1 : 0;
  }
  return count;
}

int DifferentPixels(const TPaintBuffer& a, const TPaintBuffer& b) {
  if (a.Width() != b.Width() || a.Height() != b.Height()) return a.Width() * a.Height();
  int count = 0;
  for (int y = 0; y < a.Height(); ++y) {
    for (int x = 0; x < a.Width(); ++x) count += a.PixelAt(x, y) != b.PixelAt(x, y) ? 1 : 0;
  }
  return count;
}

bool IsBright(TColor c) { return !IsColorDarker(c, 180); }
bool IsDark(TColor c) { return IsColorDarker(c, 90); }

class ControlsTest : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    Gdiplus::GdiplusStartupInput input;
    ASSERT_EQ(Gdiplus::GdiplusStartup(&s_gdiplusToken, &input, nullptr), Gdiplus::Ok);
  }
  static void TearDownTestSuite() { Gdiplus::GdiplusShutdown(s_gdiplusToken); }

  void SetUp() override {
    m_pngBackground = std::make_unique<TPicture>(LoadPngResource(L"imgBackground"));
    m_pPanel = std::make_unique<TGraphicPanel>(nullptr, 40, 40, kPageWidth, kPageHeight);
    imgBackground.SetBounds(0, 0, kPageWidth, kPageHeight);
    imgBackground.SetPicture(m_pngBackground.get());
    imgBackground.SetParent(m_pPanel.get());
  }

  void TearDown() override {
    imgBackground.SetParent(nullptr);
    m_pPanel.reset();
  }

  HWND Panel() const { return m_pPanel->Handle(); }
  TColor Rendered(int x, int y) {
    m_pPanel->PaintTo(m_Buffer);
    return m_Buffer.PixelAt(x, y);
  }
  // Client area and child windows, through the same message the system uses to print a window.
  void PrintWithChildren() {
    m_Buffer.Resize(kPageWidth, kPageHeight);
    ::SendMessageW(Panel(), WM_PRINT, reinterpret_cast<WPARAM>(m_Buffer.Dc()), PRF_CLIENT | PRF_CHILDREN);
  }

  static ULONG_PTR s_gdiplusToken;
  std::unique_ptr<TPicture> m_pngBackground;
  std::unique_ptr<TGraphicPanel> m_pPanel;
  TImage imgBackground;
  TPaintBuffer m_Buffer;
};

ULONG_PTR ControlsTest::s_gdiplusToken = 0;

TEST_F(ControlsTest, WhiteButtonFollowsTheMouseAndClicksOnRelease) {
  TGradientBitBtn btnInstall;
  btnInstall.SetBounds(240, 132, 120, 30);
  ApplyButtonTheme(btnInstall);
  btnInstall.SetCaption(L"Instalar");
  btnInstall.SetParent(m_pPanel.get());
  int clicks = 0;
  btnInstall.OnClick = [&] { ++clicks; };

  // A pixel of the fill beside the caption, clear of the rounded corners.
  const int fx = 246, fy = 147;
  const auto fill = [&] { return Rendered(fx, fy); };
  EXPECT_EQ(fill(), 0xFFFFFFu);
  m_pPanel->PaintTo(m_Buffer);
  EXPECT_GT(CountPixels(m_Buffer, btnInstall.BoundsRect(), IsDark), 20) << "black caption on the white button";

  MouseMove(Panel(), 300, 147);
  EXPECT_TRUE(btnInstall.MouseInside());
  EXPECT_EQ(fill(), MakeColor(225, 225, 225));

  LeftDown(Panel(), 300, 147);
  EXPECT_TRUE(btnInstall.Down());
  EXPECT_EQ(fill(), MakeColor(215, 215, 215));
  LeftUp(Panel(), 300, 147);
  EXPECT_EQ(clicks, 1);
  EXPECT_FALSE(btnInstall.Down());
  EXPECT_EQ(fill(), MakeColor(225, 225, 225));

  // Pressed, dragged off and released outside: the button comes up and there is no click.
  LeftDown(Panel(), 300, 147);
  MouseMove(Panel(), 300, 200);
  EXPECT_FALSE(btnInstall.Down());
  EXPECT_EQ(fill(), 0xFFFFFFu);
  MouseMove(Panel(), 300, 147);
  EXPECT_TRUE(btnInstall.Down()) << "back over it while held, it goes down again";
  MouseMove(Panel(), 300, 200);
  LeftUp(Panel(), 300, 200);
  EXPECT_EQ(clicks, 1);
  EXPECT_FALSE(btnInstall.MouseInside());

  // The right button does not click; leaving the window ends the hover.
  MouseMove(Panel(), 300, 147);
  ::SendMessageW(Panel(), WM_RBUTTONDOWN, MK_RBUTTON, MAKELPARAM(300, 147));
  ::SendMessageW(Panel(), WM_RBUTTONUP, 0, MAKELPARAM(300, 147));
  EXPECT_EQ(clicks, 1);
  ::SendMessageW(Panel(), WM_MOUSELEAVE, 0, 0);
  EXPECT_EQ(fill(), 0xFFFFFFu);

  // Hidden while hovered, then shown again: no stale hover.
  MouseMove(Panel(), 300, 147);
  btnInstall.SetVisible(false);
  btnInstall.SetVisible(true);
  EXPECT_EQ(fill(), 0xFFFFFFu);
}

TEST_F(ControlsTest, DisabledAndClearButtons) {
  TGradientBitBtn btnDisabled;
  btnDisabled.SetBounds(40, 40, 120, 30);
  ApplyButtonTheme(btnDisabled);
  btnDisabled.SetCaption(L"Atualizar");
  btnDisabled.SetEnabled(false);
  btnDisabled.SetParent(m_pPanel.get());
  int clicks = 0;
  btnDisabled.OnClick = [&] { ++clicks; };

  EXPECT_EQ(Rendered(46, 55), MakeColor(192, 192, 192));
  MouseMove(Panel(), 100, 55);
  LeftDown(Panel(), 100, 55);
  LeftUp(Panel(), 100, 55);
  EXPECT_EQ(clicks, 0);
  EXPECT_EQ(Rendered(46, 55), MakeColor(192, 192, 192)) << "no hover look while disabled";

  // The aborted page's OK button: white, Clear, caption in the window-text colour.
  TGradientBitBtn btnOK;
  btnOK.SetBounds(240, 185, 120, 30);
  btnOK.SetColor(ButtonColor);
  btnOK.SetColor2(ButtonColor2);
  btnOK.SetClear(true);
  btnOK.SetSpacing(6);
  btnOK.SetCaption(L"OK");
  btnOK.SetParent(m_pPanel.get());

  m_pPanel->PaintTo(m_Buffer);
  EXPECT_EQ(m_Buffer.PixelAt(240, 200), 0xFFFFFFu) << "outline on the edge";
  EXPECT_EQ(m_Buffer.PixelAt(241, 200), 0xFFFFFFu) << "inner outline, Spacing - 5 = 1 pixel";
  EXPECT_TRUE(IsDark(m_Buffer.PixelAt(245, 200))) << "the background shows through inside";
  EXPECT_GT(CountPixels(m_Buffer, {250, 188, 100, 24}, IsBright), 20) << "white caption on the dark page";

  MouseMove(Panel(), 300, 200);
  m_pPanel->PaintTo(m_Buffer);
  EXPECT_EQ(m_Buffer.PixelAt(245, 200), 0xFFFFFFu) << "filled under the mouse";
  EXPECT_GT(CountPixels(m_Buffer, {250, 188, 100, 24}, IsDark), 20) << "black caption on the filled button";
}

TEST_F(ControlsTest, ClickHandlerErrorsAreLoggedAndGoNoFurther) {
  CreateRunLog();
  TGradientBitBtn btnOpen;
  btnOpen.SetBounds(251, 132, 98, 30);
  ApplyButtonTheme(btnOpen);
  btnOpen.SetCaption(L"Abrir");
  btnOpen.SetParent(m_pPanel.get());
  btnOpen.OnClick = [] { throw TError(L"the product could not be started"); };

  MouseMove(Panel(), 300, 147);
  LeftDown(Panel(), 300, 147);
  LeftUp(Panel(), 300, 147);
  btnOpen.OnClick = [] { throw std::runtime_error("plain"); };
  EXPECT_NO_THROW(btnOpen.Click());

  const std::string log = test::CloseAndReadRunLog();
  EXPECT_NE(log.find("TGradientBitBtn.Click: Abrir: the product could not be started"), std::string::npos) << log;
  EXPECT_NE(log.find("TGradientBitBtn.Click: Abrir: plain"), std::string::npos) << log;
  EXPECT_FALSE(btnOpen.Down());
}

// The larger artwork is decoded when a scaled screen first draws it, once, by each copy on its own.
TEST_F(ControlsTest, LargerArtworkIsDecodedWhenAScaledScreenFirstNeedsIt) {
  int loads = 0;
  const TPicture logo(LoadPngResource(L"imgLogo"), [&loads] {
    ++loads;
    return LoadPngResource(L"imgLogo2x");
  });
  const std::unique_ptr<TPicture> copy = logo.Copy();
  EXPECT_EQ(&logo.ForDpi(96), &logo.Design());
  EXPECT_EQ(loads, 0);
  EXPECT_EQ(logo.ForDpi(144).GetWidth(), 2 * logo.Design().GetWidth());
  EXPECT_EQ(logo.ForDpi(192).GetWidth(), 2 * logo.Design().GetWidth());
  EXPECT_EQ(loads, 1);
  EXPECT_EQ(copy->ForDpi(144).GetWidth(), 2 * logo.Design().GetWidth());
  EXPECT_EQ(loads, 2);
}

// A larger picture that passed the start-up check and still cannot be decoded does not take the page
// down: it is logged once and the 96-DPI picture is drawn at the scale.
TEST_F(ControlsTest, LargerArtworkThatCannotBeDecodedIsDrawnFromTheDesignPicture) {
  CreateRunLog();
  int loads = 0;
  const TPicture logo(LoadPngResource(L"imgLogo"), [&loads] {
    ++loads;
    return LoadPngResource(L"NotAPicture");
  });
  m_pPanel->SetDpi(144);
  TImage imgLogo;
  imgLogo.SetAutoSize(true);
  imgLogo.SetPicture(&logo);
  imgLogo.SetBounds(200, 100, 0, 0);
  imgLogo.SetParent(m_pPanel.get());
  m_pPanel->PaintTo(m_Buffer);
  m_pPanel->PaintTo(m_Buffer);
  EXPECT_EQ(loads, 1);
  EXPECT_EQ(&logo.ForDpi(144), &logo.Design());

  // The logo is there, at one and a half times its size: the pixels of the design picture drawn at that
  // scale, which differ from the page without it.
  const TPicture designOnly(LoadPngResource(L"imgLogo"));
  imgLogo.SetPicture(&designOnly);
  TPaintBuffer fromDesign, withoutLogo;
  m_pPanel->PaintTo(fromDesign);
  imgLogo.SetParent(nullptr);
  m_pPanel->PaintTo(withoutLogo);
  EXPECT_EQ(DifferentPixels(m_Buffer, fromDesign), 0);
  EXPECT_GT(DifferentPixels(m_Buffer, withoutLogo), 1000);

  const std::string log = test::CloseAndReadRunLog();
  EXPECT_NE(log.find("TPicture: LoadPngResource: not a Png picture: NotAPicture; drawn from its 96-DPI picture"),
            std::string::npos)
      << log;
}

TEST_F(ControlsTest, ControlInFrontTakesTheMouse) {
  TGradientBitBtn button;
  button.SetBounds(100, 100, 120, 30);
  ApplyButtonTheme(button);
  button.SetParent(m_pPanel.get());
  TLabel label;
  label.SetBounds(100, 100, 0, 0);
  label.SetFont(PageFont(9));
  label.SetCaption(L"cobre o botão");
  label.SetParent(m_pPanel.get());
  int buttonClicks = 0, labelClicks = 0, enters = 0, leaves = 0;
  button.OnClick = [&] { ++buttonClicks; };
  label.OnClick = [&] { ++labelClicks; };
  label.OnMouseEnter = [&] { ++enters; };
  label.OnMouseLeave = [&] { ++leaves; };

  MouseMove(Panel(), 102, 102);
  LeftDown(Panel(), 102, 102);
  LeftUp(Panel(), 102, 102);
  EXPECT_EQ(labelClicks, 1);
  EXPECT_EQ(buttonClicks, 0);
  EXPECT_EQ(enters, 1);
  MouseMove(Panel(), 210, 125);  // still on the button, off the label
  EXPECT_EQ(leaves, 1);
  EXPECT_TRUE(button.MouseInside());

  button.BringToFront();
  MouseMove(Panel(), 102, 102);
  LeftDown(Panel(), 102, 102);
  LeftUp(Panel(), 102, 102);
  EXPECT_EQ(buttonClicks, 1);
  EXPECT_EQ(labelClicks, 1);

  // Where no control is, the panel's own handler sees the press (the pages drag the window from there).
  imgBackground.SetParent(nullptr);
  std::vector<TMouseButton> panelPresses;
  m_pPanel->OnMouseDown = [&](TMouseButton b, int, int) { panelPresses.push_back(b); };
  ::SendMessageW(Panel(), WM_RBUTTONDOWN, MK_RBUTTON, MAKELPARAM(5, 5));
  EXPECT_EQ(panelPresses, std::vector<TMouseButton>{TMouseButton::mbRight});
}

TEST_F(ControlsTest, LabelsSizeThemselvesToTheRealFont) {
  TLabel lblText;
  lblText.SetFont(PageFont(9));
  lblText.SetCaption(L"com o nosso");
  const TLayoutSize plain{lblText.Width(), lblText.Height()};
  EXPECT_GT(plain.width, 40);
  EXPECT_LT(plain.width, 120);
  EXPECT_GE(plain.height, 12);
  EXPECT_LE(plain.height, 24);

  lblText.SetCaption(L"com o nosso ");
  EXPECT_GT(lblText.Width(), plain.width) << "a trailing blank separates the next label";
  lblText.SetFont(PageFont(9, true));
  EXPECT_GT(lblText.Width(), plain.width + 1) << "bold is wider";
  lblText.SetCaption(L"");
  EXPECT_EQ(lblText.Width(), 0);
  EXPECT_EQ(lblText.Height(), plain.height) << "an empty label keeps its line";

  // Painted white on the dark background, inside its bounds only.
  TLabel lblLink;
  lblLink.SetBounds(100, 100, 0, 0);
  lblLink.SetFont(PageFont(9, true));
  lblLink.SetCaption(L"contrato de licença");
  lblLink.SetParent(m_pPanel.get());
  m_pPanel->PaintTo(m_Buffer);
  EXPECT_GT(CountPixels(m_Buffer, lblLink.BoundsRect(), IsBright), 30);
  EXPECT_EQ(CountPixels(m_Buffer, {lblLink.Right(), 95, 40, 30}, IsBright), 0);

  // A fixed-size, centred, wrapping label keeps its size and cuts off what does not fit.
  TLabel lblAlert;
  lblAlert.SetAutoSize(false);
  lblAlert.SetBounds(40, 114, 517, 40);
  lblAlert.SetAlignment(TAlignment::taCenter);
  lblAlert.SetWordWrap(true);
  lblAlert.SetFont(PageFont(11));
  std::wstring longText;
  for (int i = 0; i < 12; ++i) longText += L"Não foi possível conectar ao servidor de versões. ";
  lblAlert.SetCaption(longText);
  lblAlert.SetParent(m_pPanel.get());
  EXPECT_EQ(lblAlert.BoundsRect(), (TLayoutRect{40, 114, 517, 40}));
  m_pPanel->PaintTo(m_Buffer);
  EXPECT_GT(CountPixels(m_Buffer, {40, 134, 517, 20}, IsBright), 50) << "a second line";
  EXPECT_EQ(CountPixels(m_Buffer, {40, 154, 517, 12}, IsBright), 0) << "nothing below the label";
}

TEST_F(ControlsTest, ProgressBarFillsRoundedUpInsideItsRoundedShape) {
  TProgressPanel pbProgressBar(Panel());
  ApplyProgressTheme(pbProgressBar, 178, 16);

  TPaintBuffer bar;
  bar.Resize(528, 16);
  const auto paint = [&] {
    ::SendMessageW(pbProgressBar.Handle(), WM_PRINTCLIENT, reinterpret_cast<WPARAM>(bar.Dc()), PRF_CLIENT);
  };

  // The engine's first notification, 500 of 1000, meets the initial maximum of 100: 10 %.
  pbProgressBar.ApplyNotification(500, 1000);
  EXPECT_EQ(pbProgressBar.FilledWidth(), 53);
  pbProgressBar.SetProgress(1);
  EXPECT_EQ(pbProgressBar.FilledWidth(), 1);
  paint();
  EXPECT_EQ(bar.PixelAt(0, 8), ProgressColor);
  EXPECT_EQ(bar.PixelAt(1, 8), ProgressBackColor);

  pbProgressBar.SetProgress(500);
  paint();
  EXPECT_EQ(bar.PixelAt(263, 8), ProgressColor);
  EXPECT_EQ(bar.PixelAt(264, 8), ProgressBackColor);

  pbProgressBar.SetProgress(1000);
  paint();
  EXPECT_EQ(bar.PixelAt(527, 15), ProgressColor);

  // The window's shape keeps the whole bar, its last column and row included, and cuts the corners by
  // the ellipse (a 2-pixel one is too small to take a whole pixel; a 4-pixel one takes one per corner).
  const auto shapeHas = [&](std::initializer_list<POINT> points) {
    TScopedRegion shape(::CreateRectRgn(0, 0, 0, 0));
    EXPECT_NE(::GetWindowRgn(pbProgressBar.Handle(), shape.Get()), ERROR);
    std::vector<bool> inside;
    for (POINT p : points) inside.push_back(::PtInRegion(shape.Get(), p.x, p.y) != FALSE);
    return inside;
  };
  EXPECT_EQ(shapeHas({{264, 8}, {527, 8}, {264, 15}, {528, 8}, {264, 16}}),
            (std::vector<bool>{true, true, true, false, false}));
  pbProgressBar.SetRoundX(4);
  pbProgressBar.SetRoundY(4);
  EXPECT_EQ(shapeHas({{0, 0}, {527, 0}, {0, 15}, {527, 15}, {1, 0}, {526, 15}}),
            (std::vector<bool>{false, false, false, false, true, true}));

  // The border follows the shape, one pixel wide, over both parts.
  pbProgressBar.SetBorder(true);
  pbProgressBar.SetBorderColor(0x00FF00);
  paint();
  EXPECT_EQ(bar.PixelAt(264, 0), 0x00FF00u);
  EXPECT_EQ(bar.PixelAt(527, 8), 0x00FF00u);
  EXPECT_EQ(bar.PixelAt(264, 1), ProgressColor);
  pbProgressBar.SetBorder(false);

  // A gradient runs from its first colour at the top to its second at the bottom.
  pbProgressBar.SetColorTop(0x0000FF);
  pbProgressBar.SetColorBotton(0xFF0000);
  paint();
  EXPECT_GT(RedOf(bar.PixelAt(10, 0)), 200);
  EXPECT_GT(BlueOf(bar.PixelAt(10, 15)), 200);

  std::vector<TMouseButton> presses;
  pbProgressBar.OnMouseDown = [&](TMouseButton b, int, int) { presses.push_back(b); };
  ::SendMessageW(pbProgressBar.Handle(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(10, 5));
  EXPECT_EQ(presses, std::vector<TMouseButton>{TMouseButton::mbLeft});
}

TEST_F(ControlsTest, EditFieldsTakeThePageColoursAndLimitTyping) {
  TEdit edtNome(*m_pPanel, 150, 120, 300, 21, TAlignment::taCenter);
  edtNome.SetFont(PageFont(11));
  edtNome.SetColors(0x1E1E1E, clWhite);
  edtNome.SetMaxLength(14);
  TEdit edtHardwareID(*m_pPanel, 175, 153, 250, 21, TAlignment::taCenter);
  edtHardwareID.SetReadOnly(true);  // asks for its colours with WM_CTLCOLORSTATIC
  edtHardwareID.SetColors(0x1E1E1E, clWhite);
  edtHardwareID.SetText(L"1A2B3C4D_10-12-02-40");

  for (wchar_t c : std::wstring(L"abcdefghijklmnopq")) ::SendMessageW(edtNome.Handle(), WM_CHAR, c, 1);
  EXPECT_EQ(edtNome.Text(), L"abcdefghijklmn") << "the 15th character cannot be typed";

  std::vector<WORD> keys;
  edtNome.OnKeyUp = [&](WORD key) { keys.push_back(key); };
  ::SendMessageW(edtNome.Handle(), WM_CHAR, VK_RETURN, 1);
  ::SendMessageW(edtNome.Handle(), WM_KEYUP, VK_RETURN, 0xC0000001);
  EXPECT_EQ(keys, std::vector<WORD>{VK_RETURN});
  EXPECT_EQ(edtNome.Text(), L"abcdefghijklmn") << "Enter types nothing";

  // The field reports the focus it gets (the message the system sends when it gives the focus; giving
  // it for real would activate the test's window).
  int entered = 0;
  edtNome.OnEnter = [&] { ++entered; };
  ::SendMessageW(edtNome.Handle(), WM_SETFOCUS, 0, 0);
  EXPECT_EQ(entered, 1);

  PrintWithChildren();
  EXPECT_EQ(m_Buffer.PixelAt(152, 123), 0x1E1E1Eu);
  EXPECT_EQ(m_Buffer.PixelAt(177, 156), 0x1E1E1Eu);
  EXPECT_GT(CountPixels(m_Buffer, {175, 153, 250, 21}, IsBright), 20) << "white identifier text";
}

TEST_F(ControlsTest, RadioButtonsFormOneGroupOnThePanel) {
  TRadioButton first(*m_pPanel, 30, 127);
  TRadioButton second(*m_pPanel, 100, 127);
  TRadioButton third(*m_pPanel, 170, 127);
  int clicks = 0;
  second.OnClick = [&] { ++clicks; };
  EXPECT_FALSE(first.Checked() || second.Checked() || third.Checked());

  first.SetChecked(true);
  ::SendMessageW(second.Handle(), BM_CLICK, 0, 0);
  EXPECT_EQ(clicks, 1);
  EXPECT_FALSE(first.Checked());
  EXPECT_TRUE(second.Checked());
  third.SetChecked(true);
  EXPECT_FALSE(second.Checked());
  third.SetChecked(false);
  EXPECT_FALSE(first.Checked() || second.Checked() || third.Checked()) << "unchecking leaves none checked";

  // The radio takes the colour of the picture behind it.
  second.SetColors(0x123456, clWhite);
  PrintWithChildren();
  EXPECT_EQ(m_Buffer.PixelAt(100, 127), 0x123456u);
}

// A page as the wizard will build it, rendered for a person to look at.
TEST_F(ControlsTest, RendersAPageForAHumanToLookAt) {
  const TPicture logoPicture(LoadPngResource(L"imgLogo"));
  const TPicture closePicture(LoadPngResource(L"imgClose"));
  TImage imgLogo, imgClose;
  const TLayoutPoint logoAt = PlaceLogo(kPageWidth, {199, 48});
  imgLogo.SetBounds(logoAt.x, logoAt.y, 0, 0);
  imgLogo.SetAutoSize(true);
  imgLogo.SetPicture(&logoPicture);
  imgClose.SetBounds(568, 2, 30, 30);
  imgClose.SetCenter(true);
  imgClose.SetProportional(true);
  imgClose.SetPicture(&closePicture);

  TLabel lblText, lblText2, lblLink, lblDot, lblConfigInternet;
  lblText.SetFont(PageFont(9));
  lblText.SetCaption(L"Ao clicar em instalar você declara que está de acordo ");
  lblText2.SetFont(PageFont(9));
  lblText2.SetCaption(L"com o nosso ");
  lblLink.SetFont(PageFont(9, true, LinkFontColor));
  lblLink.SetCaption(L"contrato de licença");
  lblDot.SetFont(PageFont(9));
  lblDot.SetCaption(L".");
  TFontSpec linkFont = PageFont(9, true);
  linkFont.name = L"Segoe UI Semibold";
  lblConfigInternet.SetFont(linkFont);
  lblConfigInternet.SetCaption(L"Configurações de Internet");
  lblConfigInternet.SetBounds(20, 218, 0, 0);

  const TAgreementSentence s =
      LayoutAgreementSentence(kPageWidth, imgLogo.Bottom(), {lblText.Width(), lblText.Height()},
                              {lblText2.Width(), lblText2.Height()}, {lblLink.Width(), lblLink.Height()},
                              {lblDot.Width(), lblDot.Height()});
  const std::initializer_list<std::pair<TLabel*, TLayoutRect>> placed = {
      {&lblText, s.text}, {&lblText2, s.text2}, {&lblLink, s.link}, {&lblDot, s.dot}};
  for (auto [label, rect] : placed) {
    label->SetBounds(rect.left, rect.top, rect.width, rect.height);
  }

  TGradientBitBtn btnInstall;
  ApplyButtonTheme(btnInstall);
  btnInstall.SetCaption(L"Instalar");
  btnInstall.SetBounds(240, s.buttonTop, 120, 30);

  for (TGraphicControl* c : std::initializer_list<TGraphicControl*>{&imgLogo, &lblText, &lblText2, &lblLink, &lblDot,
                                                                    &btnInstall, &lblConfigInternet, &imgClose}) {
    c->SetParent(m_pPanel.get());
  }

  TProgressPanel pbProgressBar(Panel());
  ApplyProgressTheme(pbProgressBar, 208, 6);
  pbProgressBar.ApplyNotification(100, 250);

  m_pPanel->SetVisible(true);
  ::UpdateWindow(Panel());
  MouseMove(Panel(), 300, btnInstall.Top() + 15);  // the button as the mouse sees it
  PrintWithChildren();
  m_Buffer.SaveAsPng(L"controls-page.png");
  m_pPanel->SetVisible(false);

  // The background is copied pixel for pixel, the logo sits around row 66, the bar shows 40 %.
  Gdiplus::Color expected;
  ASSERT_EQ(m_pngBackground->Design().GetPixel(5, 5, &expected), Gdiplus::Ok);
  EXPECT_EQ(m_Buffer.PixelAt(5, 5), MakeColor(expected.GetR(), expected.GetG(), expected.GetB()));
  EXPECT_EQ(imgLogo.BoundsRect(), (TLayoutRect{200, 42, 199, 48}));
  EXPECT_GT(CountPixels(m_Buffer, imgLogo.BoundsRect(), IsBright), 100);
  EXPECT_EQ(m_Buffer.PixelAt(36 + 210, 211), ProgressColor);
  EXPECT_EQ(m_Buffer.PixelAt(36 + 212, 211), ProgressBackColor);
  EXPECT_EQ(m_Buffer.PixelAt(btnInstall.Left() + 6, btnInstall.Top() + 15), MakeColor(225, 225, 225));
  EXPECT_GT(CountPixels(m_Buffer, lblConfigInternet.BoundsRect(), IsBright), 30);
}

}  // namespace
}  // namespace sf
