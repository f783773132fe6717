#include "widgets/simple_label.h"

#include <cstring>
#include <utility>

#include "framework/accel.h"
#include "framework/app.h"
#include "framework/clipboard.h"
#include "framework/gdi.h"
#include "framework/handle.h"
#include "framework/property_change.h"
#include "framework/scope_exit.h"

namespace widgets {

static_assert(dt::kCenter == DT_CENTER && dt::kRight == DT_RIGHT && dt::kVCenter == DT_VCENTER &&
              dt::kBottom == DT_BOTTOM && dt::kWordBreak == DT_WORDBREAK &&
              dt::kSingleLine == DT_SINGLELINE && dt::kExpandTabs == DT_EXPANDTABS &&
              dt::kCalcRect == DT_CALCRECT && dt::kNoPrefix == DT_NOPREFIX &&
              dt::kEditControl == DT_EDITCONTROL && dt::kPathEllipsis == DT_PATH_ELLIPSIS &&
              dt::kEndEllipsis == DT_END_ELLIPSIS);
static_assert((SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_DDEWAIT) == 0x140);

namespace {

// The framework draws left-to-right text only, so no reading-order flags are added.
constexpr unsigned kReadingFlags = 0;

}  // namespace

// ---- TBaseLabel ----

TBaseLabel::TBaseLabel(fw::WinControl* parent) : TBaseGraphicControl(parent) {}

TBaseLabel::~TBaseLabel() = default;

void TBaseLabel::SetAlignment(TAlignment alignment) {
  if (fw::StoreChanged(FAlignment, alignment)) {
    CorrectBounds();
    RequestRepaint();
  }
}

void TBaseLabel::SetAutoSize(bool on) {
  if (fw::StoreChanged(FAutoSize, on)) {
    CorrectBounds();
  }
}

void TBaseLabel::SetMultiLine(bool on) {
  if (fw::StoreChanged(FMultiLine, on)) {
    CorrectBounds();
    RequestRepaint();
  }
}

void TBaseLabel::SetShowAccelChar(bool on) {
  if (fw::StoreChanged(FShowAccelChar, on)) {
    RequestRepaint();
  }
}

void TBaseLabel::SetTwinkle(bool on) {
  if (!fw::StoreChanged(FTwinkle, on)) {
    return;
  }
  if (on) {
    StartTwinkle();
  } else {
    StopTwinkle();
  }
}

void TBaseLabel::SetFontSmoothing(bool on) {
  if (fw::StoreChanged(FFontSmoothing, on)) {
    ApplyFontQuality();
  }
}

bool TBaseLabel::ApplyFontQuality() {
  LOGFONTW lf = Font().LogFont();
  const bool antialiased = lf.lfQuality == ANTIALIASED_QUALITY;
  if (FFontSmoothing == antialiased) {
    return false;
  }
  lf.lfQuality = FFontSmoothing ? ANTIALIASED_QUALITY : DEFAULT_QUALITY;
  Font().SetLogFont(lf);
  return true;
}

void TBaseLabel::FontChanged() {
  TBaseGraphicControl::FontChanged();
  if (ApplyFontQuality()) {
    return;
  }
  CorrectBounds();
  RequestRepaint();
}

void TBaseLabel::StartTwinkle() {
  FTwinkleTimer.reset();
  auto timer = std::make_unique<fw::Timer>();
  timer->SetEnabled(false);
  timer->SetInterval(TwinklePhases::FirstInterval(FTwinkleVisible));
  timer->OnTimer = [this](fw::Timer&) { TwinkleTick(); };
  timer->SetEnabled(Enabled());
  FTwinkleTimer = std::move(timer);
}

void TBaseLabel::StopTwinkle() {
  FTwinkleTimer.reset();
  FTwinkleFlag.Reset();
  RequestRepaint();
}

void TBaseLabel::TwinkleTick() {
  const unsigned next = FTwinkleFlag.Tick(FTwinkleVisible, FTwinkleInVisible);
  if (FTwinkleTimer) {
    FTwinkleTimer->SetInterval(next);
  }
  // A hidden label keeps flipping silently.
  if (Visible()) {
    RequestRepaint();
  }
}

// ---- TCustomSimpleLabel ----

TCustomSimpleLabel::TCustomSimpleLabel(fw::WinControl* parent) : TBaseLabel(parent) {}

TCustomSimpleLabel::~TCustomSimpleLabel() = default;

void TCustomSimpleLabel::SetOptions(TLabelOptions options) {
  if (fw::StoreChanged(FOptions, options)) {
    CorrectBounds();
    RequestRepaint();
  }
}

void TCustomSimpleLabel::SetJumpMode(TJumpModes mode) {
  if (mode == FJumpMode) {
    return;
  }
  FJumpMode = mode;
  if (mode == jmNone) {
    if (Loading()) {
      return;
    }
    SetCursor(fw::crDefault);
    Font().BeginUpdate();
    Font().SetColor(fw::clBlack);
    if (FJumpUnderline) {
      Font().SetUnderline(false);
    }
    Font().EndUpdate();
    return;
  }
  ResetCounter();
  SetCursor(fw::crHandPoint);
}

void TCustomSimpleLabel::ResetCounter() {
  FCounter = 0;
  Font().BeginUpdate();
  Font().SetColor(FInActiveColor);
  if (FJumpUnderline) {
    Font().SetUnderline(true);
  }
  Font().EndUpdate();
}

void TCustomSimpleLabel::Execute() {
  if (FClicking) {
    return;
  }
  if (IsLinkMode()) {
    ++FCounter;
    Font().SetColor(FActiveColor);
  }
  Click();
}

void TCustomSimpleLabel::Click() {
  // The window's Contact handler is this label's OnClick and calls Execute: while the click runs,
  // a nested Execute or Click of the same label does nothing.
  if (FClicking) {
    return;
  }
  const auto clicking = fw::ScopedValue(FClicking, true);
  switch (FJumpMode) {
    case jmInternet:
      if (!OpenURL(Target(), false)) {
        // Stored directly: colour and cursor stay as they are, only the link is switched off.
        FJumpMode = jmNone;
        SetEnabled(false);
      }
      break;
    case jmApplication: {
      const std::wstring target = Target();
      // Starting a program is fire and forget; its failure is not reported.
      ShellExecuteSeam(fw::App().Handle(), nullptr, target.c_str(), nullptr, nullptr,
                       SW_SHOWNORMAL);
      break;
    }
    case jmNone:
    case jmCustom:
      TBaseLabel::Click();
      break;
  }
}

bool TCustomSimpleLabel::OpenURL(const std::wstring& target, bool no_http_prefix) {
  const std::wstring url = UrlWithPrefix(target, no_http_prefix);
  // cbSize is the record's size for this build: 60 bytes in 32-bit programs, 112 in 64-bit ones.
  SHELLEXECUTEINFOW info;
  std::memset(&info, 0, sizeof(info));
  info.cbSize = sizeof(info);
  info.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_DDEWAIT;
  info.hwnd = nullptr;
  info.lpVerb = L"Open";
  info.lpFile = url.c_str();
  info.nShow = 0;
  if (!ShellExecuteExSeam(&info)) {
    return false;
  }
  const fw::KernelHandle process(info.hProcess);
  return true;
}

bool TCustomSimpleLabel::CopyURL() {
  return fw::CopyTextToClipboard(fw::App().Handle(), Target());
}

void TCustomSimpleLabel::CorrectBounds() {
  if (!AutoSize() || Align() != fw::alNone || Loading() || HeldByUpdate()) {
    return;
  }
  // The shared measurer, not a screen DC: Label1 is measured after every download read.
  const HDC dc = fw::SharedTextMeasurer().DcFor(Font().LogFont());
  if (dc == nullptr) {
    return;
  }
  std::wstring text = fw::MeasuredCaption(Caption(), ShowAccelChar());
  RECT r = ClientRect();
  DrawTextExSeam(dc, text.data(), static_cast<int>(text.size()), &r,
                 LabelMeasureFlags(MultiLine(), ShowAccelChar(), FOptions, kReadingFlags), nullptr);
  SetBounds(Left(), Top(), r.right - r.left + Scaled(2), r.bottom - r.top + Scaled(2));
}

void TCustomSimpleLabel::Paint(HDC dc) {
  if (FPainting || Loading()) {
    return;
  }
  if (Transparent() && Caption().empty()) {
    return;
  }
  const auto painting = fw::ScopedValue(FPainting, true);
  RECT r{0, 0, Width(), Height()};
  if (!Transparent()) {
    fw::FillSolidRect(dc, r, Color());
  }
  fw::TColor color = Font().Color();
  if (!TwinkleShown()) {
    if (TwinkleColor() == fw::clNone) {
      return;
    }
    color = TwinkleColor();
  }
  if (!Enabled()) {
    color = fw::clGrayText;
  }
  const unsigned flags =
      LabelPaintFlags(Alignment(), MultiLine(), ShowAccelChar(), FOptions, kReadingFlags);
  const fw::SavedDcState saved(dc);
  const fw::SelectGuard font(dc, Font().Handle());
  ::SetBkMode(dc, TRANSPARENT);
  ::SetTextColor(dc, fw::ColorToRGB(color));
  std::wstring text = Caption();
  DrawTextExSeam(dc, text.data(), static_cast<int>(text.size()), &r, flags, nullptr);
}

void TCustomSimpleLabel::MouseDown(fw::TMouseButton button, fw::TShiftState shift, int x, int y) {
  if (button == fw::mbLeft && IsLinkMode()) {
    ++FCounter;
    Font().SetColor(FActiveColor);
  }
  TBaseLabel::MouseDown(button, shift, x, y);
}

bool TCustomSimpleLabel::DialogChar(wchar_t ch) {
  if (FFocusControl != nullptr && ShowAccelChar() && Enabled() && fw::IsAccel(ch, Caption()) &&
      FFocusControl->CanFocus()) {
    FFocusControl->SetFocus();
    return true;
  }
  return TBaseLabel::DialogChar(ch);
}

void TCustomSimpleLabel::Loaded() {
  TBaseLabel::Loaded();
  CorrectBounds();
}

void TCustomSimpleLabel::TextChanged() {
  TBaseLabel::TextChanged();
  CorrectBounds();
  RequestRepaint();
}

}  // namespace widgets
