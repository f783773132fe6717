#include "framework/image.h"

#include <utility>

namespace fw {

Image::Image(WinControl* parent) : GraphicControl(parent) {}

void Image::SetBitmap(BitmapHandle bitmap) {
  bitmap_ = std::move(bitmap);
  PictureChanged();
}

bool Image::LoadFromResource(HINSTANCE instance, const wchar_t* name) {
  BitmapHandle bitmap(
      static_cast<HBITMAP>(::LoadImageW(instance, name, IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION)));
  if (!bitmap) {
    return false;
  }
  SetBitmap(std::move(bitmap));
  return true;
}

bool Image::LoadFromResource(HINSTANCE instance, const wchar_t* name, int width, int height) {
  BitmapHandle bitmap(
      static_cast<HBITMAP>(::LoadImageW(instance, name, IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION)));
  if (!bitmap) {
    return false;
  }
  const SIZE size = BitmapSize(bitmap.get());
  if (size.cx != width || size.cy != height) {
    const ClientDc screen(nullptr);
    MemoryDc src(::CreateCompatibleDC(screen.get()));
    MemoryDc dst(::CreateCompatibleDC(screen.get()));
    BitmapHandle resized(::CreateCompatibleBitmap(screen.get(), width, height));
    if (!src || !dst || !resized) {
      return false;
    }
    {
      const SelectGuard from(src.get(), bitmap.get());
      const SelectGuard to(dst.get(), resized.get());
      ::SetStretchBltMode(dst.get(), COLORONCOLOR);
      ::StretchBlt(dst.get(), 0, 0, width, height, src.get(), 0, 0, size.cx, size.cy, SRCCOPY);
    }
    bitmap = std::move(resized);
  }
  SetBitmap(std::move(bitmap));
  return true;
}

void Image::SetTransparent(bool on) {
  if (on == transparent_) {
    return;
  }
  transparent_ = on;
  Invalidate();
}

void Image::SetAutoSize(bool on) {
  if (on == auto_size_) {
    return;
  }
  auto_size_ = on;
  PictureChanged();
}

void Image::PictureChanged() {
  keyed_.Release();
  if (auto_size_ && bitmap_) {
    const SIZE size = BitmapSize(bitmap_.get());
    SetBounds(Left(), Top(), size.cx, size.cy);
  }
  Invalidate();
}

void Image::Paint(HDC dc) {
  if (!bitmap_) {
    return;
  }
  const SIZE size = BitmapSize(bitmap_.get());
  if (transparent_) {
    if (keyed_.Empty()) {
      COLORREF key = 0;
      {
        // A bitmap can be selected into one DC at a time: read the key, then let Build select it.
        MemoryDc src(::CreateCompatibleDC(dc));
        if (!src) {
          return;
        }
        SelectGuard select(src.get(), bitmap_.get());
        key = ::GetPixel(src.get(), 0, size.cy - 1);  // the bottom-left pixel
      }
      keyed_.Build(bitmap_.get(), key);
    }
    keyed_.Draw(dc, 0, 0);
    return;
  }
  MemoryDc src(::CreateCompatibleDC(dc));
  if (!src) {
    return;
  }
  SelectGuard select(src.get(), bitmap_.get());
  ::BitBlt(dc, 0, 0, size.cx, size.cy, src.get(), 0, 0, SRCCOPY);
}

}  // namespace fw
