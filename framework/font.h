// A font description (face, character height in pixels, styles, quality, charset, colour) that
// creates and caches its HFONT. Any change drops the cached HFONT and calls OnChange, so an owner
// can repaint or re-measure; the colour is carried along for the text but is not part of the
// HFONT. The logical description can be read and written as a LOGFONTW.
#pragma once

#include <windows.h>

#include <string>

#include "framework/color.h"
#include "framework/handle.h"
#include "framework/property_change.h"

namespace fw {

// Whether two descriptions make the same font: every field, and the face name up to its end
// (whatever follows the terminator does not count).
bool SameLogFont(const LOGFONTW& a, const LOGFONTW& b);

class Font {
 public:
  // "MS Sans Serif", 11 px, regular, black, default quality and charset.
  Font();
  Font(const Font&) = delete;
  Font& operator=(const Font&) = delete;

  std::wstring Name() const { return lf_.lfFaceName; }
  void SetName(const std::wstring& name);  // cut to 31 characters
  // Character height in pixels; the LOGFONTW holds it as lfHeight = -height.
  int Height() const { return lf_.lfHeight < 0 ? -lf_.lfHeight : lf_.lfHeight; }
  void SetHeight(int pixels);
  bool Bold() const { return lf_.lfWeight >= FW_BOLD; }
  void SetBold(bool on);
  bool Italic() const { return lf_.lfItalic != 0; }
  void SetItalic(bool on);
  bool Underline() const { return lf_.lfUnderline != 0; }
  void SetUnderline(bool on);
  bool StrikeOut() const { return lf_.lfStrikeOut != 0; }
  void SetStrikeOut(bool on);
  BYTE Quality() const { return lf_.lfQuality; }
  void SetQuality(BYTE quality);  // DEFAULT_QUALITY, ANTIALIASED_QUALITY, ...
  BYTE Charset() const { return lf_.lfCharSet; }
  void SetCharset(BYTE charset);
  TColor Color() const { return color_; }
  void SetColor(TColor color);

  // The logical description, and its replacement (the colour stays).
  const LOGFONTW& LogFont() const { return lf_; }
  void SetLogFont(const LOGFONTW& lf);

  // Copies the description and the colour; one OnChange when anything differed.
  void Assign(const Font& other);

  // Several setters, one OnChange (at EndUpdate, when something changed meanwhile).
  void BeginUpdate() { update_.Begin(); }
  void EndUpdate();

  // Created on first use after a change; null only when CreateFontIndirectW failed. A change of
  // the description deletes the old HFONT, so never keep it selected across a change.
  HFONT Handle() const;

  ChangeSignal<Font> OnChange;

 private:
  void Changed(bool description = true);

  LOGFONTW lf_{};
  TColor color_ = clBlack;
  mutable FontHandle handle_;
  UpdateBracket update_;
};

}  // namespace fw
