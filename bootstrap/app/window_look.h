// The setup window's look, defined once: the program, the widget tests and the benchmarks all
// style their controls through these, so a test never checks a copy that has drifted.
#pragma once

#include "framework/color.h"
#include "framework/font.h"
#include "widgets/bi_progress_bar.h"
#include "widgets/shape_button.h"
#include "widgets/waiting_progress.h"

namespace setup {

inline constexpr fw::TColor kButtonIdleColor = 0x00808080;   // #808080
inline constexpr fw::TColor kButtonHoverColor = 0x00EEE6D2;  // #D2E6EE
inline constexpr fw::TColor kMeterColor = 0x00FCF8C9;        // #C9F8FC
inline constexpr fw::TColor kWaitingBarColor = 0x006B6B6B;
inline constexpr fw::TColor kSilver = 0x00C0C0C0;

// A font of the window: face, character height in pixels, weight and colour.
void StyleFont(fw::Font& font, const wchar_t* name, int height, bool bold, fw::TColor color);

// The look Contact, Close and Run Setup share (the button's own defaults differ), their font in the
// ANSI character set.
void StyleShapeButton(widgets::TShapeButton& button);

// The lengths of that look at the button's DPI: font height, bevel, shadow depth and spacing.
void SizeShapeButton(widgets::TShapeButton& button);

// The download meter: smooth, a light gradient to white, black text across the full line, its font
// in the ANSI character set.
void StyleMeter(widgets::TBiProgressBar& meter);

// The meter's font height at its DPI.
void SizeMeter(widgets::TBiProgressBar& meter);

// The waiting bar under the logo.
void StyleWaitingBar(widgets::TWaitingProgress& bar);

}  // namespace setup
