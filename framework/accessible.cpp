#include "framework/accessible.h"

#include <ole2.h>
#include <oleacc.h>

#include <algorithm>
#include <memory>
#include <string>

#include "framework/form.h"
#include "framework/gdi.h"
#include "framework/handle.h"
#include "framework/ole_library.h"
#include "framework/reading_order.h"
#include "framework/system_library.h"

namespace fw {

// The accessibility functions the form needs, from the system directory only. Without them or
// COM's (a null table) the window simply has no accessible object of its own.
struct Oleacc : fw::FunctionTable {
  static constexpr wchar_t kLibrary[] = L"oleacc.dll";
  FW_SYSTEM_FUNCTION(LresultFromObject);
  FW_SYSTEM_FUNCTION(AccessibleObjectFromWindow);
};

// ---------------------------------------------------------------------------------------------
// The tree

namespace {

RECT ScreenClientArea(const WinControl& window) {
  POINT origin{0, 0};
  ::ClientToScreen(window.Handle(), &origin);
  return RECT{origin.x, origin.y, origin.x + window.ClientWidth(),
              origin.y + window.ClientHeight()};
}

// Bounds are kept in the parent's client coordinates (child windows here have no borders).
RECT ScreenBounds(const Control& control) {
  const RECT parent = ScreenClientArea(*control.Parent());
  const LONG left = parent.left + control.Left();
  const LONG top = parent.top + control.Top();
  return RECT{left, top, left + control.Width(), top + control.Height()};
}

// Whether any of the control lies inside the client area of every parent.
bool InView(const Control& control) {
  RECT visible = ScreenBounds(control);
  for (const WinControl* p = control.Parent(); p != nullptr; p = p->Parent()) {
    const RECT area = ScreenClientArea(*p);
    if (!::IntersectRect(&visible, &visible, &area)) {
      return false;
    }
  }
  return true;
}

// Whether a person could use the control now: shown, enabled, and in a window that takes input (a
// modal dialog of ours, a message box or the error report, disables the form while it is up).
bool Usable(const Control& c, const Form& form) {
  return c.Showing() && c.Enabled() && ::IsWindowEnabled(form.Handle()) != FALSE;
}

}  // namespace

std::vector<Control*> PerceivedControls(Form& form) {
  const std::vector<Control*> all = form.Descendants();
  std::vector<Control*> perceived;
  std::vector<PixelRect> boxes;
  for (Control* c : all) {
    if (c->AccessibleRole() == arNone || c->Parent() == nullptr || !InView(*c)) {
      continue;
    }
    perceived.push_back(c);
    boxes.push_back(ToPixelRect(ScreenBounds(*c)));
  }
  std::vector<Control*> ordered;
  ordered.reserve(perceived.size());
  for (const std::size_t i : ReadingOrder(boxes)) {
    ordered.push_back(perceived[i]);
  }
  return ordered;
}

LONG AccessibleChildId(Form& form, const Control& control) {
  const std::vector<Control*> children = PerceivedControls(form);
  const auto it = std::find(children.begin(), children.end(), &control);
  return it == children.end() ? 0 : static_cast<LONG>(it - children.begin()) + 1;
}

LONG PlatformRole(const Control& control) {
  switch (control.AccessibleRole()) {
    case arPushButton:
      return ROLE_SYSTEM_PUSHBUTTON;
    case arStaticText:
      return ROLE_SYSTEM_STATICTEXT;
    case arLink:
      return ROLE_SYSTEM_LINK;
    case arProgressBar:
      return ROLE_SYSTEM_PROGRESSBAR;
    case arGraphic:
      return ROLE_SYSTEM_GRAPHIC;
    case arNone:
      break;
  }
  return ROLE_SYSTEM_CLIENT;
}

// ---------------------------------------------------------------------------------------------
// The object

class AccessibleObject final : public IAccessible {
 public:
  AccessibleObject(Form& form, const OleaccLibrary& ole) : form_(&form), ole_(ole) {}

  // The form is going away: from now on every call fails.
  void Disconnect() { form_ = nullptr; }

  // IUnknown
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
    if (out == nullptr) {
      return E_POINTER;
    }
    if (riid == __uuidof(IUnknown) || riid == __uuidof(IDispatch) ||
        riid == __uuidof(IAccessible)) {
      *out = static_cast<IAccessible*>(this);
      AddRef();
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override {
    return static_cast<ULONG>(::InterlockedIncrement(&refs_));
  }
  ULONG STDMETHODCALLTYPE Release() override {
    const LONG left = ::InterlockedDecrement(&refs_);
    if (left == 0) {
      delete this;
    }
    return static_cast<ULONG>(left);
  }

  // IDispatch: clients of this object use the IAccessible methods directly.
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
    if (count == nullptr) {
      return E_POINTER;
    }
    *count = 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo** info) override {
    if (info != nullptr) {
      *info = nullptr;
    }
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*,
                                   UINT*) override {
    return E_NOTIMPL;
  }

  // IAccessible
  HRESULT STDMETHODCALLTYPE get_accParent(IDispatch** parent) override {
    if (parent == nullptr) {
      return E_POINTER;
    }
    *parent = nullptr;
    if (form_ == nullptr) {
      return CO_E_OBJNOTCONNECTED;
    }
    return ole_.AccessibleObjectFromWindow(form_->Handle(), static_cast<DWORD>(OBJID_WINDOW),
                                           __uuidof(IDispatch), reinterpret_cast<void**>(parent));
  }

  HRESULT STDMETHODCALLTYPE get_accChildCount(LONG* count) override {
    if (count == nullptr) {
      return E_POINTER;
    }
    *count = 0;
    if (form_ == nullptr) {
      return CO_E_OBJNOTCONNECTED;
    }
    *count = static_cast<LONG>(PerceivedControls(*form_).size());
    return S_OK;
  }

  HRESULT STDMETHODCALLTYPE get_accChild(VARIANT id, IDispatch** child) override {
    if (child == nullptr) {
      return E_POINTER;
    }
    *child = nullptr;
    Target target;
    if (const HRESULT hr = Resolve(id, target); FAILED(hr)) {
      return hr;
    }
    // Simple children: the client asks this object about them by id.
    return target.control != nullptr ? S_FALSE : E_INVALIDARG;
  }

  HRESULT STDMETHODCALLTYPE get_accName(VARIANT id, BSTR* name) override {
    return Text(id, name, kName);
  }

  HRESULT STDMETHODCALLTYPE get_accValue(VARIANT id, BSTR* value) override {
    return Text(id, value, kValue);
  }

  HRESULT STDMETHODCALLTYPE get_accDescription(VARIANT id, BSTR* text) override {
    return Text(id, text, kNone);
  }

  HRESULT STDMETHODCALLTYPE get_accRole(VARIANT id, VARIANT* role) override {
    if (role == nullptr) {
      return E_POINTER;
    }
    role->vt = VT_EMPTY;
    Target target;
    if (const HRESULT hr = Resolve(id, target); FAILED(hr)) {
      return hr;
    }
    role->vt = VT_I4;
    role->lVal = target.control != nullptr ? PlatformRole(*target.control) : ROLE_SYSTEM_CLIENT;
    return S_OK;
  }

  HRESULT STDMETHODCALLTYPE get_accState(VARIANT id, VARIANT* state) override {
    if (state == nullptr) {
      return E_POINTER;
    }
    state->vt = VT_EMPTY;
    Target target;
    if (const HRESULT hr = Resolve(id, target); FAILED(hr)) {
      return hr;
    }
    state->vt = VT_I4;
    state->lVal = target.control != nullptr ? ControlState(*target.control) : FormState();
    // A disabled window (a modal dialog of ours is up) takes no input, so nothing in it is usable.
    if (!::IsWindowEnabled(form_->Handle())) {
      state->lVal |= STATE_SYSTEM_UNAVAILABLE;
    }
    return S_OK;
  }

  HRESULT STDMETHODCALLTYPE get_accHelp(VARIANT id, BSTR* help) override {
    return Text(id, help, kNone);
  }

  HRESULT STDMETHODCALLTYPE get_accHelpTopic(BSTR* file, VARIANT, LONG* topic) override {
    if (file != nullptr) {
      *file = nullptr;
    }
    if (topic != nullptr) {
      *topic = 0;
    }
    return form_ == nullptr ? CO_E_OBJNOTCONNECTED : S_FALSE;
  }

  HRESULT STDMETHODCALLTYPE get_accKeyboardShortcut(VARIANT id, BSTR* shortcut) override {
    return Text(id, shortcut, kNone);
  }

  HRESULT STDMETHODCALLTYPE get_accFocus(VARIANT* focus) override {
    if (focus == nullptr) {
      return E_POINTER;
    }
    focus->vt = VT_EMPTY;
    if (form_ == nullptr) {
      return CO_E_OBJNOTCONNECTED;
    }
    if (::GetFocus() != form_->Handle()) {
      return S_FALSE;  // a window of its own has it, or another program
    }
    focus->vt = VT_I4;
    focus->lVal = CHILDID_SELF;
    if (const Control* c = form_->KeyboardControl()) {
      focus->lVal = AccessibleChildId(*form_, *c);
    }
    return S_OK;
  }

  HRESULT STDMETHODCALLTYPE get_accSelection(VARIANT* selection) override {
    if (selection == nullptr) {
      return E_POINTER;
    }
    selection->vt = VT_EMPTY;
    return form_ == nullptr ? CO_E_OBJNOTCONNECTED : S_FALSE;
  }

  HRESULT STDMETHODCALLTYPE get_accDefaultAction(VARIANT id, BSTR* action) override {
    return Text(id, action, kDefaultAction);
  }

  HRESULT STDMETHODCALLTYPE accSelect(LONG flags, VARIANT id) override {
    Target target;
    if (const HRESULT hr = Resolve(id, target); FAILED(hr)) {
      return hr;
    }
    if (flags != SELFLAG_TAKEFOCUS || target.control == nullptr) {
      return DISP_E_MEMBERNOTFOUND;
    }
    Control* c = target.control;
    if (!c->Focusable() || !Usable(*c, *form_)) {
      return E_FAIL;
    }
    try {
      form_->FocusControl(c);
    } catch (...) {
      return E_FAIL;
    }
    return S_OK;
  }

  HRESULT STDMETHODCALLTYPE accLocation(LONG* left, LONG* top, LONG* width, LONG* height,
                                        VARIANT id) override {
    if (left == nullptr || top == nullptr || width == nullptr || height == nullptr) {
      return E_POINTER;
    }
    *left = *top = *width = *height = 0;
    Target target;
    if (const HRESULT hr = Resolve(id, target); FAILED(hr)) {
      return hr;
    }
    const RECT r =
        target.control != nullptr ? ScreenBounds(*target.control) : ScreenClientArea(*form_);
    *left = r.left;
    *top = r.top;
    *width = r.right - r.left;
    *height = r.bottom - r.top;
    return S_OK;
  }

  HRESULT STDMETHODCALLTYPE accNavigate(LONG direction, VARIANT start, VARIANT* end) override {
    if (end == nullptr) {
      return E_POINTER;
    }
    end->vt = VT_EMPTY;
    Target target;
    if (const HRESULT hr = Resolve(start, target); FAILED(hr)) {
      return hr;
    }
    const LONG count = static_cast<LONG>(target.children.size());
    LONG to = 0;
    if (target.control == nullptr) {
      if (direction == NAVDIR_FIRSTCHILD) {
        to = 1;
      } else if (direction == NAVDIR_LASTCHILD) {
        to = count;
      }
    } else if (direction == NAVDIR_NEXT) {
      to = target.id + 1;
    } else if (direction == NAVDIR_PREVIOUS) {
      to = target.id - 1;
    }
    if (to < 1 || to > count) {
      return S_FALSE;
    }
    end->vt = VT_I4;
    end->lVal = to;
    return S_OK;
  }

  HRESULT STDMETHODCALLTYPE accHitTest(LONG x, LONG y, VARIANT* hit) override {
    if (hit == nullptr) {
      return E_POINTER;
    }
    hit->vt = VT_EMPTY;
    if (form_ == nullptr) {
      return CO_E_OBJNOTCONNECTED;
    }
    try {
      return HitTest(x, y, *hit);
    } catch (...) {
      return E_OUTOFMEMORY;
    }
  }

  HRESULT HitTest(LONG x, LONG y, VARIANT& hit) const {
    const POINT p{x, y};
    const RECT client = ScreenClientArea(*form_);
    if (!::PtInRect(&client, p)) {
      return S_FALSE;
    }

    // The topmost control under the point: windows lie above what their parents paint, and a
    // later painted control over an earlier one.
    const std::vector<Control*> painted = form_->Descendants();
    const std::vector<Control*> children = PerceivedControls(*form_);
    LONG found = CHILDID_SELF;
    int found_rank = -1;
    for (std::size_t i = 0; i < painted.size(); ++i) {
      Control* c = painted[i];
      const auto it = std::find(children.begin(), children.end(), c);
      if (it == children.end() || !c->Showing()) {
        continue;
      }
      const RECT r = ScreenBounds(*c);
      if (!::PtInRect(&r, p) || !c->HitTest(x - r.left, y - r.top)) {
        continue;
      }
      const int rank =
          static_cast<int>(i) + (c->IsWindowed() ? static_cast<int>(painted.size()) : 0);
      if (rank > found_rank) {
        found_rank = rank;
        found = static_cast<LONG>(it - children.begin()) + 1;
      }
    }
    hit.vt = VT_I4;
    hit.lVal = found;
    return S_OK;
  }

  HRESULT STDMETHODCALLTYPE accDoDefaultAction(VARIANT id) override {
    Target target;
    if (const HRESULT hr = Resolve(id, target); FAILED(hr)) {
      return hr;
    }
    Control* c = target.control;
    if (c == nullptr || (c->AccessibleRole() != arPushButton && c->AccessibleRole() != arLink)) {
      return DISP_E_MEMBERNOTFOUND;
    }
    if (!Usable(*c, *form_)) {
      return E_FAIL;
    }
    // The click may close the window or pump messages: it runs after this call has returned.
    if (!::PostMessageW(form_->Handle(), FormAccessibility::WM_ACCESSIBLE_ACTION,
                        reinterpret_cast<WPARAM>(c), 0)) {
      return E_FAIL;
    }
    return S_OK;
  }

  HRESULT STDMETHODCALLTYPE put_accName(VARIANT, BSTR) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE put_accValue(VARIANT, BSTR) override { return E_NOTIMPL; }

 private:
  struct Target {
    std::vector<Control*> children;
    Control* control = nullptr;  // null: the form's client area itself
    LONG id = CHILDID_SELF;
  };

  ~AccessibleObject() = default;

  enum TextKind { kName, kValue, kDefaultAction, kNone };

  // No exception may leave a call that came through COM: the only one possible here is running
  // out of memory, in the few places that copy lists and texts.
  HRESULT Resolve(const VARIANT& id, Target& target) const noexcept {
    if (form_ == nullptr) {
      return CO_E_OBJNOTCONNECTED;
    }
    if (id.vt != VT_I4) {
      return E_INVALIDARG;
    }
    try {
      target.children = PerceivedControls(*form_);
    } catch (...) {
      return E_OUTOFMEMORY;
    }
    target.id = id.lVal;
    if (id.lVal == CHILDID_SELF) {
      return S_OK;
    }
    if (id.lVal < 1 || id.lVal > static_cast<LONG>(target.children.size())) {
      return E_INVALIDARG;
    }
    target.control = target.children[static_cast<std::size_t>(id.lVal - 1)];
    return S_OK;
  }

  HRESULT Text(const VARIANT& id, BSTR* out, TextKind kind) const noexcept {
    if (out == nullptr) {
      return E_POINTER;
    }
    *out = nullptr;
    Target target;
    if (const HRESULT hr = Resolve(id, target); FAILED(hr)) {
      return hr;
    }
    const Control* c = target.control;
    try {
      std::wstring text;
      if (kind == kName) {
        text = c != nullptr ? c->AccessibleName() : form_->Caption();
      } else if (kind == kValue && c != nullptr) {
        text = c->AccessibleValue();
      } else if (kind == kDefaultAction && c != nullptr) {
        text = c->AccessibleDefaultAction();
      }
      if (text.empty()) {
        return S_FALSE;
      }
      *out = ole_.SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
    } catch (...) {
      return E_OUTOFMEMORY;
    }
    return *out != nullptr ? S_OK : E_OUTOFMEMORY;
  }

  static LONG ControlState(const Control& c) {
    LONG state = 0;
    if (!c.Showing()) {
      state |= STATE_SYSTEM_INVISIBLE;
    }
    if (!c.Enabled()) {
      state |= STATE_SYSTEM_UNAVAILABLE;
    }
    if (c.Focusable()) {
      state |= STATE_SYSTEM_FOCUSABLE;
    }
    if (c.HasKeyboardFocus()) {
      state |= STATE_SYSTEM_FOCUSED;
    }
    if (!c.IsWindowed() && c.Parent() != nullptr && c.Parent()->HoverControl() == &c) {
      state |= STATE_SYSTEM_HOTTRACKED;
    }
    if (c.AccessibleRole() == arStaticText || c.AccessibleRole() == arProgressBar) {
      state |= STATE_SYSTEM_READONLY;
    }
    if (c.AccessibleRole() == arLink) {
      state |= STATE_SYSTEM_LINKED;
    }
    return state;
  }

  LONG FormState() const {
    LONG state = STATE_SYSTEM_FOCUSABLE;
    if (!form_->Showing()) {
      state |= STATE_SYSTEM_INVISIBLE;
    }
    if (::GetFocus() == form_->Handle() && form_->KeyboardControl() == nullptr) {
      state |= STATE_SYSTEM_FOCUSED;
    }
    return state;
  }

  LONG refs_ = 1;
  Form* form_;
  const OleaccLibrary& ole_;
};

// ---------------------------------------------------------------------------------------------
// FormAccessibility

FormAccessibility::FormAccessibility(Form& form) : form_(form) {
  timer_.SetEnabled(false);
  timer_.SetInterval(static_cast<UINT>(kChangeIntervalMs));
  timer_.OnTimer = [this](Timer&) { RaiseHeld(); };
}

FormAccessibility::~FormAccessibility() {
  if (object_) {
    object_.get()->Disconnect();
    // COM's stubs keep references after the clients let go; this releases them.
    ole_->CoDisconnectObject(object_.get(), 0);
    object_.reset();
  }
}

LRESULT FormAccessibility::AnswerGetObject(WPARAM wp) {
  if (!object_) {
    ole_ = OleaccLibrary::Get();
    if (ole_ == nullptr) {
      return 0;
    }
    if (!com_) {
      // A thread that runs in another apartment model still marshals the object, so carry on
      // whatever COM said.
      com_ = std::make_unique<ComApartment>(*ole_);
    }
    object_.reset(new AccessibleObject(form_, *ole_));
  }
  const LRESULT result = ole_->LresultFromObject(__uuidof(IAccessible), wp, object_.get());
  return result > 0 ? result : 0;
}

void FormAccessibility::Notify(const Control& control, DWORD event) {
  if (form_.Handle() == nullptr || !form_.Created() || !::IsWinEventHookInstalled(event)) {
    return;
  }
  if (event != EVENT_OBJECT_NAMECHANGE && event != EVENT_OBJECT_VALUECHANGE) {
    Raise(control, event);
    return;
  }
  const std::uint64_t now = ::GetTickCount64();
  auto it = std::find_if(changes_.begin(), changes_.end(), [&](const HeldChange& c) {
    return c.control == &control && c.event == event;
  });
  if (it == changes_.end()) {
    changes_.push_back(HeldChange{&control, event, 0, false});
    it = changes_.end() - 1;
  }
  if (it->last_raised == 0 || now - it->last_raised >= kChangeIntervalMs) {
    it->last_raised = now;
    it->held = false;
    Raise(control, event);
    return;
  }
  it->held = true;
  timer_.SetEnabled(true);
}

void FormAccessibility::RaiseHeld() {
  const std::uint64_t now = ::GetTickCount64();
  bool still_held = false;
  // Raise may reach clients in this process, which could change controls: work on a copy.
  std::vector<HeldChange> due;
  for (HeldChange& change : changes_) {
    if (!change.held) {
      continue;
    }
    if (now - change.last_raised >= kChangeIntervalMs) {
      change.held = false;
      change.last_raised = now;
      due.push_back(change);
    } else {
      still_held = true;
    }
  }
  timer_.SetEnabled(still_held);
  for (const HeldChange& change : due) {
    if (std::any_of(changes_.begin(), changes_.end(),
                    [&](const HeldChange& c) { return c.control == change.control; })) {
      Raise(*change.control, change.event);
    }
  }
}

void FormAccessibility::Forget(const Control& control) {
  std::erase_if(changes_, [&](const HeldChange& c) { return c.control == &control; });
}

void FormAccessibility::Raise(const Control& control, DWORD event) {
  const LONG id = AccessibleChildId(form_, control);
  if (id != 0) {
    ::NotifyWinEvent(event, form_.Handle(), OBJID_CLIENT, id);
  }
}

void FormAccessibility::RunDefaultAction(WPARAM control) {
  // Only a control that is still there: the pointer is compared, never followed, until found.
  const std::vector<Control*> children = PerceivedControls(form_);
  const auto it = std::find(children.begin(), children.end(), reinterpret_cast<Control*>(control));
  if (it == children.end()) {
    return;
  }
  Control& c = **it;
  // Dropped, not kept for later, when a dialog has disabled the window since it was asked for.
  if (!Usable(c, form_) || c.AccessibleDefaultAction().empty()) {
    return;
  }
  Raise(c, EVENT_OBJECT_INVOKED);
  c.Click();
}

}  // namespace fw
