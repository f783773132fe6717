// The common base of every control and the control without a window (GraphicControl).
#include <algorithm>

#include "framework/accel.h"
#include "framework/controls.h"
#include "framework/dpi_scale.h"
#include "framework/form.h"
#include "framework/keyboard_focus.h"

namespace fw {

// ---------------------------------------------------------------------------------------------
// Control

Control::Control(WinControl* parent) : parent_(parent) {
  if (parent_ != nullptr) {
    loading_ = parent_->loading_;
    color_ = parent_->color_;
    font_.Assign(parent_->font_);  // before OnChange is hooked: no notification while constructing
  }
  font_watched_ = font_.OnChange.Subscribe([this](::fw::Font&) { FontOwnChanged(); });
  if (parent_ != nullptr) {
    parent_->AddChild(this);
  }
}

Control::~Control() {
  destroying_ = true;
  if (parent_ != nullptr) {
    parent_->RemoveChild(this);
  }
}

Form* Control::ParentForm() const {
  Control* c = const_cast<Control*>(this);
  while (c->parent_ != nullptr) {
    c = c->parent_;
  }
  return c->AsForm();
}

int Control::Dpi() const {
  const Form* form = ParentForm();
  return form != nullptr ? form->Dpi() : kDesignDpi;
}

int Control::Scaled(int value) const {
  return ScaleForDpi(value, Dpi());
}

void Control::InitTopLevel(TColor color) {
  visible_ = false;
  parent_font_ = false;
  parent_color_ = false;
  color_ = color;
}

void Control::EndLoading(Control& control) {
  control.loading_ = false;
  control.Loaded();
}

const std::vector<Control*>& Control::Controls() const {
  static const std::vector<Control*> none;
  return none;
}

void Control::StoreBounds(int left, int top, int width, int height) {
  left_ = left;
  top_ = top;
  width_ = width;
  height_ = height;
}

void Control::SetBounds(int left, int top, int width, int height) {
  width = std::max(width, 0);
  height = std::max(height, 0);
  if (left == left_ && top == top_ && width == width_ && height == height_) {
    return;
  }
  const bool resized = width != width_ || height != height_;
  Invalidate();
  StoreBounds(left, top, width, height);
  Invalidate();
  BoundsChanged(resized);
  if (align_ != alNone && parent_ != nullptr) {
    parent_->Realign();
  }
}

RECT Control::ClientRect() const {
  return RECT{0, 0, width_, height_};
}

int Control::ClientWidth() const {
  const RECT r = ClientRect();
  return r.right - r.left;
}

int Control::ClientHeight() const {
  const RECT r = ClientRect();
  return r.bottom - r.top;
}

void Control::SetAlign(TAlign align) {
  if (align == align_) {
    return;
  }
  align_ = align;
  if (parent_ != nullptr) {
    parent_->Realign();
  }
}

void Control::SetVisible(bool visible) {
  if (visible == visible_) {
    return;
  }
  visible_ = visible;
  SyncVisible();
  if (parent_ != nullptr) {
    if (!visible) {
      parent_->ChildGone(this);
    }
    if (align_ != alNone) {
      parent_->Realign();
    }
  }
  VisibleChanged();
  NotifyAccessible(visible ? EVENT_OBJECT_SHOW : EVENT_OBJECT_HIDE);
}

void Control::VisitDescendants(void (*visit)(Control&, void*), void* visitor) {
  const std::vector<Control*> kids = Controls();
  for (Control* child : kids) {
    visit(*child, visitor);
    child->VisitDescendants(visit, visitor);
  }
}

std::vector<Control*> Control::Descendants() {
  std::vector<Control*> all;
  VisitDescendants(
      [](Control& c, void* list) {
        Control* const control = &c;  // pushed as the lvalue the framework's other lists push
        static_cast<std::vector<Control*>*>(list)->push_back(control);
      },
      &all);
  return all;
}

bool Control::Showing() const {
  return visible_ && parent_ != nullptr && parent_->Showing();
}

void Control::SetEnabled(bool enabled) {
  if (enabled == enabled_) {
    return;
  }
  enabled_ = enabled;
  SyncEnabled();
  Invalidate();
  EnabledChanged();
  NotifyAccessible(EVENT_OBJECT_STATECHANGE);
}

void Control::SetCaption(const std::wstring& caption) {
  if (caption == caption_) {
    return;
  }
  caption_ = caption;
  SyncCaption();
  TextChanged();
  if (accessible_name_.empty()) {
    NotifyAccessible(EVENT_OBJECT_NAMECHANGE);
  }
}

void Control::SetColor(TColor color) {
  parent_color_ = false;
  ApplyParentColor(color);
}

void Control::SetParentColor(bool on) {
  if (on == parent_color_) {
    return;
  }
  parent_color_ = on;
  if (on && parent_ != nullptr) {
    ApplyParentColor(parent_->color_);
  }
}

void Control::ApplyParentColor(TColor color) {
  if (color == color_) {
    return;
  }
  color_ = color;
  Invalidate();
  ColorChanged();
  const std::vector<Control*> kids = Controls();
  for (Control* child : kids) {
    if (child->parent_color_) {
      child->ApplyParentColor(color_);
    }
  }
}

void Control::SetParentFont(bool on) {
  if (on == parent_font_) {
    return;
  }
  parent_font_ = on;
  if (on && parent_ != nullptr) {
    ApplyParentFont(parent_->font_);
  }
}

void Control::ApplyParentFont(const ::fw::Font& font) {
  applying_parent_font_ = true;
  font_.Assign(font);
  applying_parent_font_ = false;
}

void Control::FontOwnChanged() {
  if (!applying_parent_font_) {
    parent_font_ = false;
  }
  Invalidate();
  FontChanged();
  const std::vector<Control*> kids = Controls();
  for (Control* child : kids) {
    if (child->parent_font_) {
      child->ApplyParentFont(font_);
    }
  }
}

void Control::SetOpaque(bool on) {
  if (on) {
    style_ |= csOpaque;
  } else {
    style_ &= ~csOpaque;
  }
}

std::wstring Control::AccessibleName() const {
  if (!accessible_name_.empty()) {
    return accessible_name_;
  }
  return CaptionMarksAccel() ? CaptionText(caption_) : caption_;
}

void Control::SetAccessibleName(const std::wstring& name) {
  if (name != accessible_name_) {
    accessible_name_ = name;
    NotifyAccessible(EVENT_OBJECT_NAMECHANGE);
  }
}

std::wstring Control::AccessibleDefaultAction() const {
  switch (AccessibleRole()) {
    case arPushButton:
      return L"Press";
    case arLink:
      return L"Jump";
    default:
      return {};
  }
}

RECT Control::FocusCueRect() const {
  // Inside the face, clear of rounded corners and outlines.
  const int inset = Scaled(4);
  return RECT{inset, inset, width_ - inset, height_ - inset};
}

bool Control::HasKeyboardFocus() const {
  const Form* form = ParentForm();
  return form != nullptr && form != this && form->KeyboardControl() == this &&
         form->Handle() != nullptr && ::GetFocus() == form->Handle();
}

void Control::AccessibleValueChanged() {
  NotifyAccessible(EVENT_OBJECT_VALUECHANGE);
}

void Control::NotifyAccessible(DWORD event) {
  if (loading_ || destroying_ || AccessibleRole() == arNone) {
    return;
  }
  if (Form* form = ParentForm(); form != nullptr && form != this) {
    form->AccessibleEvent(*this, event);
  }
}

void Control::PaintWithFocusCue(HDC dc) {
  Paint(dc);
  if (HasKeyboardFocus() && ParentForm()->FocusCuesShown()) {
    DrawFocusCue(dc, FocusCueRect(), ColorToRGB(font_.Color()));
  }
}

void Control::Click() {
  if (OnClick) {
    OnClick(*this);
  }
}

bool Control::DialogChar(wchar_t ch) {
  (void)ch;
  return false;
}

bool Control::HitTest(int x, int y) const {
  return x >= 0 && y >= 0 && x < width_ && y < height_;
}

bool Control::CanAcceptAccel() const {
  return enabled_ && visible_ && parent_ != nullptr && parent_->Enabled() && parent_->Showing();
}

bool Control::ClickOnAccel(wchar_t ch) {
  if (IsAccel(ch, caption_) && CanAcceptAccel()) {
    Click();
    return true;
  }
  return false;
}

void Control::SyncVisible() {
  if (parent_ != nullptr && parent_->Handle() != nullptr) {
    const RECT r = BoundsRect();
    App().InvalidateLater(parent_->Handle(), &r, parent_->ErasesBackground());
  }
}

void Control::Paint(HDC dc) {
  (void)dc;
}

void Control::MouseDown(TMouseButton button, TShiftState shift, int x, int y) {
  if (OnMouseDown) {
    OnMouseDown(*this, button, shift, x, y);
  }
}

void Control::MouseUp(TMouseButton button, TShiftState shift, int x, int y) {
  if (OnMouseUp) {
    OnMouseUp(*this, button, shift, x, y);
  }
}

void Control::MouseMove(TShiftState shift, int x, int y) {
  if (OnMouseMove) {
    OnMouseMove(*this, shift, x, y);
  }
}

void Control::MouseEnter() {
  if (OnMouseEnter) {
    OnMouseEnter(*this);
  }
}

void Control::MouseLeave() {
  if (OnMouseExit) {
    OnMouseExit(*this);
  }
}

// ---------------------------------------------------------------------------------------------
// GraphicControl

GraphicControl::GraphicControl(WinControl* parent) : Control(parent) {}

GraphicControl::~GraphicControl() {
  WinControl* parent = Parent();
  if (parent != nullptr && Visible() && !parent->Destroying() && parent->Handle() != nullptr) {
    // Kept by the parent: a request still pending for this control is served with it.
    const RECT r = BoundsRect();
    App().InvalidateLater(parent->Handle(), &r, parent->ErasesBackground());
  }
}

void GraphicControl::Invalidate() {
  WinControl* parent = Parent();
  if (parent != nullptr && parent->Handle() != nullptr && Width() > 0 && Height() > 0) {
    const RECT r = BoundsRect();
    App().InvalidateLater(parent->Handle(), &r, !Opaque() && parent->ErasesBackground());
  }
}

void GraphicControl::Repaint() {
  if (Opaque()) {
    PaintNow();
    return;
  }
  Invalidate();
  if (Parent() != nullptr && Parent()->Handle() != nullptr) {
    App().FlushInvalidations();
    ::UpdateWindow(Parent()->Handle());
  }
}

void GraphicControl::PaintNow() {
  if (!Showing() || Width() <= 0 || Height() <= 0) {
    return;
  }
  ClientDc dc(Parent()->Handle());
  if (dc.get() == nullptr) {
    return;
  }
  SavedDcState saved(dc.get());
  ::SetViewportOrgEx(dc.get(), Left(), Top(), nullptr);
  ::IntersectClipRect(dc.get(), 0, 0, Width(), Height());
  PaintWithFocusCue(dc.get());
}

}  // namespace fw
