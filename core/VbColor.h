#pragma once
// Colours are kept as the controller-era RGB longs &HBBGGRR, so values read
// the same as in the operator documentation; these turn them into QColors.

#include <QColor>

namespace zavo {

using VbColor = long;

inline constexpr VbColor kGreen = 0xFF00;
inline constexpr VbColor kGrey = 0x808080;
inline constexpr VbColor kLightOrange = 0x80C0FF;
inline constexpr VbColor kRed = 0xFF;
inline constexpr VbColor kBlack = 0;
inline constexpr VbColor kWhite = 0xFFFFFF;
inline constexpr VbColor kCyan = 0xFFFF00;
inline constexpr VbColor kBlue = 0xFF0000;
inline constexpr VbColor kLightGreen = 0x80FF80;
inline constexpr VbColor kLightRed = 0x8080FF;
inline constexpr VbColor kButtonFace = 0x8000000F;  // system colour: button face

QColor ToQColor(VbColor c);
VbColor FromQColor(const QColor& c);

}  // namespace zavo
