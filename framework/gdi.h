// Win32 drawing helpers shared by the framework and the widgets: colour resolution, solid fills,
// an owned off-screen bitmap (memory DC + compatible bitmap) and the key-colour copy done with a
// monochrome mask (AND, then OR), because TransparentBlt would need msimg32.
#pragma once

#include <windows.h>

#include "framework/color.h"
#include "framework/handle.h"
#include "framework/pixel_rect.h"

namespace fw {

// The pure geometry's rectangles and GDI's: the same edges, right and bottom exclusive in both.
inline RECT ToGdiRect(const PixelRect& r) {
  return RECT{r.left, r.top, r.right, r.bottom};
}
inline PixelRect ToPixelRect(const RECT& r) {
  return PixelRect{r.left, r.top, r.right, r.bottom};
}

// A system colour reference becomes its current RGB value (GetSysColor); an RGB colour stays as it
// is. clNone has no colour: it resolves to 0x00FFFFFF, so check for clNone before drawing.
COLORREF ColorToRGB(TColor color);

// Fills r (right and bottom exclusive) with a solid brush of the colour; an empty or inverted
// rectangle paints nothing.
void FillSolidRect(HDC dc, const RECT& r, TColor color);

// An owned memory DC with an owned bitmap selected into it. Resize keeps the bitmap when the size
// is unchanged; the bitmap is deselected before it is deleted.
class OffscreenBitmap {
 public:
  OffscreenBitmap() noexcept = default;
  OffscreenBitmap(const OffscreenBitmap&) = delete;
  OffscreenBitmap& operator=(const OffscreenBitmap&) = delete;
  ~OffscreenBitmap() { Release(); }

  // Compatible with the screen; false when a GDI call failed (the buffer is then empty). A width or
  // height of 0 or less releases the buffer and returns false.
  bool Resize(int width, int height);
  void Release() noexcept;

  HDC Dc() const noexcept { return dc_.get(); }
  HBITMAP Bitmap() const noexcept { return bitmap_.get(); }
  int Width() const noexcept { return width_; }
  int Height() const noexcept { return height_; }
  bool Empty() const noexcept { return dc_.get() == nullptr; }

  // One BitBlt SRCCOPY of the whole buffer to (x, y) of dest.
  void CopyTo(HDC dest, int x, int y) const;

 protected:
  // Resize with a bitmap of one bit a pixel (monochrome) or of the screen's format.
  bool Make(int width, int height, bool monochrome);

 private:
  // Declared in destruction order: the selection is undone before the bitmap and the DC go.
  MemoryDc dc_;
  BitmapHandle bitmap_;
  SelectGuard selected_;
  int width_ = 0;
  int height_ = 0;
};

// A one-bit-per-pixel bitmap selected into its own memory DC, kept while the size stays.
class MonoBitmap : private OffscreenBitmap {
 public:
  bool Resize(int width, int height) { return Make(width, height, true); }
  using OffscreenBitmap::Dc;
};

// The working surfaces of DrawTransparent. Making a DC and a bitmap is a round trip to the window
// system under Wine, several times the cost of the copies, so a control that paints again and
// again keeps one set and hands it in.
struct TransparentScratch {
  MonoBitmap mask;        // 1 where the source has the key colour
  OffscreenBitmap keyed;  // the source with its key pixels blackened
};

// Copies the w x h block at (sx, sy) of src to (x, y) of dest, leaving out every source pixel whose
// RGB equals key: the source's mask cuts the destination (AND), the key-blackened source goes in
// (OR). Without scratch it makes its own surfaces; keep a KeyedBitmap when the source is reused.
void DrawTransparent(HDC dest, int x, int y, int w, int h, HDC src, int sx, int sy, COLORREF key,
                     TransparentScratch* scratch = nullptr);

// A bitmap drawn with a key colour left out, with the mask and the key-blackened image cached:
// building them once keeps every later paint to two BitBlts.
class KeyedBitmap {
 public:
  KeyedBitmap() noexcept = default;
  KeyedBitmap(const KeyedBitmap&) = delete;
  KeyedBitmap& operator=(const KeyedBitmap&) = delete;

  // Builds the mask of the pixels equal to key (RGB) in source; source is not kept.
  bool Build(HBITMAP source, COLORREF key);
  void Release() noexcept;
  bool Empty() const noexcept { return !mask_; }

  void Draw(HDC dest, int x, int y) const;

 private:
  BitmapHandle mask_;   // monochrome: 1 where the source has the key colour
  BitmapHandle image_;  // the source with the key pixels made black
  int width_ = 0;
  int height_ = 0;
};

// Where labels measure their text: a memory DC compatible with the screen, so the metrics are the
// screen's without the GetDC / ReleaseDC round trip to the window system's server that a label
// resized after every download read would pay. It keeps its own font of the last description asked
// for selected: selecting a font is a font lookup each time under Wine, and the same label measures
// with the same font again and again. Main thread only.
class TextMeasurer {
 public:
  TextMeasurer() noexcept = default;
  TextMeasurer(const TextMeasurer&) = delete;
  TextMeasurer& operator=(const TextMeasurer&) = delete;

  // The DC with a font of this description selected (the DC's own font when that font cannot be
  // made); null when there is no DC. Valid until the next call.
  HDC DcFor(const LOGFONTW& font);
  HDC Dc() const noexcept { return dc_.get(); }

 private:
  MemoryDc dc_;
  FontHandle font_;
  SelectGuard selected_;  // font_ in dc_; undone before either goes
  LOGFONTW description_{};
};

// The process's measurer, created on first use.
TextMeasurer& SharedTextMeasurer();

// Size of a bitmap, {0, 0} when it is null or unreadable.
SIZE BitmapSize(HBITMAP bitmap);

}  // namespace fw
