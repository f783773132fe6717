// The simple label's decisions that need no device context: text-drawing flag sets, the text it
// measures, link targets and their shell prefixes, and the blink phases.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>

namespace widgets {

enum TAlignment : std::uint8_t {
  agTopLeft,
  agTopCenter,
  agTopRight,
  agCenterLeft,
  agCenter,
  agCenterRight,
  agBottomLeft,
  agBottomCenter,
  agBottomRight
};

enum TLabelOption : std::uint8_t { loPathEllipsis, loEndEllipsis, loEditControl, loShowLabelHint };

// A set of TLabelOption values.
class TLabelOptions {
 public:
  constexpr TLabelOptions() = default;
  constexpr TLabelOptions(std::initializer_list<TLabelOption> options) {
    for (TLabelOption o : options) {
      FBits = static_cast<std::uint8_t>(FBits | Bit(o));
    }
  }
  constexpr bool Has(TLabelOption o) const { return (FBits & Bit(o)) != 0; }
  constexpr bool operator==(const TLabelOptions&) const = default;

 private:
  static constexpr std::uint8_t Bit(TLabelOption o) { return static_cast<std::uint8_t>(1u << o); }
  std::uint8_t FBits = 0;
};

// DrawText flag values (the Win32 side checks them against <windows.h>).
namespace dt {
constexpr unsigned kCenter = 0x1;
constexpr unsigned kRight = 0x2;
constexpr unsigned kVCenter = 0x4;
constexpr unsigned kBottom = 0x8;
constexpr unsigned kWordBreak = 0x10;
constexpr unsigned kSingleLine = 0x20;
// 0x40 is tab expansion (DT_NOCLIP is 0x100): labels expand tabs and are clipped to their bounds.
constexpr unsigned kExpandTabs = 0x40;
constexpr unsigned kCalcRect = 0x400;
constexpr unsigned kNoPrefix = 0x800;
constexpr unsigned kEditControl = 0x2000;
constexpr unsigned kPathEllipsis = 0x4000;
constexpr unsigned kEndEllipsis = 0x8000;
}  // namespace dt

unsigned AlignmentFlags(TAlignment alignment);

// `reading_flags` are the right-to-left flags of the control's reading order (0 left to right).
unsigned LabelPaintFlags(TAlignment alignment, bool multi_line, bool show_accel_char,
                         TLabelOptions options, unsigned reading_flags = 0);
unsigned LabelMeasureFlags(bool multi_line, bool show_accel_char, TLabelOptions options,
                           unsigned reading_flags = 0);

// The link target: Jump as it stands when it holds anything above a blank, else the caption.
std::wstring JumpTarget(const std::wstring& jump, const std::wstring& caption);

// The text handed to the shell: a target without ":" gets "http://", "ftp://" or "mailto:" by its
// first characters; `no_http_prefix` suppresses the "http://" case.
std::wstring UrlWithPrefix(const std::wstring& target, bool no_http_prefix);

// Window-system timers take the low 16 bits of a phase length.
constexpr unsigned TimerIntervalOf(std::int32_t milliseconds) {
  return static_cast<unsigned>(milliseconds) & 0xFFFFu;
}

// The blink phases. The first phase lasts TwinkleVisible; afterwards the phase that begins with the
// text shown lasts TwinkleInVisible and the one that begins hidden lasts TwinkleVisible.
class TwinklePhases {
 public:
  bool Shown() const { return shown_; }
  // Switching blinking off shows the text again.
  void Reset() { shown_ = true; }
  static unsigned FirstInterval(std::int32_t visible) { return TimerIntervalOf(visible); }
  // Flips the phase and returns the interval of the phase that now begins.
  unsigned Tick(std::int32_t visible, std::int32_t invisible);

 private:
  bool shown_ = true;
};

}  // namespace widgets
