// TPushButton: a real BUTTON child window, subclassed. Clicks come from BN_CLICKED (mouse, Space)
// and from Enter while it has the focus; an accelerator in its caption clicks it too. Its font is
// its parent's (finally the form's) unless set. It takes the focus (TabStop).
#pragma once

#include "framework/controls.h"

namespace fw {

class PushButton : public WinControl {
 public:
  explicit PushButton(WinControl* parent);  // 75 x 25

  bool DialogChar(wchar_t ch) override;

 protected:
  LRESULT WndProc(UINT msg, WPARAM wp, LPARAM lp) override;
  void Command(WORD notify_code) override;
  void TextChanged() override;
  void FontChanged() override;
};

using TPushButton = PushButton;

}  // namespace fw
