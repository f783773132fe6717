// The shape button's property objects: the gradient and the fill of its face, its glyph image
// and where glyph and caption go. Each tells its owner of a change through OnChange.
#pragma once

#include <windows.h>

#include <cstdint>

#include "framework/color.h"
#include "framework/handle.h"
#include "widgets/change_notifier.h"
#include "widgets/gradient_paint.h"
#include "widgets/label_text.h"
#include "widgets/shape_model.h"

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

}  // namespace widgets
