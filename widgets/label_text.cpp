#include "widgets/label_text.h"

#include "framework/text.h"

namespace widgets {

unsigned AlignmentFlags(TAlignment alignment) {
  switch (alignment) {
    case agTopLeft:
      return 0;
    case agTopCenter:
      return dt::kCenter;
    case agTopRight:
      return dt::kRight;
    case agCenterLeft:
      return dt::kVCenter;
    case agCenter:
      return dt::kCenter | dt::kVCenter;
    case agCenterRight:
      return dt::kRight | dt::kVCenter;
    case agBottomLeft:
      return dt::kBottom;
    case agBottomCenter:
      return dt::kBottom | dt::kCenter;
    case agBottomRight:
      return dt::kBottom | dt::kRight;
  }
  return 0;
}

namespace {

unsigned OptionFlags(TLabelOptions options) {
  unsigned flags = 0;
  if (options.Has(loPathEllipsis)) {
    flags |= dt::kPathEllipsis;
  }
  if (options.Has(loEndEllipsis)) {
    flags |= dt::kEndEllipsis;
  }
  if (options.Has(loEditControl)) {
    flags |= dt::kEditControl;
  }
  return flags;
}

}  // namespace

unsigned LabelPaintFlags(TAlignment alignment, bool multi_line, bool show_accel_char,
                         TLabelOptions options, unsigned reading_flags) {
  unsigned flags = reading_flags | dt::kWordBreak | dt::kExpandTabs | AlignmentFlags(alignment) |
                   OptionFlags(options);
  if (!multi_line) {
    flags |= dt::kSingleLine;
  }
  if (!show_accel_char) {
    flags |= dt::kNoPrefix;
  }
  return flags;
}

unsigned LabelMeasureFlags(bool multi_line, bool show_accel_char, TLabelOptions options,
                           unsigned reading_flags) {
  unsigned flags = reading_flags | OptionFlags(options) | dt::kCalcRect | dt::kExpandTabs;
  flags |= multi_line ? dt::kWordBreak : dt::kSingleLine;
  if (!show_accel_char) {
    flags |= dt::kNoPrefix;
  }
  return flags;
}

std::wstring JumpTarget(const std::wstring& jump, const std::wstring& caption) {
  return fw::IsAllBlank(std::wstring_view(jump)) ? caption : jump;
}

std::wstring UrlWithPrefix(const std::wstring& target, bool no_http_prefix) {
  if (target.find(L':') != std::wstring::npos) {
    return target;
  }
  if (target.starts_with(L"www") && !no_http_prefix) {
    return L"http://" + target;
  }
  if (target.starts_with(L"ftp")) {
    return L"ftp://" + target;
  }
  const std::size_t at = target.find(L'@');
  if (at != std::wstring::npos && at >= 1) {
    return L"mailto:" + target;
  }
  return target;
}

unsigned TwinklePhases::Tick(std::int32_t visible, std::int32_t invisible) {
  shown_ = !shown_;
  return TimerIntervalOf(shown_ ? invisible : visible);
}

}  // namespace widgets
