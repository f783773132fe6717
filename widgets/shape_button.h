// TShapeButton: a push button without a window whose face is a geometric shape filled with an
// image (a gradient, a bitmap or a brush), outlined by a bevel, with its caption on top. Outside
// the shape it is see-through when Transparent: the parent's pixels stay visible.
//
// Class chain, each level holding one concern:
//   TBaseControl, TBaseGraphicControl  (base_control.h) update bracket, Transparent
//   TBaseGraphicButton   states, pointer and accelerator input, groups, repeat, drop-down, caption
//   TCustomShapeButton   the appearance objects, the cached face image, Paint
//   TShapeButton         the button the windows create
#pragma once

#include <windows.h>

#include <array>
#include <cstdint>
#include <memory>
#include <string>

#include "framework/color.h"
#include "framework/controls.h"
#include "framework/gdi.h"
#include "framework/handle.h"
#include "framework/timer.h"
#include "widgets/base_control.h"
#include "widgets/change_notifier.h"
#include "widgets/gradient_paint.h"
#include "widgets/label_text.h"
#include "widgets/shape_model.h"
#include "widgets/shape_paint.h"

namespace widgets {

enum TFillStyle : std::uint8_t {
  sfNone,
  sfBrushBitmap,
  sfBrush,
  sfBitmap,
  sfBitmapList,
  sfGradient,
  sfPng
};

enum TTileMode : std::uint8_t {
  tmNone,
  tmCenter,
  tmStretch,
  tmTile,
  tmVerticalTile,
  tmHorizontalTile
};

enum TGlyphStyle : std::uint8_t { gsStandard, gsExplorer };

// A colour ramp and the style it is painted in. Two-colour mode ramps from Color to EndColor; the
// several-colour mode ramps through the stops of Colors (evenly spread over ColorCount colours).
class TGradient : public TChangeNotifier {
 public:
  TGradient();
  ~TGradient() override;

  // The first colour; the centre of gstElliptic.
  fw::TColor Color() const { return FColor; }
  void SetColor(fw::TColor color);
  // The last colour; the rim of gstElliptic.
  fw::TColor EndColor() const { return FEndColor; }
  void SetEndColor(fw::TColor color);
  int ColorCount() const { return FColorCount; }
  void SetColorCount(int count);  // 2..65535
  TGradientStyle Style() const { return FStyle; }
  void SetStyle(TGradientStyle style);
  bool TwoColors() const { return FTwoColors; }
  void SetTwoColors(bool on);
  // The stops of the several-colour mode.
  const TColorList& Colors() const { return FColors; }
  void SetColors(const TColorList& stops);
  bool PaletteRealize() const { return FPaletteRealize; }
  void SetPaletteRealize(bool on);
  HPALETTE Palette() const { return FPalette.get(); }

  // The computed ramp, plain RGB, first colour first.
  const TColorList& ColorList() const { return FColorList; }

  // Copies every value, with one notification when anything differed.
  void Assign(const TGradient& other);
  bool SameValues(const TGradient& other) const;
  // Rebuilds the ramp (and the palette), then notifies.
  void Change() override;

  // FillGradient of the ramp in its own style, the palette selected and realized first.
  void PaintGradient(HDC canvas, const RECT& rect) const;

 private:
  void InitPalette();

  std::uint16_t FColorCount = 16;
  fw::TColor FColor = fw::clBlue;
  TColorList FColorList;
  fw::TColor FEndColor = fw::clBlack;
  bool FPaletteRealize = false;
  fw::GdiObject<HPALETTE> FPalette;
  TGradientStyle FStyle = gstVertical;
  TColorList FColors;
  bool FTwoColors = true;
};

// What fills the face: a brush, an image (tiled, centred, stretched), or a gradient.
class TShapeFill : public TChangeNotifier {
 public:
  TShapeFill();

  TFillStyle Style() const { return FFillStyle; }
  void SetStyle(TFillStyle style);
  TTileMode TileMode() const { return FTileMode; }
  void SetTileMode(TTileMode mode);
  TGradient& Gradient() { return FGradient; }
  const TGradient& Gradient() const { return FGradient; }
  // The image of sfBitmap and the brush pattern of sfBrushBitmap; owned.
  HBITMAP Bitmap() const { return FBitmap.get(); }
  void SetBitmap(fw::BitmapHandle bitmap);
  // The image of sfBitmapList; owned.
  HBITMAP ListBitmap() const { return FListBitmap.get(); }
  void SetListBitmap(fw::BitmapHandle bitmap);
  // FBitmap for sfBitmap, FListBitmap for sfBitmapList, null otherwise.
  HBITMAP CurrentBitmap() const;

  // Copies every value (the images as copies) with one notification when anything differed.
  void Assign(const TShapeFill& other);

 private:
  fw::BitmapHandle FBitmap;
  TGradient FGradient;
  TFillStyle FFillStyle = sfBrush;
  TTileMode FTileMode = tmTile;
  fw::BitmapHandle FListBitmap;
  TChangeSubscription FGradientWatched;
};

// The glyph image: NumGlyphs pictures side by side (up, disabled, down, toggled down), its
// bottom-left pixel's colour see-through.
class TGlyph : public TChangeNotifier {
 public:
  HBITMAP Bitmap() const { return FBitmap.get(); }
  void SetBitmap(fw::BitmapHandle bitmap);
  int NumGlyphs() const { return FNumGlyphs; }
  void SetNumGlyphs(int count);  // 1..4
  TGlyphStyle Style() const { return FStyle; }
  void SetStyle(TGlyphStyle style);
  // The size of one picture; 0 x 0 without an image.
  SIZE GlyphSize() const;

 private:
  fw::BitmapHandle FBitmap;
  int FNumGlyphs = 1;
  TGlyphStyle FStyle = gsStandard;
};

// Where glyph and caption go inside the caption rectangle.
class TButtonLayout : public TChangeNotifier {
 public:
  TTextArrange AlignText2Glyph() const { return FAlignText2Glyph; }
  void SetAlignText2Glyph(TTextArrange arrange) { Store(FAlignText2Glyph, arrange); }
  int OffsetX() const { return FOffsetX; }
  void SetOffsetX(int x) { Store(FOffsetX, x); }
  int OffsetY() const { return FOffsetY; }
  void SetOffsetY(int y) { Store(FOffsetY, y); }
  int Spacing() const { return FSpacing; }
  void SetSpacing(int spacing) { Store(FSpacing, spacing); }
  TAlignment Alignment() const { return FAlignment; }
  void SetAlignment(TAlignment alignment) { Store(FAlignment, alignment); }
  // The drop-down arrow settings are kept for the window descriptions that set them; no arrow is
  // drawn (the drop-down is announced by OnDropDown, see TBaseGraphicButton).
  bool Arrow() const { return FArrow; }
  void SetArrow(bool on) { Store(FArrow, on); }
  fw::TColor ArrowColor() const { return FArrowColor; }
  void SetArrowColor(fw::TColor color) { Store(FArrowColor, color); }
  int ArrowIndent() const { return FArrowIndent; }
  void SetArrowIndent(int indent) { Store(FArrowIndent, indent); }
  int ArrowSize() const { return FArrowSize; }
  void SetArrowSize(int size) { Store(FArrowSize, size); }

 private:
  TTextArrange FAlignText2Glyph = taRight;
  std::int32_t FOffsetX = 0;
  std::int32_t FOffsetY = 0;
  std::int32_t FSpacing = 2;
  TAlignment FAlignment = agCenter;
  bool FArrow = false;
  fw::TColor FArrowColor = fw::clBlack;
  std::int32_t FArrowIndent = 3;
  std::int32_t FArrowSize = 3;
};

// States, input, groups, repeat, drop-down and the caption of a graphic button.
class TBaseGraphicButton : public TBaseGraphicControl {
 public:
  explicit TBaseGraphicButton(fw::WinControl* parent);  // 25 x 25
  ~TBaseGraphicButton() override;

  TButtonState State() const { return FState; }
  TButtonState OldState() const { return FOldState; }
  // The normal way the state changes; repaints as the state's look requires.
  void SetButtonState(TButtonState state, bool force = false);

  // Whether (x, y), in the button's coordinates, belongs to the button's shape.
  virtual bool PointInShape(int x, int y) const;

  bool AllowMouseOver() const { return FAllowMouseOver; }
  void SetAllowMouseOver(bool on) { FAllowMouseOver = on; }
  bool AllowTransparency() const { return FAllowTransparency; }
  void SetAllowTransparency(bool on) { FAllowTransparency = on; }
  bool AllowShadow() const { return FAllowShadow; }
  void SetAllowShadow(bool on) { FAllowShadow = on; }
  fw::TColor EnterColor() const { return FEnterColor; }
  void SetEnterColor(fw::TColor color);
  bool EnterColorChange() const { return FEnterColorChange; }
  void SetEnterColorChange(bool on);
  bool DisabledGrayed() const { return FDisabledGrayed; }
  void SetDisabledGrayed(bool on);
  bool UseCaption() const { return FUseCaption; }
  void SetUseCaption(bool on);
  bool MultiLine() const { return FMultiLine; }
  void SetMultiLine(bool on);
  bool AutoSize() const { return FAutoSize; }
  void SetAutoSize(bool on);
  bool HideHint() const { return FHideHint; }
  void SetHideHint(bool on) { FHideHint = on; }

  // Toggle groups: buttons of one parent with the same GroupIndex (not 0); pressing one raises
  // the others. AllowAllUp lets the pressed one be raised by a click.
  int GroupIndex() const { return FGroupIndex; }
  void SetGroupIndex(int index);
  bool AllowAllUp() const { return FAllowAllUp; }
  void SetAllowAllUp(bool on) { FAllowAllUp = on; }
  bool Pressed() const { return FPressed; }
  void SetPressed(bool pressed);

  // Held down, the button clicks at once, after RepeatingDelay and then every RepeatingInterval.
  bool RepeatedClick() const { return FRepeatedClick; }
  void SetRepeatedClick(bool on) { FRepeatedClick = on; }
  int RepeatingDelay() const { return FRepeatingDelay; }
  void SetRepeatingDelay(int ms) { FRepeatingDelay = static_cast<std::uint16_t>(ms); }
  int RepeatingInterval() const { return FRepeatingInterval; }
  void SetRepeatingInterval(int ms) { FRepeatingInterval = static_cast<std::uint16_t>(ms); }

  // The drop-down: the framework has no popup menus, so a button with DropDown on enters
  // bsDropDownOpen and fires OnDropDown, where the owner shows what it drops down; CloseDropDown
  // (or the next press) returns it. With DropDownCombo only the DropDownComboWidth pixels at the
  // right drop down; the rest is a plain button.
  bool DropDown() const { return FDropDownEnabled; }
  void SetDropDown(bool on) { FDropDownEnabled = on; }
  bool DropDownCombo() const { return FDropDownCombo; }
  void SetDropDownCombo(bool on) { FDropDownCombo = on; }
  int DropDownComboWidth() const { return FDropdownComboWidth; }
  void SetDropDownComboWidth(int width) { FDropdownComboWidth = width; }
  fw::NotifyEvent OnDropDown;
  void CloseDropDown();

  TButtonLayout& ButtonLayout() { return FButtonLayout; }
  TFxCaption& FontFX() { return FFontFx; }
  TGlyph& Glyph() { return FGlyph; }
  int NumGlyphs() const { return FGlyph.NumGlyphs(); }
  void SetNumGlyphs(int count) { FGlyph.SetNumGlyphs(count); }

  // Where the glyph and the text were last drawn.
  RECT GlyphRect() const { return FGlyphRect; }
  RECT TextRect() const { return FTextRect; }
  // The size caption and glyph need: the laid-out block plus twice the spacing.
  SIZE GetNeededSizeRect();

  // The hover poll and repeat timers exist only while they run.
  fw::Timer* HoverTimer() const { return hover_timer_.get(); }
  fw::Timer* RepeatTimer() const { return repeat_timer_.get(); }

  bool DialogChar(wchar_t ch) override;
  fw::TAccessibleRole AccessibleRole() const override { return fw::arPushButton; }
  void MouseDown(fw::TMouseButton button, fw::TShiftState shift, int x, int y) override;
  void MouseUp(fw::TMouseButton button, fw::TShiftState shift, int x, int y) override;
  void MouseMove(fw::TShiftState shift, int x, int y) override;
  void MouseEnter() override;
  void MouseLeave() override;

 protected:
  // Draws glyph and caption into r of dc (Font, state colours, disabled look, effects).
  virtual void DrawCaption(HDC dc, const RECT& r);
  // True when the face has a colour of its own for the hover state.
  virtual bool HasStateColors() const { return false; }
  // Re-renders the face after an appearance change.
  virtual void UpdateFace() { Invalidate(); }

  void TextChanged() override;
  void FontChanged() override;
  void EnabledChanged() override;
  void VisibleChanged() override;

  std::uint8_t FShadowDepth = 0;

 private:
  bool InsideForPointer(int x, int y, bool release) const;
  SIZE MeasureCaptionText(int wrap_width);
  // The pointer's position in the button's coordinates.
  POINT CursorPos() const;
  void StartRepeat();
  void StopTimers();
  void PollHover();
  void RaiseGroupSiblings();
  void ApplyAutoSize();
  void OpenOrCloseDropDown();

  bool FRepeatedClick = false;
  bool FAllowMouseOver = false;
  bool FAllowShadow = false;
  TButtonLayout FButtonLayout;
  TFxCaption FFontFx;
  std::uint16_t FRepeatingDelay = 500;
  std::uint16_t FRepeatingInterval = 100;
  bool FDropDownCombo = false;
  std::int32_t FDropdownComboWidth = 12;
  bool FHideHint = true;
  bool FUseCaption = true;
  bool FDropDownEnabled = false;
  fw::TColor FEnterColor = fw::clBtnText;
  std::int32_t FGroupIndex = 0;
  bool FDisabledGrayed = true;
  bool FEnterColorChange = false;
  bool FMultiLine = false;
  bool FPressed = false;
  bool FPrepareDrag = false;
  std::unique_ptr<fw::Timer> hover_timer_;
  std::unique_ptr<fw::Timer> repeat_timer_;
  std::int32_t FInternal = 0;
  bool FAutoSize = false;
  TButtonState FState = bsUp;
  TButtonState FOldState = bsUp;
  bool FAllowAllUp = false;
  bool FAllowTransparency = true;
  TGlyph FGlyph;
  RECT FGlyphRect{};
  RECT FTextRect{};
  std::array<TChangeSubscription, 3> FPartsWatched;
};

// The face: the appearance objects, the cached face image and the composition of a paint.
class TCustomShapeButton : public TBaseGraphicButton {
 public:
  explicit TCustomShapeButton(fw::WinControl* parent);

  TShape& Shape() { return FShape; }
  const TShape& Shape() const { return FShape; }
  TShapeButtonColor& Colors() { return FColors; }
  const TShapeButtonColor& Colors() const { return FColors; }
  TShapeFill& ShapeFill() { return FShapeFill; }
  const TShapeFill& ShapeFill() const { return FShapeFill; }
  // Copies every value of fill into the owned one, with one notification.
  void SetShapeFill(const TShapeFill& fill) { FShapeFill.Assign(fill); }

  TShapeButtonMode Mode() const { return FMode; }
  void SetMode(TShapeButtonMode mode);
  TShapeButtonStyle Style() const { return FStyle; }
  void SetStyle(TShapeButtonStyle style);

  bool PointInShape(int x, int y) const override;
  void Paint(HDC dc) override;
  // The palette of the fill (a gradient's, when it realizes one).
  HPALETTE Palette() const { return FShapeFill.Gradient().Palette(); }

  // The cached face image (empty until a face was rendered) and the shape's points, for tests.
  const fw::OffscreenBitmap& FaceImage() const { return FBitmap; }
  const TPointList& Points() const { return FList; }
  int FaceRenderCount() const { return face_renders_; }

 protected:
  // Re-renders the cached face, rebuilds the points and repaints.
  void UpdateFace() override;
  bool HasStateColors() const override { return FColors.Up() != FColors.MouseOver(); }
  void Loaded() override;
  void BoundsChanged(bool resized) override;

 private:
  void PaintFill(HDC dc);
  void PaintFast(HDC dc);
  void RebuildPoints();
  void DrawFillBitmap(HDC dc, int width, int height);

  TShape FShape;
  TShapeButtonColor FColors;
  fw::OffscreenBitmap FBitmap;  // the cached face image, Width x Height
  TShapeFill FShapeFill;
  TShapeButtonStyle FStyle = sbsShadow;
  TShapeButtonMode FMode = sbmShapeFast;
  bool FBevel3D = false;
  TPointList FList;
  fw::OffscreenBitmap pressed_face_;  // the face moved by the pressed offset
  fw::OffscreenBitmap buffer_;        // each paint is composed here, then copied once
  ShapeScratch scratch_;              // the working surfaces of the drawing passes
  int face_renders_ = 0;
  bool constructed_ = false;
  std::array<TChangeSubscription, 3> FPartsWatched;
};

class TShapeButton : public TCustomShapeButton {
 public:
  using TCustomShapeButton::TCustomShapeButton;
};

}  // namespace widgets
