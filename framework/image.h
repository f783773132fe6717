// A picture (graphic control) that owns an HBITMAP and draws it at its top-left. Transparent: every
// pixel with the colour of the bitmap's bottom-left pixel is left out (cached monochrome mask,
// AND then OR). AutoSize: the control takes the picture's size.
#pragma once

#include "framework/controls.h"
#include "framework/gdi.h"
#include "framework/handle.h"

namespace fw {

class Image : public GraphicControl {
 public:
  // Transparent and AutoSize on; no picture.
  explicit Image(WinControl* parent);

  // Takes ownership of the bitmap (null clears the picture).
  void SetBitmap(BitmapHandle bitmap);
  // LoadImageW of a bitmap resource as a DIB section; false (picture unchanged) when missing.
  bool LoadFromResource(HINSTANCE instance, const wchar_t* name);
  // The same at width x height: a picture of another size is resized once, here, pixel for pixel
  // (no blending, so a transparent picture's key colour stays exact).
  bool LoadFromResource(HINSTANCE instance, const wchar_t* name, int width, int height);
  HBITMAP Bitmap() const { return bitmap_.get(); }

  bool Transparent() const { return transparent_; }
  void SetTransparent(bool on);
  bool AutoSize() const { return auto_size_; }
  void SetAutoSize(bool on);

  void Paint(HDC dc) override;
  // A picture is perceived as a graphic; its name says what it shows (SetAccessibleName).
  TAccessibleRole AccessibleRole() const override { return arGraphic; }

 private:
  void PictureChanged();

  BitmapHandle bitmap_;
  KeyedBitmap keyed_;
  bool transparent_ = true;
  bool auto_size_ = true;
};

}  // namespace fw
