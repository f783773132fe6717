// A 24-bit top-down DIB section selected into a memory DC: the tests render into it and read the
// pixels back as COLORREF.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>

#include "framework/gdi.h"
#include "framework/handle.h"

namespace test {

class Canvas {
 public:
  Canvas(int width, int height) : width_(width), height_(height) {
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    bitmap_.reset(::CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
    bits_ = static_cast<const std::uint8_t*>(bits);
    dc_.reset(::CreateCompatibleDC(nullptr));
    selected_ = fw::SelectGuard(dc_.get(), bitmap_.get());
  }
  Canvas(const Canvas&) = delete;
  Canvas& operator=(const Canvas&) = delete;

  HDC Dc() const { return dc_.get(); }
  bool Valid() const { return bits_ != nullptr && dc_; }
  int Width() const { return width_; }
  int Height() const { return height_; }

  void Fill(COLORREF color) { fw::FillSolidRect(Dc(), RECT{0, 0, width_, height_}, color); }

  COLORREF Pixel(int x, int y) const {
    ::GdiFlush();
    const std::size_t stride = (static_cast<std::size_t>(width_) * 3 + 3) & ~std::size_t{3};
    const std::uint8_t* p =
        bits_ + static_cast<std::size_t>(y) * stride + static_cast<std::size_t>(x) * 3;
    return RGB(p[2], p[1], p[0]);
  }

  int Count(COLORREF color) const {
    int n = 0;
    for (int y = 0; y < height_; ++y) {
      for (int x = 0; x < width_; ++x) {
        n += Pixel(x, y) == color ? 1 : 0;
      }
    }
    return n;
  }

 private:
  int width_;
  int height_;
  fw::BitmapHandle bitmap_;
  fw::MemoryDc dc_;
  const std::uint8_t* bits_ = nullptr;
  fw::SelectGuard selected_;  // declared last: the bitmap is deselected before it and the DC go
};

}  // namespace test
