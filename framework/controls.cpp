#include "framework/controls.h"

#include <windowsx.h>

#include <algorithm>

#include "framework/accel.h"
#include "framework/form.h"
#include "framework/keyboard_focus.h"

namespace fw {

namespace {

constexpr wchar_t kControlClass[] = L"fw.Control";
constexpr wchar_t kFormClass[] = L"fw.Form";
constexpr wchar_t kControlProp[] = L"fw.WinControl";

TShiftState ShiftFromKeys(WPARAM keys) {
  TShiftState shift = 0;
  if ((keys & MK_SHIFT) != 0) {
    shift |= ssShift;
  }
  if ((keys & MK_CONTROL) != 0) {
    shift |= ssCtrl;
  }
  if ((keys & MK_LBUTTON) != 0) {
    shift |= ssLeft;
  }
  if ((keys & MK_RBUTTON) != 0) {
    shift |= ssRight;
  }
  if ((keys & MK_MBUTTON) != 0) {
    shift |= ssMiddle;
  }
  if (::GetKeyState(VK_MENU) < 0) {
    shift |= ssAlt;
  }
  return shift;
}

bool Contains(const std::vector<Control*>& list, const Control* c) {
  return std::find(list.begin(), list.end(), c) != list.end();
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Control

Control::Control(WinControl* parent) : parent_(parent) {
  if (parent_ != nullptr) {
    loading_ = parent_->loading_;
    color_ = parent_->color_;
    font_.Assign(parent_->font_);  // before OnChange is hooked: no notification while constructing
  }
  font_.OnChange = [this](::fw::Font&) { FontOwnChanged(); };
  if (parent_ != nullptr) {
    parent_->AddChild(this);
  }
}

Control::~Control() {
  destroying_ = true;
  font_.OnChange = nullptr;
  if (parent_ != nullptr) {
    parent_->RemoveChild(this);
  }
}

Form* Control::ParentForm() const {
  const Control* c = this;
  while (c->parent_ != nullptr) {
    c = c->parent_;
  }
  return dynamic_cast<Form*>(const_cast<Control*>(c));
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

POINT Control::ClientToScreen(POINT p) const {
  if (IsWindowed() && static_cast<const WinControl*>(this)->hwnd_ != nullptr) {
    ::ClientToScreen(static_cast<const WinControl*>(this)->hwnd_, &p);
    return p;
  }
  if (parent_ == nullptr) {
    return p;
  }
  return parent_->ClientToScreen(POINT{p.x + left_, p.y + top_});
}

POINT Control::ScreenToClient(POINT p) const {
  if (IsWindowed() && static_cast<const WinControl*>(this)->hwnd_ != nullptr) {
    ::ScreenToClient(static_cast<const WinControl*>(this)->hwnd_, &p);
    return p;
  }
  if (parent_ == nullptr) {
    return p;
  }
  const POINT q = parent_->ScreenToClient(p);
  return POINT{q.x - left_, q.y - top_};
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
  if (IsWindowed()) {
    auto* self = static_cast<WinControl*>(this);
    if (self->hwnd_ != nullptr) {
      ::ShowWindow(self->hwnd_, visible ? (parent_ == nullptr ? SW_SHOW : SW_SHOWNA) : SW_HIDE);
    }
  } else if (parent_ != nullptr && parent_->hwnd_ != nullptr) {
    const RECT r = BoundsRect();
    App().InvalidateLater(parent_->hwnd_, &r, parent_->ErasesBackground());
  }
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

bool Control::Showing() const {
  return visible_ && parent_ != nullptr && parent_->Showing();
}

void Control::SetEnabled(bool enabled) {
  if (enabled == enabled_) {
    return;
  }
  enabled_ = enabled;
  if (IsWindowed()) {
    auto* self = static_cast<WinControl*>(this);
    if (self->hwnd_ != nullptr) {
      ::EnableWindow(self->hwnd_, enabled ? TRUE : FALSE);
    }
  }
  Invalidate();
  EnabledChanged();
  NotifyAccessible(EVENT_OBJECT_STATECHANGE);
}

void Control::SetCaption(const std::wstring& caption) {
  if (caption == caption_) {
    return;
  }
  caption_ = caption;
  if (IsWindowed()) {
    auto* self = static_cast<WinControl*>(this);
    if (self->hwnd_ != nullptr) {
      ::SetWindowTextW(self->hwnd_, caption_.c_str());
    }
  }
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
  if (IsWindowed()) {
    const std::vector<Control*> kids = static_cast<WinControl*>(this)->children_;
    for (Control* child : kids) {
      if (child->parent_color_) {
        child->ApplyParentColor(color_);
      }
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
  if (IsWindowed()) {
    const std::vector<Control*> kids = static_cast<WinControl*>(this)->children_;
    for (Control* child : kids) {
      if (child->parent_font_) {
        child->ApplyParentFont(font_);
      }
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
  return RECT{4, 4, width_ - 4, height_ - 4};
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

// ---------------------------------------------------------------------------------------------
// WinControl

WinControl::WinControl(WinControl* parent) : WinControl(parent, CreateParams{}) {}

WinControl::WinControl(WinControl* parent, const CreateParams& params) : Control(parent) {
  Create(params);
}

void WinControl::Create(const CreateParams& params) {
  static bool registered = false;
  if (!registered) {
    registered = true;
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof(wc);
    wc.style = CS_DBLCLKS;
    wc.lpfnWndProc = &WinControl::StaticWndProc;
    wc.cbWndExtra = sizeof(LONG_PTR);  // the control, see StaticWndProc
    wc.hInstance = ModuleInstance();
    wc.lpszClassName = kControlClass;
    ::RegisterClassExW(&wc);
    wc.lpszClassName = kFormClass;
    // The program's icon is resource 1; "MAINICON" is the other common name for it.
    wc.hIcon = ::LoadIconW(ModuleInstance(), MAKEINTRESOURCEW(1));
    if (wc.hIcon == nullptr) {
      wc.hIcon = ::LoadIconW(ModuleInstance(), L"MAINICON");
    }
    ::RegisterClassExW(&wc);
  }
  const bool own_class = params.form || params.class_name == nullptr;
  const wchar_t* class_name = params.form ? kFormClass
                              : own_class ? kControlClass
                                          : params.class_name;
  HWND parent_hwnd = Parent() != nullptr ? Parent()->hwnd_ : nullptr;
  HWND hwnd = ::CreateWindowExW(params.ex_style, class_name, Caption().c_str(), params.style,
                                Left(), Top(), Width(), Height(), parent_hwnd, nullptr,
                                ModuleInstance(), own_class ? this : nullptr);
  if (hwnd == nullptr) {
    throw Error(L"Cannot create a window");
  }
  if (!own_class) {
    hwnd_ = hwnd;
    ::SetPropW(hwnd, kControlProp, this);
    subclassed_proc_ = reinterpret_cast<WNDPROC>(::SetWindowLongPtrW(
        hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&WinControl::SubclassWndProc)));
  }
}

WinControl::~WinControl() {
  MarkDestroying();
  ForEachDescendant([](Control& c) { c.MarkDestroying(); });
  // Owned children go first, newest first, while this window still exists.
  while (!owned_.empty()) {
    std::unique_ptr<Control> child = std::move(owned_.back());
    owned_.pop_back();
    child.reset();
  }
  // Children kept elsewhere outlive us only by a declaration-order mistake: cut them loose so
  // their own destructors do not reach back into this object.
  for (Control* child : children_) {
    child->parent_ = nullptr;
  }
  children_.clear();
  hover_ = capture_ = pressed_ = nullptr;
  if (hwnd_ != nullptr) {
    ::DestroyWindow(hwnd_);
  }
  hwnd_ = nullptr;
}

WinControl* WinControl::FromHandle(HWND hwnd) {
  if (hwnd == nullptr) {
    return nullptr;
  }
  return static_cast<WinControl*>(::GetPropW(hwnd, kControlProp));
}

LRESULT CALLBACK WinControl::StaticWndProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  WinControl* self = nullptr;
  if (msg == WM_NCCREATE) {
    self = static_cast<WinControl*>(reinterpret_cast<CREATESTRUCTW*>(lp)->lpCreateParams);
    self->hwnd_ = hwnd;
    ::SetPropW(hwnd, kControlProp, self);
    ::SetWindowLongPtrW(hwnd, 0, reinterpret_cast<LONG_PTR>(self));
  } else {
    // From the window's extra bytes, which the process reads itself: a property lookup is a
    // round trip to the window system's server on every message, every paint included.
    self = reinterpret_cast<WinControl*>(::GetWindowLongPtrW(hwnd, 0));
  }
  if (self == nullptr) {
    return ::DefWindowProcW(hwnd, msg, wp, lp);
  }
  const LRESULT result = self->HandleMessage(msg, wp, lp);
  if (msg == WM_NCDESTROY) {
    ::RemovePropW(hwnd, kControlProp);
    ::SetWindowLongPtrW(hwnd, 0, 0);
    App().ForgetInvalidations(hwnd);
    self->hwnd_ = nullptr;
  }
  return result;
}

LRESULT CALLBACK WinControl::SubclassWndProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  WinControl* self = FromHandle(hwnd);
  if (self == nullptr) {
    return ::DefWindowProcW(hwnd, msg, wp, lp);
  }
  if (msg == WM_NCDESTROY) {
    const WNDPROC original = self->subclassed_proc_;
    ::SetWindowLongPtrW(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(original));
    ::RemovePropW(hwnd, kControlProp);
    App().ForgetInvalidations(hwnd);
    self->hwnd_ = nullptr;
    self->subclassed_proc_ = nullptr;
    return ::CallWindowProcW(original, hwnd, msg, wp, lp);
  }
  return self->HandleMessage(msg, wp, lp);
}

LRESULT WinControl::HandleMessage(UINT msg, WPARAM wp, LPARAM lp) {
  LRESULT result = 0;
  bool handled = false;
  App().GuardedCall([&] {
    result = WndProc(msg, wp, lp);
    handled = true;
  });
  // The caller may be a modal loop of the system's (a message box, a window drag) that never
  // reaches our pump: what this handler asked to repaint is submitted now.
  App().FlushInvalidations();
  if (!handled && msg == WM_NCCREATE) {
    return FALSE;
  }
  return result;
}

LRESULT WinControl::DefaultWndProc(UINT msg, WPARAM wp, LPARAM lp) {
  if (subclassed_proc_ != nullptr) {
    return ::CallWindowProcW(subclassed_proc_, hwnd_, msg, wp, lp);
  }
  return ::DefWindowProcW(hwnd_, msg, wp, lp);
}

LRESULT WinControl::Perform(UINT msg, WPARAM wp, LPARAM lp) {
  return hwnd_ != nullptr ? ::SendMessageW(hwnd_, msg, wp, lp) : 0;
}

LRESULT WinControl::WndProc(UINT msg, WPARAM wp, LPARAM lp) {
  const bool own = subclassed_proc_ == nullptr;
  switch (msg) {
    case WM_ERASEBKGND:
      if (own) {
        return 1;  // WM_PAINT covers every pixel
      }
      break;
    case WM_PAINT:
      if (own) {
        OnPaint();
        return 0;
      }
      break;
    case WM_PRINTCLIENT:
      if (own) {
        PaintTo(reinterpret_cast<HDC>(wp), ClientRect());
        return 0;
      }
      break;
    case WM_MOUSEMOVE:
    case WM_LBUTTONDOWN:
    case WM_LBUTTONUP:
    case WM_LBUTTONDBLCLK:
    case WM_RBUTTONDOWN:
    case WM_RBUTTONUP:
    case WM_RBUTTONDBLCLK:
    case WM_MBUTTONDOWN:
    case WM_MBUTTONUP:
    case WM_MBUTTONDBLCLK:
    case WM_MOUSELEAVE:
      if (own) {
        MouseMessage(msg, wp, lp);
        return 0;
      }
      break;
    case WM_CAPTURECHANGED:
      capture_ = nullptr;
      break;
    case WM_SETCURSOR:
      if (App().Cursor() != crDefault) {
        ::SetCursor(CursorHandle(App().Cursor()));
        return TRUE;
      }
      if (reinterpret_cast<HWND>(wp) == hwnd_ && LOWORD(lp) == HTCLIENT) {
        ApplyCursor();
        return TRUE;
      }
      break;
    case WM_COMMAND:
      if (lp != 0) {
        WinControl* child = FromHandle(reinterpret_cast<HWND>(lp));
        if (child != nullptr && child != this) {
          child->Command(HIWORD(wp));
          return 0;
        }
      }
      break;
    case WM_WINDOWPOSCHANGED:
      WindowPosChanged();
      break;
    case WM_SETFOCUS:
      if (Form* form = ParentForm(); form != nullptr && form != this) {
        form->active_control_ = this;
        form->FocusControl(nullptr);  // a window has the focus now, not a windowless control
      }
      break;
    case WM_SYSCHAR:
      // Unclaimed Alt+letter has no effect; only Alt+Space keeps opening the system menu.
      if (wp != L' ') {
        return 0;
      }
      break;
    default:
      break;
  }
  return DefaultWndProc(msg, wp, lp);
}

void WinControl::OnPaint() {
  PaintDc ps(hwnd_);
  const RECT dirty = ps.dirty();
  if (dirty.right <= dirty.left || dirty.bottom <= dirty.top) {
    return;
  }
  RECT client{};
  ::GetClientRect(hwnd_, &client);
  if (!buffer_.Resize(client.right, client.bottom)) {
    PaintTo(ps.get(), dirty);  // no memory for the buffer: paint straight, flicker and all
    return;
  }
  PaintTo(buffer_.Dc(), dirty);
  ::BitBlt(ps.get(), dirty.left, dirty.top, dirty.right - dirty.left, dirty.bottom - dirty.top,
           buffer_.Dc(), dirty.left, dirty.top, SRCCOPY);
}

void WinControl::PaintTo(HDC dc, const RECT& dirty) {
  SavedDcState saved(dc);
  ::IntersectClipRect(dc, dirty.left, dirty.top, dirty.right, dirty.bottom);
  const std::vector<Control*> kids = children_;
  if (!Opaque()) {
    RegionHandle background(::CreateRectRgnIndirect(&dirty));
    for (const Control* child : kids) {
      if (!child->IsWindowed() && child->Visible() && child->Opaque()) {
        const RECT b = child->BoundsRect();
        RegionHandle covered(::CreateRectRgnIndirect(&b));
        ::CombineRgn(background.get(), background.get(), covered.get(), RGN_DIFF);
      }
    }
    BrushHandle brush(::CreateSolidBrush(ColorToRGB(Color())));
    ::FillRgn(dc, background.get(), brush.get());
  }
  {
    SavedDcState own(dc);
    Paint(dc);
  }
  for (Control* child : kids) {
    if (child->IsWindowed() || !child->Visible() || !Contains(children_, child)) {
      continue;
    }
    const RECT b = child->BoundsRect();
    RECT overlap{};
    if (!::IntersectRect(&overlap, &b, &dirty)) {
      continue;
    }
    SavedDcState one(dc);
    ::OffsetViewportOrgEx(dc, b.left, b.top, nullptr);
    ::IntersectClipRect(dc, 0, 0, b.right - b.left, b.bottom - b.top);
    App().GuardedCall([&] { child->PaintWithFocusCue(dc); });
  }
}

bool WinControl::MouseMessage(UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_MOUSELEAVE) {
    tracking_leave_ = false;
    UpdateHover(nullptr);
    if (mouse_inside_) {
      mouse_inside_ = false;
      MouseLeave();
    }
    return true;
  }
  const int x = GET_X_LPARAM(lp);
  const int y = GET_Y_LPARAM(lp);
  TShiftState shift = ShiftFromKeys(wp);
  if (msg == WM_MOUSEMOVE) {
    if (!tracking_leave_) {
      TRACKMOUSEEVENT tme{sizeof(tme), TME_LEAVE, hwnd_, 0};
      tracking_leave_ = ::TrackMouseEvent(&tme) != FALSE;
    }
    if (!mouse_inside_) {
      mouse_inside_ = true;
      MouseEnter();
    }
    const Control* hovered = hover_;
    UpdateHover(ControlAt(x, y, true));
    if (hover_ != hovered) {
      ApplyCursor();  // WM_SETCURSOR of this move came before the hover changed
    }
    Control* target = capture_ != nullptr ? capture_ : ControlAt(x, y, false);
    if (target != nullptr) {
      target->MouseMove(shift, x - target->Left(), y - target->Top());
    } else {
      MouseMove(shift, x, y);
    }
    return true;
  }

  TMouseButton button = mbLeft;
  bool down = false;
  switch (msg) {
    case WM_LBUTTONDBLCLK:
      shift |= ssDouble;
      [[fallthrough]];
    case WM_LBUTTONDOWN:
      down = true;
      break;
    case WM_RBUTTONDBLCLK:
      shift |= ssDouble;
      [[fallthrough]];
    case WM_RBUTTONDOWN:
      button = mbRight;
      down = true;
      break;
    case WM_MBUTTONDBLCLK:
      shift |= ssDouble;
      [[fallthrough]];
    case WM_MBUTTONDOWN:
      button = mbMiddle;
      down = true;
      break;
    case WM_RBUTTONUP:
      button = mbRight;
      break;
    case WM_MBUTTONUP:
      button = mbMiddle;
      break;
    default:
      break;
  }

  if (down) {
    Control* target = capture_ != nullptr ? capture_ : ControlAt(x, y, false);
    if (target == nullptr) {
      target = this;
    }
    if ((target->ControlStyle() & csCaptureMouse) != 0) {
      if (target != this) {
        capture_ = target;
      }
      if (::GetCapture() != hwnd_) {
        ::SetCapture(hwnd_);
      }
    }
    if (button == mbLeft) {
      pressed_ = target;
    }
    if (target == this) {
      MouseDown(button, shift, x, y);
    } else {
      target->MouseDown(button, shift, x - target->Left(), y - target->Top());
    }
    return true;
  }

  // A release.
  Control* target = capture_ != nullptr ? capture_ : ControlAt(x, y, false);
  if (target == nullptr) {
    target = this;
  }
  const int local_x = target == this ? x : x - target->Left();
  const int local_y = target == this ? y : y - target->Top();
  const bool click = button == mbLeft && pressed_ == target &&
                     (target->ControlStyle() & csClickEvents) != 0 && target->Enabled() &&
                     (target == this ? (x >= 0 && y >= 0 && x < ClientWidth() && y < ClientHeight())
                                     : target->HitTest(local_x, local_y));
  if (button == mbLeft) {
    pressed_ = nullptr;
  }
  if ((wp & (MK_LBUTTON | MK_RBUTTON | MK_MBUTTON)) == 0) {
    capture_ = nullptr;
    if (::GetCapture() == hwnd_) {
      ::ReleaseCapture();
    }
  }
  target->MouseUp(button, shift, local_x, local_y);
  // The click comes last and with the capture released: its handler may pump messages or
  // destroy controls.
  if (click && (target == this || Contains(children_, target))) {
    target->Click();
  }
  return true;
}

void WinControl::ApplyCursor() {
  // The control under the pointer as of the last move, not GetCursorPos: the decision then follows
  // the messages this window got, whatever the pointer did since.
  TCursor cursor = App().Cursor();
  if (cursor == crDefault) {
    const Control* c = capture_ != nullptr ? capture_ : hover_;
    cursor = c != nullptr ? c->Cursor() : crDefault;
  }
  if (cursor == crDefault) {
    cursor = Cursor();
  }
  ::SetCursor(CursorHandle(cursor == crDefault ? crArrow : cursor));
}

void WinControl::UpdateHover(Control* now) {
  if (now == hover_) {
    return;
  }
  Control* old = hover_;
  hover_ = now;
  if (old != nullptr && Contains(children_, old)) {
    old->MouseLeave();
  }
  if (now != nullptr && hover_ == now && Contains(children_, now)) {
    now->MouseEnter();
  }
}

Control* WinControl::ControlAt(int x, int y, bool allow_disabled) const {
  for (auto it = children_.rbegin(); it != children_.rend(); ++it) {
    Control* c = *it;
    if (c->IsWindowed() || !c->Visible() || (!allow_disabled && !c->Enabled())) {
      continue;
    }
    if (c->HitTest(x - c->Left(), y - c->Top())) {
      return c;
    }
  }
  return nullptr;
}

void WinControl::AddChild(Control* child) {
  children_.push_back(child);
}

void WinControl::RemoveChild(Control* child) {
  const auto it = std::find(children_.begin(), children_.end(), child);
  if (it == children_.end()) {
    return;
  }
  children_.erase(it);
  ChildGone(child);
  if (Form* form = ParentForm()) {
    form->ForgetControl(child);
  }
  if (child->Align() != alNone && !Destroying()) {
    Realign();
  }
}

void WinControl::ChildGone(Control* child) {
  if (hover_ == child) {
    hover_ = nullptr;
  }
  if (pressed_ == child) {
    pressed_ = nullptr;
  }
  if (capture_ == child) {
    capture_ = nullptr;
    if (hwnd_ != nullptr && ::GetCapture() == hwnd_) {
      ::ReleaseCapture();
    }
  }
}

void WinControl::ForEachDescendant(const std::function<void(Control&)>& f) {
  const std::vector<Control*> kids = children_;
  for (Control* child : kids) {
    f(*child);
    if (child->IsWindowed()) {
      static_cast<WinControl*>(child)->ForEachDescendant(f);
    }
  }
}

RECT WinControl::AlignRect() const {
  RECT r = ClientRect();
  ::InflateRect(&r, -border_width_, -border_width_);
  return r;
}

void WinControl::SetBorderWidth(int width) {
  if (width == border_width_) {
    return;
  }
  border_width_ = std::max(width, 0);
  Realign();
  Invalidate();
}

void WinControl::Realign() {
  if (aligning_ || Destroying()) {
    return;
  }
  aligning_ = true;
  RECT area = AlignRect();
  const std::vector<Control*> kids = children_;
  for (TAlign kind : {alTop, alBottom, alLeft, alRight, alClient}) {
    for (Control* c : kids) {
      if (!c->Visible() || c->Align() != kind) {
        continue;
      }
      const int w = std::max<int>(area.right - area.left, 0);
      const int h = std::max<int>(area.bottom - area.top, 0);
      switch (kind) {
        case alTop:
          c->SetBounds(area.left, area.top, w, c->Height());
          area.top += c->Height();
          break;
        case alBottom:
          c->SetBounds(area.left, area.bottom - c->Height(), w, c->Height());
          area.bottom -= c->Height();
          break;
        case alLeft:
          c->SetBounds(area.left, area.top, c->Width(), h);
          area.left += c->Width();
          break;
        case alRight:
          c->SetBounds(area.right - c->Width(), area.top, c->Width(), h);
          area.right -= c->Width();
          break;
        default:
          c->SetBounds(area.left, area.top, w, h);
          break;
      }
    }
  }
  aligning_ = false;
}

bool WinControl::DialogChar(wchar_t ch) {
  const std::vector<Control*> kids = children_;
  for (Control* c : kids) {
    if (!c->IsWindowed() && Contains(children_, c) && c->DialogChar(ch)) {
      return true;
    }
  }
  for (Control* c : kids) {
    if (c->IsWindowed() && Contains(children_, c) && c->DialogChar(ch)) {
      return true;
    }
  }
  return false;
}

bool WinControl::CanFocus() const {
  if (hwnd_ == nullptr || !tab_stop_) {
    return false;
  }
  for (const Control* c = this; c != nullptr; c = c->Parent()) {
    if (!c->Enabled() || (c->Parent() != nullptr && !c->Visible())) {
      return false;
    }
  }
  return true;
}

void WinControl::SetFocus() {
  if (hwnd_ != nullptr) {
    ::SetFocus(hwnd_);
  }
}

void WinControl::SetBounds(int left, int top, int width, int height) {
  width = std::max(width, 0);
  height = std::max(height, 0);
  if (hwnd_ == nullptr) {
    Control::SetBounds(left, top, width, height);
    return;
  }
  ::SetWindowPos(hwnd_, nullptr, left, top, width, height,
                 SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOOWNERZORDER);
  WindowPosChanged();  // also when the window manager sent nothing because nothing changed
}

void WinControl::WindowPosChanged() {
  if (hwnd_ == nullptr) {
    return;
  }
  RECT r{};
  ::GetWindowRect(hwnd_, &r);
  if ((::GetWindowLongW(hwnd_, GWL_STYLE) & WS_CHILD) != 0) {
    ::MapWindowPoints(HWND_DESKTOP, ::GetParent(hwnd_), reinterpret_cast<POINT*>(&r), 2);
  }
  const int w = r.right - r.left;
  const int h = r.bottom - r.top;
  const bool moved = r.left != Left() || r.top != Top();
  const bool resized = w != Width() || h != Height();
  StoreBounds(r.left, r.top, w, h);
  // The client area can change without the window rectangle (a border switched on or off).
  Realign();
  if (moved || resized) {
    BoundsChanged(resized);
    if (Align() != alNone && Parent() != nullptr) {
      Parent()->Realign();
    }
  }
}

RECT WinControl::ClientRect() const {
  RECT r{};
  if (hwnd_ != nullptr) {
    ::GetClientRect(hwnd_, &r);
  }
  return r;
}

bool WinControl::Showing() const {
  if (hwnd_ == nullptr || !Visible()) {
    return false;
  }
  return Parent() != nullptr ? Parent()->Showing() : ::IsWindowVisible(hwnd_) != FALSE;
}

void WinControl::Invalidate() {
  App().InvalidateLater(hwnd_, nullptr, false);
}

void WinControl::Repaint() {
  if (hwnd_ != nullptr) {
    App().InvalidateLater(hwnd_, nullptr, false);
    App().FlushInvalidations();
    ::UpdateWindow(hwnd_);
  }
}

}  // namespace fw
