#include "widgets/shape_button_parts.h"

#include <algorithm>
#include <utility>
#include <vector>

#include "framework/gdi.h"
#include "widgets/round_mul_div.h"

namespace widgets {

namespace {

fw::BitmapHandle CopyBitmap(HBITMAP bitmap) {
  if (bitmap == nullptr) {
    return fw::BitmapHandle();
  }
  return fw::BitmapHandle(static_cast<HBITMAP>(::CopyImage(bitmap, IMAGE_BITMAP, 0, 0, 0)));
}

}  // namespace

// ---- TGradient ----

TGradient::TGradient() {
  InitPalette();
}

TGradient::~TGradient() = default;

void TGradient::SetColor(fw::TColor color) {
  Store(FColor, color);
}

void TGradient::SetEndColor(fw::TColor color) {
  Store(FEndColor, color);
}

void TGradient::SetColorCount(int count) {
  const auto value = static_cast<std::uint16_t>(std::clamp(count, 2, 65535));
  Store(FColorCount, value);
}

void TGradient::SetStyle(TGradientStyle style) {
  Store(FStyle, style);
}

void TGradient::SetTwoColors(bool on) {
  Store(FTwoColors, on);
}

void TGradient::SetColors(const TColorList& stops) {
  Store(FColors, stops);
}

void TGradient::SetPaletteRealize(bool on) {
  Store(FPaletteRealize, on);
}

void TGradient::Assign(const TGradient& other) {
  if (&other == this) {
    return;
  }
  const bool differs = !SameValues(other);
  FColorCount = other.FColorCount;
  FColor = other.FColor;
  FEndColor = other.FEndColor;
  FPaletteRealize = other.FPaletteRealize;
  FStyle = other.FStyle;
  FColors = other.FColors;
  FTwoColors = other.FTwoColors;
  if (differs) {
    Change();
  }
}

bool TGradient::SameValues(const TGradient& other) const {
  return FColorCount == other.FColorCount && FColor == other.FColor &&
         FEndColor == other.FEndColor && FPaletteRealize == other.FPaletteRealize &&
         FStyle == other.FStyle && FColors == other.FColors && FTwoColors == other.FTwoColors;
}

void TGradient::Change() {
  InitPalette();
  TChangeNotifier::Change();
}

void TGradient::InitPalette() {
  FColorList.clear();
  FPalette.reset();
  if (FTwoColors || FColors.size() < 2) {
    // Fewer than two stops cannot make a several-colour ramp: the two colours stand in.
    BuildColorRamp(FColor, FEndColor, FColorCount, true, &FColorList);
  } else {
    // Each stop-to-stop run gets its share of the colours; a run starts on the colour the last
    // one ended with, so the total stays ColorCount.
    const int runs = static_cast<int>(FColors.size()) - 1;
    const int last = FColorCount - 1;
    for (int j = 0; j < runs; ++j) {
      const int count = RoundMulDiv(j + 1, last, runs) - RoundMulDiv(j, last, runs) + 1;
      BuildColorRamp(FColors[static_cast<std::size_t>(j)], FColors[static_cast<std::size_t>(j) + 1],
                     count, j == 0, &FColorList);
    }
  }
  if (FPaletteRealize && !FColorList.empty()) {
    const std::size_t entries = std::min<std::size_t>(FColorList.size(), 256);
    std::vector<BYTE> storage(sizeof(LOGPALETTE) + entries * sizeof(PALETTEENTRY));
    auto* palette = reinterpret_cast<LOGPALETTE*>(storage.data());
    palette->palVersion = 0x300;
    palette->palNumEntries = static_cast<WORD>(entries);
    for (std::size_t i = 0; i < entries; ++i) {
      const std::uint32_t rgb = FColorList[i * FColorList.size() / entries];
      palette->palPalEntry[i] =
          PALETTEENTRY{static_cast<BYTE>(fw::GetR(rgb)), static_cast<BYTE>(fw::GetG(rgb)),
                       static_cast<BYTE>(fw::GetB(rgb)), 0};
    }
    FPalette.reset(::CreatePalette(palette));
  }
}

void TGradient::PaintGradient(HDC canvas, const RECT& rect) const {
  HPALETTE old_palette = nullptr;
  if (FPalette) {
    old_palette = ::SelectPalette(canvas, FPalette.get(), FALSE);
    ::RealizePalette(canvas);
  }
  FillGradient(canvas, rect, FStyle, FColorList);
  if (old_palette != nullptr) {
    ::SelectPalette(canvas, old_palette, FALSE);
  }
}

// ---- TShapeFill ----

TShapeFill::TShapeFill()
    : FGradientWatched(FGradient.OnChange.Subscribe([this](TChangeNotifier&) { Change(); })) {}

void TShapeFill::SetStyle(TFillStyle style) {
  Store(FFillStyle, style);
}

void TShapeFill::SetTileMode(TTileMode mode) {
  Store(FTileMode, mode);
}

void TShapeFill::SetBitmap(fw::BitmapHandle bitmap) {
  FBitmap = std::move(bitmap);
  Change();
}

void TShapeFill::SetListBitmap(fw::BitmapHandle bitmap) {
  FListBitmap = std::move(bitmap);
  Change();
}

HBITMAP TShapeFill::CurrentBitmap() const {
  if (FFillStyle == sfBitmap) {
    return FBitmap.get();
  }
  if (FFillStyle == sfBitmapList) {
    return FListBitmap.get();
  }
  return nullptr;
}

void TShapeFill::Assign(const TShapeFill& other) {
  if (&other == this) {
    return;
  }
  // Images cannot be compared cheaply: any image counts as a change.
  const bool differs = !FGradient.SameValues(other.FGradient) || FFillStyle != other.FFillStyle ||
                       FTileMode != other.FTileMode || FBitmap || other.FBitmap || FListBitmap ||
                       other.FListBitmap;
  // The gradient's own notification is held back, so the whole copy gives one.
  BeginUpdate();
  FGradient.Assign(other.FGradient);
  FBitmap = CopyBitmap(other.FBitmap.get());
  FListBitmap = CopyBitmap(other.FListBitmap.get());
  FFillStyle = other.FFillStyle;
  FTileMode = other.FTileMode;
  if (differs) {
    Change();
  }
  EndUpdate();
}

// ---- TGlyph ----

void TGlyph::SetBitmap(fw::BitmapHandle bitmap) {
  FBitmap = std::move(bitmap);
  Change();
}

void TGlyph::SetNumGlyphs(int count) {
  count = std::clamp(count, 1, 4);
  Store(FNumGlyphs, count);
}

void TGlyph::SetStyle(TGlyphStyle style) {
  Store(FStyle, style);
}

SIZE TGlyph::GlyphSize() const {
  const SIZE size = fw::BitmapSize(FBitmap.get());
  if (size.cx <= 0 || size.cy <= 0) {
    return SIZE{0, 0};
  }
  return SIZE{size.cx / FNumGlyphs, size.cy};
}

}  // namespace widgets
