#include "framework/image.h"

#include <cstring>
#include <utility>

namespace fw {

namespace {

// A bitmap resource as a DIB section. LoadImageW makes none of a run-length-encoded one (the logos
// are stored so, a quarter to a tenth of their size), so that one is expanded here by SetDIBits
// into a section with its colour table.
BitmapHandle LoadBitmapResource(HINSTANCE instance, const wchar_t* name) {
  const HRSRC found = ::FindResourceW(instance, name, RT_BITMAP);
  // A resource lives as long as its module: nothing to free.
  const auto* info =
      found != nullptr
          ? static_cast<const BITMAPINFO*>(::LockResource(::LoadResource(instance, found)))
          : nullptr;
  const DWORD size = found != nullptr ? ::SizeofResource(instance, found) : 0;
  if (info == nullptr || size < sizeof(BITMAPINFOHEADER) ||
      info->bmiHeader.biCompression != BI_RLE8) {
    return BitmapHandle(static_cast<HBITMAP>(
        ::LoadImageW(instance, name, IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION)));
  }
  const BITMAPINFOHEADER& header = info->bmiHeader;
  const DWORD colours = header.biClrUsed != 0 ? header.biClrUsed : 256;
  const DWORD table_end = header.biSize + colours * DWORD{sizeof(RGBQUAD)};
  if (header.biSize < sizeof(BITMAPINFOHEADER) || header.biBitCount != 8 || colours > 256 ||
      header.biHeight <= 0 || table_end > size || header.biSizeImage > size - table_end) {
    return {};
  }
  struct {
    BITMAPINFOHEADER header;
    RGBQUAD colours[256];
  } plain{};
  plain.header = header;
  plain.header.biSize = sizeof(BITMAPINFOHEADER);
  plain.header.biCompression = BI_RGB;
  plain.header.biSizeImage = 0;
  std::memcpy(plain.colours, reinterpret_cast<const BYTE*>(info) + header.biSize,
              colours * sizeof(RGBQUAD));
  void* pixels = nullptr;
  BitmapHandle section(::CreateDIBSection(nullptr, reinterpret_cast<const BITMAPINFO*>(&plain),
                                          DIB_RGB_COLORS, &pixels, nullptr, 0));
  const ClientDc screen(nullptr);
  if (!section || ::SetDIBits(screen.get(), section.get(), 0, static_cast<UINT>(header.biHeight),
                              reinterpret_cast<const BYTE*>(info) + table_end, info,
                              DIB_RGB_COLORS) != header.biHeight) {
    return {};
  }
  return section;
}

}  // namespace

Image::Image(WinControl* parent) : GraphicControl(parent) {}

void Image::SetBitmap(BitmapHandle bitmap) {
  bitmap_ = std::move(bitmap);
  PictureChanged();
}

bool Image::LoadFromResource(HINSTANCE instance, const wchar_t* name) {
  BitmapHandle bitmap = LoadBitmapResource(instance, name);
  if (!bitmap) {
    return false;
  }
  SetBitmap(std::move(bitmap));
  return true;
}

bool Image::LoadFromResource(HINSTANCE instance, const wchar_t* name, int width, int height) {
  BitmapHandle bitmap = LoadBitmapResource(instance, name);
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
