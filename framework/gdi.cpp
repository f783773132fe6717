#include "framework/gdi.h"

#include <utility>

#include "framework/font.h"

namespace fw {

COLORREF ColorToRGB(TColor color) {
  if (IsSystemColor(color)) {
    return ::GetSysColor(SystemColorIndex(color));
  }
  return color & 0x00FFFFFFu;
}

void FillSolidRect(HDC dc, const RECT& r, TColor color) {
  if (r.right <= r.left || r.bottom <= r.top) {
    return;  // Wine paints inverted rectangles
  }
  BrushHandle brush(::CreateSolidBrush(ColorToRGB(color)));
  if (brush) {
    ::FillRect(dc, &r, brush.get());
  }
}

namespace {

// Monochrome mask of src's w x h block: 1 where the pixel equals key. A colour-to-mono BitBlt maps
// the source DC's background colour to 1.
BitmapHandle BuildMask(HDC src, int sx, int sy, int w, int h, COLORREF key) {
  BitmapHandle mask(::CreateBitmap(w, h, 1, 1, nullptr));
  MemoryDc mask_dc(::CreateCompatibleDC(src));
  if (!mask || !mask_dc) {
    return {};
  }
  SelectGuard select(mask_dc.get(), mask.get());
  {
    const DcColors colors(src, key, ::GetTextColor(src));
    ::BitBlt(mask_dc.get(), 0, 0, w, h, src, sx, sy, SRCCOPY);
  }
  return mask;
}

// dest = dest AND mask (background 1 keeps dest), then dest = dest OR image (black where keyed).
void BlitMasked(HDC dest, int x, int y, int w, int h, HDC mask_dc, HDC image_dc, int sx, int sy) {
  // Mono to colour: 1 bits take the background colour, 0 bits the text colour.
  const DcColors colors(dest, RGB(255, 255, 255), RGB(0, 0, 0));
  ::BitBlt(dest, x, y, w, h, mask_dc, 0, 0, SRCAND);
  ::BitBlt(dest, x, y, w, h, image_dc, sx, sy, SRCPAINT);
}

constexpr DWORD kDSna = 0x00220326;  // dest AND NOT source

}  // namespace

void DrawTransparent(HDC dest, int x, int y, int w, int h, HDC src, int sx, int sy, COLORREF key,
                     TransparentScratch* scratch) {
  if (w <= 0 || h <= 0) {
    return;
  }
  TransparentScratch own;
  TransparentScratch& s = scratch != nullptr ? *scratch : own;
  if (!s.mask.Resize(w, h) || !s.keyed.Resize(w, h)) {
    return;
  }
  {
    // Colour to mono: the pixels of the background colour become 1.
    const DcColors colors(src, key, ::GetTextColor(src));
    ::BitBlt(s.mask.Dc(), 0, 0, w, h, src, sx, sy, SRCCOPY);
  }
  const HDC keyed = s.keyed.Dc();
  ::BitBlt(keyed, 0, 0, w, h, src, sx, sy, SRCCOPY);
  {
    const DcColors colors(keyed, RGB(255, 255, 255), RGB(0, 0, 0));
    ::BitBlt(keyed, 0, 0, w, h, s.mask.Dc(), 0, 0, kDSna);
  }
  BlitMasked(dest, x, y, w, h, s.mask.Dc(), keyed, 0, 0);
}

HDC TextMeasurer::DcFor(const LOGFONTW& font) {
  if (!dc_) {
    dc_.reset(::CreateCompatibleDC(nullptr));
    if (!dc_) {
      return nullptr;
    }
  }
  if (font_ && SameLogFont(font, description_)) {
    return dc_.get();
  }
  selected_.Restore();  // never delete a selected font
  font_.reset();
  FontHandle made(::CreateFontIndirectW(&font));
  if (made) {
    selected_ = SelectGuard(dc_.get(), made.get());
    font_ = std::move(made);
    description_ = font;
  }
  return dc_.get();
}

TextMeasurer& SharedTextMeasurer() {
  static TextMeasurer measurer;
  return measurer;
}

bool OffscreenBitmap::Resize(int width, int height) {
  return Make(width, height, false);
}

bool OffscreenBitmap::Make(int width, int height, bool monochrome) {
  if (width <= 0 || height <= 0) {
    Release();
    return false;
  }
  if (!Empty() && width == width_ && height == height_) {
    return true;
  }
  Release();
  ClientDc screen(nullptr);
  MemoryDc dc(::CreateCompatibleDC(screen.get()));
  BitmapHandle bitmap(monochrome ? ::CreateBitmap(width, height, 1, 1, nullptr)
                                 : ::CreateCompatibleBitmap(screen.get(), width, height));
  if (!dc || !bitmap) {
    return false;
  }
  selected_ = SelectGuard(dc.get(), bitmap.get());
  dc_ = std::move(dc);
  bitmap_ = std::move(bitmap);
  width_ = width;
  height_ = height;
  return true;
}

void OffscreenBitmap::Release() noexcept {
  selected_.Restore();  // never delete a selected bitmap
  bitmap_.reset();
  dc_.reset();
  width_ = 0;
  height_ = 0;
}

void OffscreenBitmap::CopyTo(HDC dest, int x, int y) const {
  if (!Empty()) {
    ::BitBlt(dest, x, y, width_, height_, dc_.get(), 0, 0, SRCCOPY);
  }
}

SIZE BitmapSize(HBITMAP bitmap) {
  BITMAP info{};
  if (bitmap == nullptr || ::GetObjectW(bitmap, sizeof(info), &info) == 0) {
    return SIZE{0, 0};
  }
  return SIZE{info.bmWidth, info.bmHeight < 0 ? -info.bmHeight : info.bmHeight};
}

bool KeyedBitmap::Build(HBITMAP source, COLORREF key) {
  Release();
  const SIZE size = BitmapSize(source);
  if (size.cx <= 0 || size.cy <= 0) {
    return false;
  }
  ClientDc screen(nullptr);
  MemoryDc src_dc(::CreateCompatibleDC(screen.get()));
  MemoryDc image_dc(::CreateCompatibleDC(screen.get()));
  MemoryDc mask_dc(::CreateCompatibleDC(screen.get()));
  BitmapHandle image(::CreateCompatibleBitmap(screen.get(), size.cx, size.cy));
  if (!src_dc || !image_dc || !mask_dc || !image) {
    return false;
  }
  SelectGuard select_src(src_dc.get(), source);
  BitmapHandle mask = BuildMask(src_dc.get(), 0, 0, size.cx, size.cy, key);
  if (!mask) {
    return false;
  }
  {
    SelectGuard select_image(image_dc.get(), image.get());
    SelectGuard select_mask(mask_dc.get(), mask.get());
    ::BitBlt(image_dc.get(), 0, 0, size.cx, size.cy, src_dc.get(), 0, 0, SRCCOPY);
    ::SetBkColor(image_dc.get(), RGB(255, 255, 255));
    ::SetTextColor(image_dc.get(), RGB(0, 0, 0));
    ::BitBlt(image_dc.get(), 0, 0, size.cx, size.cy, mask_dc.get(), 0, 0, kDSna);
  }
  mask_ = std::move(mask);
  image_ = std::move(image);
  width_ = size.cx;
  height_ = size.cy;
  return true;
}

void KeyedBitmap::Release() noexcept {
  mask_.reset();
  image_.reset();
  width_ = 0;
  height_ = 0;
}

void KeyedBitmap::Draw(HDC dest, int x, int y) const {
  if (Empty()) {
    return;
  }
  MemoryDc mask_dc(::CreateCompatibleDC(dest));
  MemoryDc image_dc(::CreateCompatibleDC(dest));
  if (!mask_dc || !image_dc) {
    return;
  }
  SelectGuard select_mask(mask_dc.get(), mask_.get());
  SelectGuard select_image(image_dc.get(), image_.get());
  BlitMasked(dest, x, y, width_, height_, mask_dc.get(), image_dc.get(), 0, 0);
}

}  // namespace fw
