#pragma once
// The look of the console's windows: one widget style and one font for every
// platform and desktop.
//
// The windows are laid out in fixed pixels, so their texts fit only in a font
// of known width. Liberation Sans (Debian's fonts-liberation, the metric twin
// of Arial) is narrower than the usual Linux default and fits every caption
// of both languages at kFontPixelSize; Fusion keeps the margins of buttons,
// check boxes and group boxes the same whatever desktop style is installed.

#include <QFont>

namespace qdl::ui {

constexpr int kFontPixelSize = 11;

// The console font: Liberation Sans (a sans-serif substitute when missing) at
// kFontPixelSize pixels, independent of the screen's DPI.
QFont consoleFont();

// Sets the Fusion style, the console font and a grey for disabled texts that
// stays readable on the console's silver. Call before the windows are
// created.
void applyConsoleLook();

}  // namespace qdl::ui
