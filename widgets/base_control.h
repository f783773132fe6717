// The bases the custom-drawn graphic widgets share (the simple label and the shape button):
//   TBaseControl        update bracket, Transparent, the repaint request
//   TBaseGraphicControl non-opaque, transparent, 30 x 30
// and the caption effect objects their captions use.
#pragma once

#include <windows.h>

#include <cstdint>

#include "framework/color.h"
#include "framework/controls.h"
#include "framework/property_change.h"
#include "widgets/change_notifier.h"

namespace widgets {

// The raised and sunken copies are drawn by the shape button's caption; the label draws only
// the flat style.
enum TThreeDStyle : std::uint8_t { tdNone, tdSunken, tdRaised };

enum TDisabledStyle : std::uint8_t { dsAuto, dsStandard, ds3d, dsNone };

// The three-dimensional caption effect. With tdNone there is no offset copy and no extra margin.
// Every setter notifies only on a real change.
class T3DCaption : public TChangeNotifier {
 public:
  TThreeDStyle Style() const { return FStyle; }
  void SetStyle(TThreeDStyle style) { Store(FStyle, style); }
  int LightDepth() const { return FLightDepth; }
  void SetLightDepth(int depth) { Store(FLightDepth, static_cast<std::uint8_t>(depth)); }
  int ShadowDepth() const { return FShadowDepth; }
  void SetShadowDepth(int depth) { Store(FShadowDepth, static_cast<std::uint8_t>(depth)); }
  fw::TColor LightColor() const { return FLightColor; }
  void SetLightColor(fw::TColor color) { Store(FLightColor, color); }
  fw::TColor ShadowColor() const { return FShadowColor; }
  void SetShadowColor(fw::TColor color) { Store(FShadowColor, color); }
  TDisabledStyle DisabledStyle() const { return FDisabledStyle; }
  void SetDisabledStyle(TDisabledStyle style) { Store(FDisabledStyle, style); }
  int Orientation() const { return FOrientation; }
  void SetOrientation(int orientation) { Store(FOrientation, orientation); }
  // Extra spacing between characters, in pixels.
  int Tracing() const { return FTracing; }
  void SetTracing(int tracing) { Store(FTracing, tracing); }

 private:
  TDisabledStyle FDisabledStyle = dsAuto;
  std::uint8_t FLightDepth = 1;
  std::uint8_t FShadowDepth = 1;
  fw::TColor FLightColor = fw::clBtnHighlight;
  fw::TColor FShadowColor = fw::clBtnShadow;
  TThreeDStyle FStyle = tdNone;
  int FOrientation = 2;
  std::int32_t FTracing = 0;
};

// The caption effects of a button (property FontFX). A rotated caption (Angle) and the fixed
// text position (PosX, PosY) are kept for the window descriptions that set them; the button draws
// its caption level, where its layout puts it.
class TFxCaption : public T3DCaption {
 public:
  int Angle() const { return FAngle; }
  void SetAngle(int angle) { Store(FAngle, angle); }
  int PosX() const { return FPosX; }
  void SetPosX(int x) { Store(FPosX, x); }
  int PosY() const { return FPosY; }
  void SetPosY(int y) { Store(FPosY, y); }

 private:
  std::int32_t FAngle = 0;
  std::int32_t FPosX = 0;
  std::int32_t FPosY = 0;
};

class TBaseControl : public fw::GraphicControl {
 public:
  explicit TBaseControl(fw::WinControl* parent);

  // Between BeginUpdate and EndUpdate the control neither repaints nor resizes itself; the
  // outermost EndUpdate does what was held back, once.
  void BeginUpdate() { FUpdate.Begin(); }
  void EndUpdate();
  bool Updating() const { return FUpdate.Open(); }

  bool Transparent() const { return FTransparent; }
  // A transparent control is not opaque: its parent paints beneath it first.
  virtual void SetTransparent(bool transparent);

 protected:
  // Nothing inside an update bracket or before the parent has a window; a transparent control
  // invalidates its area (the parent repaints beneath it), an opaque one paints at once.
  void RequestRepaint();
  // True inside an update bracket, noting that its end has to bring the control up to date.
  bool HeldByUpdate() { return !FUpdate.Announce(); }
  // The end of an update bracket in which something was held back.
  virtual void UpdateEnded() { RequestRepaint(); }

 private:
  bool FTransparent = false;
  fw::UpdateBracket FUpdate;
};

class TBaseGraphicControl : public TBaseControl {
 public:
  explicit TBaseGraphicControl(fw::WinControl* parent);
};

}  // namespace widgets
