// The control tree. Control is the common base (bounds, alignment, visibility, enabled state,
// caption, colour, font, cursor, events, notification hooks). GraphicControl has no window: its
// parent paints it (Paint gets a DC whose origin is the control's top-left, clipped to its bounds)
// and routes mouse input to it. WinControl owns an HWND and the list of its children in creation
// order; it composes each WM_PAINT in one off-screen bitmap (background in Color except beneath
// visible opaque graphic children, its own face, then the graphic children in creation order) and
// copies it with one BitBlt. Widgets that paint their own window derive from it and draw their
// face in Paint (mark them csOpaque when Paint covers every pixel, so no background is filled).
//
// Lifetime: a control registers with its parent in its constructor and unregisters in its
// destructor. Whoever creates a control keeps it: as a member declared after its parent, or owned
// by the parent through WinControl::Make<T>(args...), which destroys it with the parent.
//
// Loading: a control is created "loading" when its parent is (a form is loading from construction).
// Form::FinishCreate ends it for the whole tree: it clears the flag and calls Loaded() on every
// control, then runs OnCreate. Controls created under a finished parent never load. Widget tests
// build a Form, create the widgets on it and call FinishCreate().
//
// Handlers of controls run on the main thread, from window procedures or the message loop; their
// exceptions reach the default error report (Application::GuardedCall).
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include "framework/app.h"
#include "framework/color.h"
#include "framework/font.h"
#include "framework/gdi.h"
#include "framework/handle.h"
#include "framework/pointer_router.h"

namespace fw {

class WinControl;
class Form;

// Aligned children are laid out by their parent: all alTop in creation order, then alBottom,
// alLeft, alRight, and last alClient, inside the parent's AlignRect. Hidden controls take no space.
enum TAlign : uint8_t { alNone, alTop, alBottom, alLeft, alRight, alClient };

enum TMouseButton : uint8_t { mbLeft, mbRight, mbMiddle };

using TShiftState = uint32_t;
inline constexpr TShiftState ssShift = 1u << 0;
inline constexpr TShiftState ssAlt = 1u << 1;
inline constexpr TShiftState ssCtrl = 1u << 2;
inline constexpr TShiftState ssLeft = 1u << 3;
inline constexpr TShiftState ssRight = 1u << 4;
inline constexpr TShiftState ssMiddle = 1u << 5;
inline constexpr TShiftState ssDouble = 1u << 6;  // the press is the second one of a double click

using TControlStyle = uint32_t;
// The control covers every pixel of its bounds: its parent does not paint beneath it.
inline constexpr TControlStyle csOpaque = 1u << 0;
// The framework fires Click on a left-button release inside the control that got the press.
inline constexpr TControlStyle csClickEvents = 1u << 1;
// A press captures the mouse, so the pressed control also gets the moves and the release.
inline constexpr TControlStyle csCaptureMouse = 1u << 2;

// What a screen reader is told a control is (framework/accessible.h maps it to the platform's
// roles). arNone: not perceived by itself (backdrops, containers; their children are).
enum TAccessibleRole : uint8_t {
  arNone,
  arPushButton,
  arStaticText,
  arLink,
  arProgressBar,
  arGraphic
};

using NotifyEvent = std::function<void(Control& sender)>;
using MouseEvent =
    std::function<void(Control& sender, TMouseButton button, TShiftState shift, int x, int y)>;
using MouseMoveEvent = std::function<void(Control& sender, TShiftState shift, int x, int y)>;

class Control {
 public:
  explicit Control(WinControl* parent);
  virtual ~Control();
  Control(const Control&) = delete;
  Control& operator=(const Control&) = delete;

  WinControl* Parent() const { return parent_; }
  Form* ParentForm() const;  // the top-level form holding this control (itself for a form)
  virtual bool IsWindowed() const { return false; }
  // The form this control is, if it is one.
  virtual Form* AsForm() { return nullptr; }

  bool Loading() const { return loading_; }
  bool Destroying() const { return destroying_; }

  // The DPI of the control's form (96 without one), and a length of the 96-DPI layout in pixels at
  // that DPI: the one way widgets size their pens, insets and blocks. A change of DPI reaches a
  // widget as new bounds, fonts and lengths (Form::OnDpiChange), which rebuild its faces once.
  int Dpi() const;
  int Scaled(int value) const;

  // Bounds in the parent's client coordinates (a form: screen coordinates, outer size).
  int Left() const { return left_; }
  int Top() const { return top_; }
  int Width() const { return width_; }
  int Height() const { return height_; }
  void SetLeft(int left) { SetBounds(left, top_, width_, height_); }
  void SetTop(int top) { SetBounds(left_, top, width_, height_); }
  void SetWidth(int width) { SetBounds(left_, top_, width, height_); }
  void SetHeight(int height) { SetBounds(left_, top_, width_, height); }
  // Stores a change, repaints the old and new area, calls BoundsChanged and lets an aligned
  // control's parent re-apply its alignment (which may override the values).
  virtual void SetBounds(int left, int top, int width, int height);
  RECT BoundsRect() const { return RECT{left_, top_, left_ + width_, top_ + height_}; }
  // {0, 0, Width, Height}; a windowed control's client rectangle.
  virtual RECT ClientRect() const;
  int ClientWidth() const;
  int ClientHeight() const;

  TAlign Align() const { return align_; }
  void SetAlign(TAlign align);

  bool Visible() const { return visible_; }
  void SetVisible(bool visible);
  // Visible here and in every parent, up to a shown form.
  virtual bool Showing() const;
  bool Enabled() const { return enabled_; }
  void SetEnabled(bool enabled);

  // The control's cursor; crDefault lets the parent's cursor (finally the arrow) show.
  TCursor Cursor() const { return cursor_; }
  void SetCursor(TCursor cursor) { cursor_ = cursor; }

  const std::wstring& Caption() const { return caption_; }
  void SetCaption(const std::wstring& caption);

  // Setting a colour or font turns the parent link (ParentColor, ParentFont) off; while a link is
  // on, the control follows its parent's value. Both links are on for a new control.
  TColor Color() const { return color_; }
  void SetColor(TColor color);
  bool ParentColor() const { return parent_color_; }
  void SetParentColor(bool on);
  ::fw::Font& Font() { return font_; }
  const ::fw::Font& Font() const { return font_; }
  bool ParentFont() const { return parent_font_; }
  void SetParentFont(bool on);

  TControlStyle ControlStyle() const { return style_; }
  void SetControlStyle(TControlStyle style) { style_ = style; }
  bool Opaque() const { return (style_ & csOpaque) != 0; }
  void SetOpaque(bool on);

  NotifyEvent OnClick;
  NotifyEvent OnMouseEnter;
  NotifyEvent OnMouseExit;
  MouseEvent OnMouseDown;
  MouseEvent OnMouseUp;
  MouseMoveEvent OnMouseMove;

  // Fires OnClick.
  virtual void Click();
  // Offered an accelerator character; true when the control took it (the search then ends).
  virtual bool DialogChar(wchar_t ch);
  // Whether (x, y), in the control's own coordinates, belongs to the control for mouse routing.
  virtual bool HitTest(int x, int y) const;
  // Enabled and visible, with a parent that exists, is enabled and is showing: the usual
  // condition for taking an accelerator.
  bool CanAcceptAccel() const;
  // The accelerator rule of buttons: when ch is the caption's marked character and the control
  // can take it, clicks and returns true.
  bool ClickOnAccel(wchar_t ch);

  // Children, graphic and windowed, in creation order; a control without a window has none.
  virtual const std::vector<Control*>& Controls() const;
  // Calls f for every control below this one, pre-order, in creation order. Each level is walked
  // on a copy of its list, so f may create or destroy controls.
  template <typename F>
  void ForEachDescendant(F&& f) {
    // One walk for every caller: each lambda costs only the small thunk that reaches it.
    using Visitor = std::remove_reference_t<F>;
    VisitDescendants([](Control& c, void* visitor) { (*static_cast<Visitor*>(visitor))(c); },
                     const_cast<void*>(static_cast<const void*>(&f)));
  }
  // Every control below this one, pre-order in creation order (the order they are painted in).
  std::vector<Control*> Descendants();
  // Lays out the aligned children (see TAlign); nothing for a control without children.
  virtual void Realign() {}
  // Keyboard focus; only windowed controls that are tab stops ever take it.
  virtual bool CanFocus() const { return false; }
  virtual void SetFocus() {}
  // A sibling of toggle group group_index went down: the group's other members raise themselves,
  // every other control ignores it (a hook, since nothing here asks a control what it is).
  virtual void GroupButtonPressed(const Control& pressed, int group_index) {
    (void)pressed;
    (void)group_index;
  }

  // Accessibility and the keyboard (framework/accessible.h, framework/keyboard_focus.h). The name
  // is AccessibleName when set, else the caption without its "&" marks. Push buttons and links
  // have a default action, a click; push buttons take the keyboard focus with Tab.
  virtual TAccessibleRole AccessibleRole() const { return arNone; }
  virtual std::wstring AccessibleName() const;
  void SetAccessibleName(const std::wstring& name);
  virtual std::wstring AccessibleValue() const { return {}; }
  virtual std::wstring AccessibleDefaultAction() const;
  virtual bool Focusable() const { return AccessibleRole() == arPushButton; }
  // Where the keyboard focus cue is drawn, in the control's own coordinates.
  virtual RECT FocusCueRect() const;
  // This windowless control has the keyboard focus of its active form.
  bool HasKeyboardFocus() const;

  // Requests a repaint of the whole control (served by the next WM_PAINT); the request reaches the
  // window system when the application next pumps (Application::InvalidateLater).
  virtual void Invalidate() = 0;
  // Repaints at once.
  virtual void Repaint() = 0;
  // Draws the control: a graphic control on its parent's surface (origin at its top-left, clipped
  // to its bounds); a windowed control its own face in its off-screen bitmap.
  virtual void Paint(HDC dc);
  // Paint, then the focus cue when this control has the focus and the form shows cues: what the
  // parent's composition and an immediate repaint call.
  void PaintWithFocusCue(HDC dc);

  // Mouse input, coordinates in the control's own space; the defaults fire the matching events.
  virtual void MouseDown(TMouseButton button, TShiftState shift, int x, int y);
  virtual void MouseUp(TMouseButton button, TShiftState shift, int x, int y);
  virtual void MouseMove(TShiftState shift, int x, int y);
  // The pointer entered / left the control; the defaults fire OnMouseEnter / OnMouseExit.
  virtual void MouseEnter();
  virtual void MouseLeave();

 protected:
  // Once, after the form's controls have all been created (the flag is already cleared).
  virtual void Loaded() {}
  // Notifications, called after the framework has applied the change (and invalidated).
  virtual void TextChanged() {}
  virtual void ColorChanged() {}
  virtual void FontChanged() {}
  virtual void EnabledChanged() {}
  virtual void VisibleChanged() {}
  virtual void BoundsChanged(bool resized) { (void)resized; }
  // Whether an "&" in the caption marks an accelerator (and is left out of the accessible name).
  virtual bool CaptionMarksAccel() const { return true; }

  // Tells listening screen readers that AccessibleValue changed (at most a few times a second).
  void AccessibleValueChanged();

  // What a windowed control does to its window when the property changes; a control without a
  // window asks its parent to repaint its area when its visibility changes.
  virtual void SyncVisible();
  virtual void SyncEnabled() {}
  virtual void SyncCaption() {}

  // Stores bounds without side effects (layout and the windowed implementation use it).
  void StoreBounds(int left, int top, int width, int height);
  // A top-level control's own start: hidden, its own colour and font (no parent to follow).
  void InitTopLevel(TColor color);
  // Ends loading of one control (the form does it for its whole tree).
  static void EndLoading(Control& control);
  // The parent is going away first: flags the control and cuts its link.
  static void MarkDestroying(Control& control) { control.destroying_ = true; }
  static void Orphan(Control& control) { control.parent_ = nullptr; }

 private:
  void VisitDescendants(void (*visit)(Control&, void*), void* visitor);
  void FontOwnChanged();
  void NotifyAccessible(DWORD event);
  void ApplyParentColor(TColor color);
  void ApplyParentFont(const ::fw::Font& font);

  WinControl* parent_;
  int left_ = 0;
  int top_ = 0;
  int width_ = 0;
  int height_ = 0;
  TAlign align_ = alNone;
  bool visible_ = true;
  bool enabled_ = true;
  bool loading_ = true;
  bool destroying_ = false;
  TCursor cursor_ = crDefault;
  std::wstring caption_;
  std::wstring accessible_name_;
  TColor color_ = clBtnFace;
  bool parent_color_ = true;
  ::fw::Font font_;
  ChangeSignal<::fw::Font>::Subscription font_watched_;
  bool parent_font_ = true;
  bool applying_parent_font_ = false;
  TControlStyle style_ = csClickEvents | csCaptureMouse;
};

// A control without a window, painted by its parent.
class GraphicControl : public Control {
 public:
  explicit GraphicControl(WinControl* parent);  // parent must not be null
  ~GraphicControl() override;

  // Requests a repaint of the bounds on the parent's window.
  void Invalidate() override;
  // Opaque: PaintNow; otherwise Invalidate and let the parent repaint the area at once.
  void Repaint() override;
  // Paints the control straight onto its parent's window (no background beneath), clipped to
  // its bounds; nothing while it is not showing.
  void PaintNow();
};

// Creation parameters of a control's window (style bits, and the class for system controls).
struct CreateParams {
  const wchar_t* class_name = nullptr;  // null: the framework's own class
  DWORD style = WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN | WS_CLIPSIBLINGS;
  DWORD ex_style = 0;
  bool form = false;  // the framework's top-level form class (class_name is then ignored)
};

class WinControl : public Control {
 public:
  // A plain child window of the framework's class.
  explicit WinControl(WinControl* parent);
  ~WinControl() override;

  bool IsWindowed() const override { return true; }
  HWND Handle() const { return hwnd_.get(); }
  // The control of one of the framework's windows (own class or subclassed), else null.
  static WinControl* FromHandle(HWND hwnd);

  const std::vector<Control*>& Controls() const override { return children_; }
  // Creates a child owned by this control: new T(this, args...), destroyed with the parent.
  template <typename T, typename... Args>
  T& Make(Args&&... args) {
    auto child = std::make_unique<T>(this, std::forward<Args>(args)...);
    T& ref = *child;
    owned_.push_back(std::move(child));
    return ref;
  }

  // The area aligned children share: the client rectangle inset by BorderWidth (and, in a panel,
  // by its bevel).
  virtual RECT AlignRect() const;
  int BorderWidth() const { return border_width_; }
  void SetBorderWidth(int width);
  void Realign() override;

  // Topmost visible graphic child whose HitTest accepts (x, y) in client coordinates, searched in
  // reverse creation order; disabled children only with allow_disabled.
  Control* ControlAt(int x, int y, bool allow_disabled) const;
  Control* HoverControl() const { return pointer_.Hover(); }
  Control* CaptureControl() const { return pointer_.Capture(); }

  // Offers ch to the graphic children, then to the windowed ones (each group in creation order,
  // depth first); true as soon as one accepts.
  bool DialogChar(wchar_t ch) override;

  bool TabStop() const { return tab_stop_; }
  void SetTabStop(bool on) { tab_stop_ = on; }
  bool CanFocus() const override;
  void SetFocus() override;

  void SetBounds(int left, int top, int width, int height) override;
  RECT ClientRect() const override;
  bool Showing() const override;
  void Invalidate() override;
  void Repaint() override;  // invalidate and update at once

  // Only a subclassed system control erases: the framework's own windows paint every pixel in
  // WM_PAINT, so an erase request would only add a WM_ERASEBKGND to each paint.
  bool ErasesBackground() const { return subclassed_proc_ != nullptr; }

  // Sends the message to this control's window procedure (tests, and widgets talking to
  // themselves).
  LRESULT Perform(UINT msg, WPARAM wp, LPARAM lp);

 protected:
  WinControl(WinControl* parent, const CreateParams& params);

  // The window procedure of this control; overrides handle their own messages and pass the rest
  // to the base. Runs guarded: exceptions reach the default error report.
  virtual LRESULT WndProc(UINT msg, WPARAM wp, LPARAM lp);
  // What the window's class does with a message: the framework's own class paints and routes the
  // pointer to the graphic children (then DefWindowProcW); a subclassed system control gets its
  // original procedure.
  LRESULT DefaultWndProc(UINT msg, WPARAM wp, LPARAM lp);
  // WM_COMMAND notification addressed to this control's window (sent to its parent).
  virtual void Command(WORD notify_code) { (void)notify_code; }
  // The off-screen composition of a WM_PAINT, exposed so widgets and tests can render into any DC
  // (whose origin is the client's top-left): background, Paint(dc), graphic children.
  void PaintTo(HDC dc, const RECT& dirty);

  void SyncVisible() override;
  void SyncEnabled() override;
  void SyncCaption() override;

 private:
  friend class Control;

  static LRESULT CALLBACK StaticWndProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
  static LRESULT CALLBACK SubclassWndProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
  LRESULT HandleMessage(UINT msg, WPARAM wp, LPARAM lp);
  LRESULT OwnClassWndProc(UINT msg, WPARAM wp, LPARAM lp);
  void Create(const CreateParams& params);
  void OnPaint();
  void AddChild(Control* child);
  void RemoveChild(Control* child);
  void ChildGone(Control* child);  // hidden or destroyed: drop hover and capture
  void WindowPosChanged();

  // Owned until the system destroys the window (with its parent, say): WM_NCDESTROY lets go.
  WindowHandle hwnd_;
  WNDPROC subclassed_proc_ = nullptr;
  std::vector<Control*> children_;
  std::vector<std::unique_ptr<Control>> owned_;
  PointerRouter pointer_;
  bool aligning_ = false;
  bool tab_stop_ = false;
  int border_width_ = 0;
  OffscreenBitmap buffer_;
};

}  // namespace fw
