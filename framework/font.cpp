#include "framework/font.h"

#include <cwchar>

namespace fw {

Font::Font() {
  lf_.lfHeight = -11;
  lf_.lfWeight = FW_NORMAL;
  lf_.lfCharSet = DEFAULT_CHARSET;
  lf_.lfOutPrecision = OUT_DEFAULT_PRECIS;
  lf_.lfClipPrecision = CLIP_DEFAULT_PRECIS;
  lf_.lfQuality = DEFAULT_QUALITY;
  lf_.lfPitchAndFamily = DEFAULT_PITCH | FF_DONTCARE;
  std::wcsncpy(lf_.lfFaceName, L"MS Sans Serif", LF_FACESIZE - 1);
}

void Font::SetName(const std::wstring& name) {
  if (name == lf_.lfFaceName) {
    return;
  }
  std::wmemset(lf_.lfFaceName, 0, LF_FACESIZE);
  std::wcsncpy(lf_.lfFaceName, name.c_str(), LF_FACESIZE - 1);
  Changed();
}

void Font::SetHeight(int pixels) {
  if (StoreChanged(lf_.lfHeight, -pixels)) {
    Changed();
  }
}

void Font::SetBold(bool on) {
  if (Bold() == on) {
    return;
  }
  lf_.lfWeight = on ? FW_BOLD : FW_NORMAL;
  Changed();
}

void Font::SetItalic(bool on) {
  if (Italic() == on) {
    return;
  }
  lf_.lfItalic = on ? TRUE : FALSE;
  Changed();
}

void Font::SetUnderline(bool on) {
  if (Underline() == on) {
    return;
  }
  lf_.lfUnderline = on ? TRUE : FALSE;
  Changed();
}

void Font::SetStrikeOut(bool on) {
  if (StrikeOut() == on) {
    return;
  }
  lf_.lfStrikeOut = on ? TRUE : FALSE;
  Changed();
}

void Font::SetQuality(BYTE quality) {
  if (StoreChanged(lf_.lfQuality, quality)) {
    Changed();
  }
}

void Font::SetCharset(BYTE charset) {
  if (StoreChanged(lf_.lfCharSet, charset)) {
    Changed();
  }
}

void Font::SetColor(TColor color) {
  if (StoreChanged(color_, color)) {
    Changed(false);
  }
}

bool SameLogFont(const LOGFONTW& a, const LOGFONTW& b) {
  return a.lfHeight == b.lfHeight && a.lfWidth == b.lfWidth && a.lfEscapement == b.lfEscapement &&
         a.lfOrientation == b.lfOrientation && a.lfWeight == b.lfWeight &&
         a.lfItalic == b.lfItalic && a.lfUnderline == b.lfUnderline &&
         a.lfStrikeOut == b.lfStrikeOut && a.lfCharSet == b.lfCharSet &&
         a.lfOutPrecision == b.lfOutPrecision && a.lfClipPrecision == b.lfClipPrecision &&
         a.lfQuality == b.lfQuality && a.lfPitchAndFamily == b.lfPitchAndFamily &&
         std::wcsncmp(a.lfFaceName, b.lfFaceName, LF_FACESIZE) == 0;
}

void Font::SetLogFont(const LOGFONTW& lf) {
  if (SameLogFont(lf, lf_)) {
    return;
  }
  lf_ = lf;
  lf_.lfFaceName[LF_FACESIZE - 1] = 0;
  Changed();
}

void Font::Assign(const Font& other) {
  if (&other == this || (SameLogFont(other.lf_, lf_) && other.color_ == color_)) {
    return;
  }
  lf_ = other.lf_;
  color_ = other.color_;
  Changed();
}

void Font::EndUpdate() {
  if (update_.End()) {
    OnChange(*this);
  }
}

HFONT Font::Handle() const {
  if (!handle_) {
    handle_.reset(::CreateFontIndirectW(&lf_));
  }
  return handle_.get();
}

void Font::Changed(bool description) {
  // The colour is not part of the HFONT, so a colour change keeps it.
  if (description) {
    handle_.reset();
  }
  if (update_.Announce()) {
    OnChange(*this);
  }
}

}  // namespace fw
