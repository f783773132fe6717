// The control with a window: creation, the window procedures, paint composition, children,
// alignment and focus. Pointer routing to the graphic children lives in pointer_router.cpp.
#include <algorithm>

#include "framework/controls.h"
#include "framework/form.h"
#include "framework/system_call.h"

namespace fw {

namespace {

constexpr wchar_t kControlClass[] = L"fw.Control";
constexpr wchar_t kFormClass[] = L"fw.Form";
constexpr wchar_t kControlProp[] = L"fw.WinControl";

bool Contains(const std::vector<Control*>& list, const Control* c) {
  return std::find(list.begin(), list.end(), c) != list.end();
}

}  // namespace

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
    ThrowLastErrorIf(::RegisterClassExW(&wc) == 0, L"Cannot register a window class");
    wc.lpszClassName = kFormClass;
    // The program's icon is resource 1; "MAINICON" is the other common name for it.
    wc.hIcon = ::LoadIconW(ModuleInstance(), MAKEINTRESOURCEW(1));
    if (wc.hIcon == nullptr) {
      wc.hIcon = ::LoadIconW(ModuleInstance(), L"MAINICON");
    }
    ThrowLastErrorIf(::RegisterClassExW(&wc) == 0, L"Cannot register a window class");
  }
  const bool own_class = params.form || params.class_name == nullptr;
  const wchar_t* class_name = params.form ? kFormClass
                              : own_class ? kControlClass
                                          : params.class_name;
  HWND parent_hwnd = Parent() != nullptr ? Parent()->Handle() : nullptr;
  HWND hwnd =
      ThrowIfNull(::CreateWindowExW(params.ex_style, class_name, Caption().c_str(), params.style,
                                    Left(), Top(), Width(), Height(), parent_hwnd, nullptr,
                                    ModuleInstance(), own_class ? this : nullptr),
                  L"Cannot create a window");
  if (!own_class) {
    hwnd_.reset(hwnd);
    ::SetPropW(hwnd, kControlProp, this);
    subclassed_proc_ = reinterpret_cast<WNDPROC>(::SetWindowLongPtrW(
        hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&WinControl::SubclassWndProc)));
  }
}

WinControl::~WinControl() {
  MarkDestroying(*this);
  ForEachDescendant([](Control& c) { MarkDestroying(c); });
  // Owned children go first, newest first, while this window still exists.
  while (!owned_.empty()) {
    std::unique_ptr<Control> child = std::move(owned_.back());
    owned_.pop_back();
    child.reset();
  }
  // Children kept elsewhere outlive us only by a declaration-order mistake: cut them loose so
  // their own destructors do not reach back into this object.
  for (Control* child : children_) {
    Orphan(*child);
  }
  children_.clear();
  pointer_.Clear();
  // Destroyed by hand while the handle is still held, so the destroy messages find a live
  // window; WM_NCDESTROY then lets go of it.
  if (hwnd_) {
    ::DestroyWindow(hwnd_.get());
  }
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
    self->hwnd_.reset(hwnd);
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
    self->hwnd_.release();  // the system has destroyed it
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
    self->hwnd_.release();  // the system has destroyed it
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
    return ::CallWindowProcW(subclassed_proc_, hwnd_.get(), msg, wp, lp);
  }
  return OwnClassWndProc(msg, wp, lp);
}

LRESULT WinControl::OwnClassWndProc(UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case WM_ERASEBKGND:
      return 1;  // WM_PAINT covers every pixel
    case WM_PAINT:
      OnPaint();
      return 0;
    case WM_PRINTCLIENT:
      PaintTo(reinterpret_cast<HDC>(wp), ClientRect());
      return 0;
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
      pointer_.Route(*this, msg, wp, lp);
      return 0;
    case WM_GETOBJECT:
      // The form's accessible object describes every control of the window, so a screen reader
      // that starts from the window under a point (a panel, the meter) finds the control there.
      if (Form* form = ParentForm(); form != nullptr && form != this &&
                                     static_cast<LONG>(static_cast<DWORD>(lp)) == OBJID_CLIENT) {
        return form->Perform(msg, wp, lp);
      }
      return ::DefWindowProcW(hwnd_.get(), msg, wp, lp);
    default:
      return ::DefWindowProcW(hwnd_.get(), msg, wp, lp);
  }
}

LRESULT WinControl::Perform(UINT msg, WPARAM wp, LPARAM lp) {
  return hwnd_ ? ::SendMessageW(hwnd_.get(), msg, wp, lp) : 0;
}

LRESULT WinControl::WndProc(UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case WM_CAPTURECHANGED:
      pointer_.CaptureLost();
      break;
    case WM_SETCURSOR:
      if (App().Cursor() != crDefault) {
        ::SetCursor(CursorHandle(App().Cursor()));
        return TRUE;
      }
      if (reinterpret_cast<HWND>(wp) == hwnd_.get() && LOWORD(lp) == HTCLIENT) {
        pointer_.ApplyCursor(*this);
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
        form->NoteFocus(this);  // a window has the focus now, not a windowless control
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
  PaintDc ps(hwnd_.get());
  const RECT dirty = ps.dirty();
  if (dirty.right <= dirty.left || dirty.bottom <= dirty.top) {
    return;
  }
  RECT client{};
  ::GetClientRect(hwnd_.get(), &client);
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
  pointer_.Forget(*this, child);
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
  if (!hwnd_ || !tab_stop_) {
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
  if (hwnd_) {
    ::SetFocus(hwnd_.get());
  }
}

void WinControl::SetBounds(int left, int top, int width, int height) {
  width = std::max(width, 0);
  height = std::max(height, 0);
  if (!hwnd_) {
    Control::SetBounds(left, top, width, height);
    return;
  }
  ::SetWindowPos(hwnd_.get(), nullptr, left, top, width, height,
                 SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOOWNERZORDER);
  WindowPosChanged();  // also when the window manager sent nothing because nothing changed
}

void WinControl::WindowPosChanged() {
  if (!hwnd_) {
    return;
  }
  RECT r{};
  ::GetWindowRect(hwnd_.get(), &r);
  if ((::GetWindowLongW(hwnd_.get(), GWL_STYLE) & WS_CHILD) != 0) {
    ::MapWindowPoints(HWND_DESKTOP, ::GetParent(hwnd_.get()), reinterpret_cast<POINT*>(&r), 2);
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
  if (hwnd_) {
    ::GetClientRect(hwnd_.get(), &r);
  }
  return r;
}

bool WinControl::Showing() const {
  if (!hwnd_ || !Visible()) {
    return false;
  }
  return Parent() != nullptr ? Parent()->Showing() : ::IsWindowVisible(hwnd_.get()) != FALSE;
}

void WinControl::SyncVisible() {
  if (hwnd_) {
    ::ShowWindow(hwnd_.get(), Visible() ? (Parent() == nullptr ? SW_SHOW : SW_SHOWNA) : SW_HIDE);
  }
}

void WinControl::SyncEnabled() {
  if (hwnd_) {
    ::EnableWindow(hwnd_.get(), Enabled() ? TRUE : FALSE);
  }
}

void WinControl::SyncCaption() {
  if (hwnd_) {
    ::SetWindowTextW(hwnd_.get(), Caption().c_str());
  }
}

void WinControl::Invalidate() {
  App().InvalidateLater(hwnd_.get(), nullptr, false);
}

void WinControl::Repaint() {
  if (hwnd_) {
    App().InvalidateLater(hwnd_.get(), nullptr, false);
    App().FlushInvalidations();
    ::UpdateWindow(hwnd_.get());
  }
}

}  // namespace fw
