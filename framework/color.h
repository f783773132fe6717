// Colour values as the program stores them. A TColor is either a plain RGB colour 0x00BBGGRR (red
// in the low byte), a reference 0xFF0000nn to the window system's colour number nn (resolved only
// when the colour is used, see ColorToRGB in gdi.h), or clNone. Pure: no windows.h.
#pragma once

#include <cstdint>

namespace fw {

using TColor = uint32_t;

inline constexpr TColor clNone = 0x1FFFFFFF;

inline constexpr TColor clBlack = 0x00000000;
inline constexpr TColor clMaroon = 0x00000080;
inline constexpr TColor clGreen = 0x00008000;
inline constexpr TColor clNavy = 0x00800000;
inline constexpr TColor clPurple = 0x00800080;
inline constexpr TColor clGray = 0x00808080;
inline constexpr TColor clSilver = 0x00C0C0C0;
inline constexpr TColor clRed = 0x000000FF;
inline constexpr TColor clLime = 0x0000FF00;
inline constexpr TColor clBlue = 0x00FF0000;
inline constexpr TColor clYellow = 0x0000FFFF;
inline constexpr TColor clWhite = 0x00FFFFFF;

inline constexpr TColor clWindow = 0xFF000005;
inline constexpr TColor clWindowFrame = 0xFF000006;
inline constexpr TColor clWindowText = 0xFF000008;
inline constexpr TColor clBtnFace = 0xFF00000F;
inline constexpr TColor clBtnShadow = 0xFF000010;
inline constexpr TColor clGrayText = 0xFF000011;
inline constexpr TColor clBtnText = 0xFF000012;
inline constexpr TColor clBtnHighlight = 0xFF000014;

constexpr bool IsSystemColor(TColor c) {
  return (c & 0xFF000000u) == 0xFF000000u;
}
constexpr int SystemColorIndex(TColor c) {
  return static_cast<int>(c & 0xFFu);
}

constexpr uint8_t GetR(uint32_t rgb) {
  return static_cast<uint8_t>(rgb & 0xFFu);
}
constexpr uint8_t GetG(uint32_t rgb) {
  return static_cast<uint8_t>((rgb >> 8) & 0xFFu);
}
constexpr uint8_t GetB(uint32_t rgb) {
  return static_cast<uint8_t>((rgb >> 16) & 0xFFu);
}

// r + g * 256 + b * 65536 from the low byte of each argument.
constexpr uint32_t MakeRGB(int r, int g, int b) {
  return (static_cast<uint32_t>(r) & 0xFFu) | ((static_cast<uint32_t>(g) & 0xFFu) << 8) |
         ((static_cast<uint32_t>(b) & 0xFFu) << 16);
}

}  // namespace fw
