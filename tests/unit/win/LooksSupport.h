// How the wizard's windows look: rendered pages and dialogs compared with the reference pictures in
// reference/ (reference/<dpi>dpi/ on a scaled screen), and captions measured against their boxes.
// SF_UPDATE_REFERENCES=1 makes the renders the new references (look at them before committing).
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace sf {
class TGraphicPanel;
class TPaintBuffer;
}  // namespace sf

namespace sf::test {

// Writes the render to the working directory (the build tree) as look-<name> and compares it with its
// reference picture for this screen's DPI: at most 40 pixels without a close counterpart, both ways.
void ExpectLooksLikeReference(const TPaintBuffer& shot, const std::wstring& name);

// The captions of a panel's visible controls that would be cut off on the screen: each text measured,
// with the font it is drawn with, at the panel's DPI, against its box at that DPI; and any captioned
// control that reaches past the panel's edges. Empty when every caption fits.
std::vector<std::string> CutOffCaptions(TGraphicPanel& panel);

// The same for a dialog's visible static texts, buttons, check boxes, radio buttons and group box,
// measured with GDI and the font each control was given, against the room its client area leaves.
std::vector<std::string> CutOffCaptions(HWND dialog);

// A window's client area as the screen shows it, its child windows included.
void CaptureClient(HWND window, TPaintBuffer& shot);

}  // namespace sf::test
