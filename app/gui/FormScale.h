// The windows were drawn for the 8-point system font at 96 dpi. Qt's fonts
// are larger on most desktops, and a screen may be scaled; a window drawn at a
// fixed pixel size would then cut its texts off. So a window's drawn size is
// its size at the drawn font, and grows with the font, as the original
// toolkit scaled its forms.
#pragma once

#include <QSize>

class QWidget;

// The drawn font's measures at 96 dpi (its dialog base units): text 13 pixels
// high, and letters 6 pixels wide on average over A-Z and a-z.
constexpr int kDrawnTextHeight = 13;
constexpr int kDrawnLetterWidth = 6;

// Fixes form's size: its drawn client size with the width scaled by the
// ratio of its font's average letter width to the drawn one and the height by
// the ratio of the text heights, and never smaller than its layout needs, so
// that every control gets room for its text whatever the font, and a control
// added later widens the window rather than squeezing the others. Lists are
// first made wide enough to show their widest entry whole. Call it once the
// form's layout holds all its controls.
void FixFormSize(QWidget& form, QSize drawn);
