#include "widgets/shape_button.h"

#include <algorithm>
#include <cmath>
#include <string>
#include <utility>

#include "framework/accel.h"

namespace widgets {

namespace {

// The setup window's look, fixed in this version: a 1-px bevel and a shadow depth of 1, which
// gives the pressed offset and the caption margins.
constexpr int kBevelWidth = 1;
constexpr int kShadowDepth = 1;
constexpr int kRoundPercent = 33;

// c1 to c2 in n colours, each channel interpolated with the platform's rounding MulDiv.
std::vector<std::uint32_t> BuildColorRamp(fw::TColor c1, fw::TColor c2, int n) {
  std::vector<std::uint32_t> list;
  const COLORREF from = fw::ColorToRGB(c1);
  const COLORREF to = fw::ColorToRGB(c2);
  const auto channel = [n](int a, int b, int i) {
    return n > 1 ? (a + ::MulDiv(i, b - a, n - 1)) & 0xFF : a;
  };
  list.reserve(static_cast<std::size_t>(n));
  for (int i = 0; i < n; ++i) {
    list.push_back(fw::MakeRGB(channel(fw::GetR(from), fw::GetR(to), i),
                               channel(fw::GetG(from), fw::GetG(to), i),
                               channel(fw::GetB(from), fw::GetB(to), i)));
  }
  return list;
}

// Concentric ellipses, the last colour (the rim) largest and first. Dividing the radii by 1.4,
// a little under the square root of 2, makes the outermost ellipse reach past the corners.
void FillElliptic(HDC dc, int width, int height, const std::vector<std::uint32_t>& colors) {
  if (colors.empty() || width <= 0 || height <= 0) {
    return;
  }
  const int n = static_cast<int>(colors.size());
  const int cx = width / 2;
  const int cy = height / 2;
  fw::SelectGuard pen(dc, ::GetStockObject(NULL_PEN));
  for (int i = n - 1; i >= 0; --i) {
    const int k = i + 1;
    const int rx = static_cast<int>(std::lrint(::MulDiv(k, width, n) / 1.4));
    const int ry = static_cast<int>(std::lrint(::MulDiv(k, height, n) / 1.4));
    fw::BrushHandle brush(::CreateSolidBrush(colors[static_cast<std::size_t>(i)]));
    if (!brush) {
      continue;
    }
    fw::SelectGuard select(dc, brush.get());
    ::Ellipse(dc, cx - rx, cy - ry, cx + rx, cy + ry);
  }
}

}  // namespace

// --- TGradient ---

TGradient::TGradient() {
  InitPalette();
}

void TGradient::SetColor(fw::TColor color) {
  if (color != color_) {
    color_ = color;
    Change();
  }
}

void TGradient::SetEndColor(fw::TColor color) {
  if (color != end_color_) {
    end_color_ = color;
    Change();
  }
}

void TGradient::SetColorCount(std::uint16_t count) {
  count = std::max<std::uint16_t>(count, 2);
  if (count != color_count_) {
    color_count_ = count;
    Change();
  }
}

void TGradient::Assign(const TGradient& other) {
  if (&other == this) {
    return;
  }
  const bool differs = other.color_ != color_ || other.end_color_ != end_color_ ||
                       other.color_count_ != color_count_;
  color_ = other.color_;
  end_color_ = other.end_color_;
  color_count_ = other.color_count_;
  if (differs) {
    Change();
  }
}

void TGradient::Change() {
  InitPalette();
  TChangeNotifier::Change();
}

void TGradient::InitPalette() {
  color_list_ = BuildColorRamp(color_, end_color_, color_count_);
}

// --- TShapeFill ---

TShapeFill::TShapeFill() {
  gradient_.OnChange = [this](TChangeNotifier&) { Change(); };
}

TShapeFill::~TShapeFill() {
  gradient_.OnChange = nullptr;
}

void TShapeFill::Assign(const TShapeFill& other) {
  if (&other == this) {
    return;
  }
  // The gradient's own notification is held back, so the whole copy gives at most one.
  const bool differs = gradient_.Color() != other.gradient_.Color() ||
                       gradient_.EndColor() != other.gradient_.EndColor() ||
                       gradient_.ColorCount() != other.gradient_.ColorCount();
  BeginUpdate();
  gradient_.Assign(other.gradient_);
  EndUpdate(differs);
}

// --- TShapeButton ---

TShapeButton::TShapeButton(fw::WinControl* parent) : fw::GraphicControl(parent) {
  // Clicks come from this button's own press and release rules, not from the framework; not
  // opaque, so the parent paints beneath the see-through corners.
  SetControlStyle(fw::csCaptureMouse);
  shape_fill_.OnChange = [this](TChangeNotifier&) { UpdateFace(); };
  SetBounds(Left(), Top(), 25, 25);
}

TShapeButton::~TShapeButton() {
  shape_fill_.OnChange = nullptr;
}

void TShapeButton::SetButtonState(TButtonState state, bool force) {
  if (state == state_ && !force) {
    return;
  }
  state_ = state;
  if (Visible()) {
    Invalidate();
  }
}

bool TShapeButton::Pressed() const {
  return state_ == bsOptionSet || state_ == bsDown || state_ == bsDropDownOpen ||
         state_ == bsDisabledDown;
}

int TShapeButton::CornerSize() const {
  return std::min(Width(), Height()) * kRoundPercent / 100;
}

bool TShapeButton::PointInShape(int x, int y) const {
  const int c = CornerSize();
  fw::RegionHandle region(::CreateRoundRectRgn(0, 0, Width(), Height(), c, c));
  if (!region) {
    return true;
  }
  return ::PtInRegion(region.get(), x, y) != FALSE;
}

bool TShapeButton::HitTest(int x, int y) const {
  return PointInShape(x, y);
}

bool TShapeButton::DialogChar(wchar_t ch) {
  return ClickOnAccel(ch);
}

bool TShapeButton::RenderFace() {
  const int width = Width();
  const int height = Height();
  if (width <= 0 || height <= 0) {
    return false;
  }
  fw::ClientDc screen(nullptr);
  fw::MemoryDc dc(::CreateCompatibleDC(screen.get()));
  fw::BitmapHandle bitmap(::CreateCompatibleBitmap(screen.get(), width, height));
  if (!dc || !bitmap) {
    return false;
  }
  {
    fw::SelectGuard select(dc.get(), bitmap.get());
    fw::FillSolidRect(dc.get(), RECT{0, 0, width, height}, shape_fill_.Gradient().EndColor());
    FillElliptic(dc.get(), width, height, shape_fill_.Gradient().ColorList());
  }
  // Made from the bitmap once it is no longer selected anywhere.
  fw::BrushHandle brush(::CreatePatternBrush(bitmap.get()));
  if (!brush) {
    return false;
  }
  face_brush_ = std::move(brush);
  face_bitmap_ = std::move(bitmap);
  face_width_ = width;
  face_height_ = height;
  return true;
}

void TShapeButton::UpdateFace() {
  if (!RenderFace()) {
    return;
  }
  // Drawn straight over what is on screen: the shape does not change, so the parent need not
  // repaint beneath it first, and a hover colour shows at once.
  PaintNow();
}

void TShapeButton::Paint(HDC dc) {
  if (Loading()) {
    return;
  }
  const int width = Width();
  const int height = Height();
  if (width <= 0 || height <= 0) {
    return;
  }
  if (!face_brush_ || face_width_ != width || face_height_ != height) {
    RenderFace();
  }
  if (!buffer_.Resize(width, height)) {
    return;
  }
  const HDC buffer = buffer_.Dc();
  fw::FillSolidRect(buffer, RECT{0, 0, width, height}, Color());
  const bool pressed = Pressed();
  const int offset = pressed ? kShadowDepth : 0;
  {
    // The brush origin shifts the pattern: pressed, the gradient moves inside the same outline.
    const fw::SavedDcState saved(buffer);
    ::SetBrushOrgEx(buffer, offset, offset, nullptr);
    fw::SelectGuard pen(buffer, ::GetStockObject(BLACK_PEN));
    fw::SelectGuard brush(buffer, face_brush_ ? face_brush_.get() : ::GetStockObject(NULL_BRUSH));
    const int c = CornerSize();
    ::RoundRect(buffer, 0, 0, width, height, c, c);
  }
  RECT caption{kBevelWidth + 1, kBevelWidth + 1, width - 2 * kBevelWidth - kShadowDepth - 1,
               height - 2 * kBevelWidth - kShadowDepth - 1};
  if (pressed && state_ != bsDisabledDown) {
    ::OffsetRect(&caption, kShadowDepth, kShadowDepth);
  }
  DrawCaption(buffer, caption);
  // The pixels still in the background colour are left out: the parent shows at the corners.
  fw::DrawTransparent(dc, 0, 0, width, height, buffer, 0, 0, fw::ColorToRGB(Color()));
}

void TShapeButton::DrawCaption(HDC dc, const RECT& r) {
  const std::wstring& text = Caption();
  const HFONT font = Font().Handle();
  if (font == nullptr) {
    return;
  }
  fw::SelectGuard select(dc, font);
  const std::wstring measured = fw::MeasuredCaption(text, true);
  RECT size{0, 0, 0, 0};
  ::DrawTextW(dc, measured.c_str(), -1, &size, DT_CALCRECT | DT_EXPANDTABS);
  const int w = size.right - size.left + 2;
  const int h = size.bottom - size.top + 2;
  const int left = r.left + (r.right - r.left - w) / 2;
  const int top = r.top + (r.bottom - r.top - h) / 2;
  RECT box{left + 1, top + 1, left + 1 + w, top + 1 + h};
  if (text.empty()) {
    return;
  }
  const fw::SavedDcState saved(dc);
  ::SetBkMode(dc, TRANSPARENT);
  const UINT flags = DT_LEFT | DT_TOP | DT_EXPANDTABS;  // "&" marks and underlines the accelerator
  if (Enabled()) {
    ::SetTextColor(dc, fw::ColorToRGB(Font().Color()));
    ::DrawTextW(dc, text.c_str(), -1, &box, flags);
  } else {
    // Engraved: a light copy one pixel right and down, the grey text over it.
    box.right -= 1;
    RECT light = box;
    ::OffsetRect(&light, 1, 1);
    ::SetTextColor(dc, fw::ColorToRGB(fw::clBtnHighlight));
    ::DrawTextW(dc, text.c_str(), -1, &light, flags);
    ::SetTextColor(dc, fw::ColorToRGB(fw::clGrayText));
    ::DrawTextW(dc, text.c_str(), -1, &box, flags);
  }
}

void TShapeButton::MouseDown(fw::TMouseButton button, fw::TShiftState shift, int x, int y) {
  fw::GraphicControl::MouseDown(button, shift, x, y);
  if (!PointInShape(x, y) || !Enabled() || button != fw::mbLeft) {
    return;
  }
  prepare_drag_ = true;
  SetButtonState(bsDown);
}

void TShapeButton::MouseMove(fw::TShiftState shift, int x, int y) {
  fw::GraphicControl::MouseMove(shift, x, y);
  if (!Enabled()) {
    return;
  }
  const bool inside = PointInShape(x, y);
  if (prepare_drag_) {
    SetButtonState(inside ? bsDown : bsUp);
  }
  // Entering is detected here, by the shape, so it fires on every move over it.
  if (inside && OnMouseEnter) {
    OnMouseEnter(*this);
  }
}

void TShapeButton::MouseUp(fw::TMouseButton button, fw::TShiftState shift, int x, int y) {
  fw::GraphicControl::MouseUp(button, shift, x, y);
  if (!prepare_drag_ || button != fw::mbLeft) {
    return;
  }
  prepare_drag_ = false;
  const bool inside = PointInShape(x, y);
  // Released before the click runs, so a long handler shows the button up.
  SetButtonState(Enabled() ? bsUp : bsDisabledUp);
  if (inside && Enabled()) {
    Click();
  }
}

void TShapeButton::MouseEnter() {
  // Nothing: the rectangle's corners are not the button; MouseMove reports entering the shape.
}

void TShapeButton::MouseLeave() {
  if (Enabled() && OnMouseExit) {
    OnMouseExit(*this);
  }
}

void TShapeButton::Loaded() {
  RenderFace();
}

void TShapeButton::FontChanged() {
  if (!Loading()) {
    UpdateFace();
  }
}

void TShapeButton::EnabledChanged() {
  if (!Enabled()) {
    prepare_drag_ = false;
  }
  state_ = Enabled() ? bsUp : bsDisabledUp;
  Invalidate();
}

void TShapeButton::VisibleChanged() {
  if (!Visible()) {
    prepare_drag_ = false;
    if (state_ == bsDown) {
      state_ = bsUp;
    }
  }
}

void TShapeButton::BoundsChanged(bool resized) {
  if (resized && !Loading()) {
    UpdateFace();
  }
}

}  // namespace widgets
