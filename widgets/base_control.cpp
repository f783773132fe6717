#include "widgets/base_control.h"

namespace widgets {

TBaseControl::TBaseControl(fw::WinControl* parent) : fw::GraphicControl(parent) {}

void TBaseControl::EndUpdate() {
  if (FUpdate.End()) {
    UpdateEnded();
  }
}

void TBaseControl::SetTransparent(bool transparent) {
  if (transparent == FTransparent) {
    return;
  }
  FTransparent = transparent;
  // A control that fills its background covers every pixel of its bounds.
  SetOpaque(!transparent);
  if (Parent()->Handle() != nullptr) {
    Invalidate();
  }
}

void TBaseControl::RequestRepaint() {
  if (HeldByUpdate() || Parent() == nullptr || Parent()->Handle() == nullptr) {
    return;
  }
  if (FTransparent) {
    Invalidate();
  } else {
    Repaint();
  }
}

TBaseGraphicControl::TBaseGraphicControl(fw::WinControl* parent) : TBaseControl(parent) {
  SetOpaque(false);
  SetTransparent(true);
  SetBounds(Left(), Top(), 30, 30);
}

}  // namespace widgets
