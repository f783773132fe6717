// One ownership pattern for every Win32 resource: a movable, non-copyable owner parameterised by a
// close policy. Closing keeps GetLastError() intact, because error messages are often built after
// the cleanup that an early return triggers.
#pragma once

#include <windows.h>

#include <utility>

namespace fw {

template <typename T, typename Traits>
class UniqueHandle {
 public:
  UniqueHandle() noexcept = default;
  explicit UniqueHandle(T value) noexcept : value_(value) {}
  UniqueHandle(const UniqueHandle&) = delete;
  UniqueHandle& operator=(const UniqueHandle&) = delete;
  UniqueHandle(UniqueHandle&& other) noexcept : value_(other.release()) {}
  UniqueHandle& operator=(UniqueHandle&& other) noexcept {
    if (this != &other) {
      reset(other.release());
    }
    return *this;
  }
  ~UniqueHandle() { reset(); }

  T get() const noexcept { return value_; }
  explicit operator bool() const noexcept { return Traits::IsValid(value_); }

  T release() noexcept { return std::exchange(value_, Traits::Invalid()); }

  void reset(T value = Traits::Invalid()) noexcept {
    T old = std::exchange(value_, value);
    if (Traits::IsValid(old)) {
      const DWORD saved = ::GetLastError();
      Traits::Close(old);
      ::SetLastError(saved);
    }
  }

 private:
  T value_ = Traits::Invalid();
};

// Traits for handles whose invalid value is null.
template <typename T, auto CloseFn>
struct NullHandleTraits {
  static constexpr T Invalid() noexcept { return nullptr; }
  static bool IsValid(T h) noexcept { return h != nullptr; }
  static void Close(T h) noexcept { CloseFn(h); }
};

// Traits for kernel handles whose failure value is INVALID_HANDLE_VALUE (CreateFileW,
// FindFirstFileW); null is never a valid one either.
template <auto CloseFn>
struct InvalidHandleTraits {
  static HANDLE Invalid() noexcept { return INVALID_HANDLE_VALUE; }
  static bool IsValid(HANDLE h) noexcept { return h != INVALID_HANDLE_VALUE && h != nullptr; }
  static void Close(HANDLE h) noexcept { CloseFn(h); }
};

inline void CloseKernel(HANDLE h) noexcept {
  ::CloseHandle(h);
}
inline void CloseFind(HANDLE h) noexcept {
  ::FindClose(h);
}
inline void DeleteGdiObject(HGDIOBJ h) noexcept {
  ::DeleteObject(h);
}
inline void DeleteMemoryDc(HDC h) noexcept {
  ::DeleteDC(h);
}
inline void DestroyWindowHandle(HWND h) noexcept {
  ::DestroyWindow(h);
}
inline void FreeLibraryModule(HMODULE h) noexcept {
  ::FreeLibrary(h);
}
inline void FreeGlobal(HGLOBAL h) noexcept {
  ::GlobalFree(h);
}
inline void DestroyIconHandle(HICON h) noexcept {
  ::DestroyIcon(h);
}

using FileHandle = UniqueHandle<HANDLE, InvalidHandleTraits<CloseKernel>>;  // CreateFileW
using FindHandle = UniqueHandle<HANDLE, InvalidHandleTraits<CloseFind>>;    // FindFirstFileW
using KernelHandle =
    UniqueHandle<HANDLE, NullHandleTraits<HANDLE, CloseKernel>>;            // threads, events
using MemoryDc = UniqueHandle<HDC, NullHandleTraits<HDC, DeleteMemoryDc>>;  // CreateCompatibleDC
using WindowHandle = UniqueHandle<HWND, NullHandleTraits<HWND, DestroyWindowHandle>>;
using ModuleHandle = UniqueHandle<HMODULE, NullHandleTraits<HMODULE, FreeLibraryModule>>;
using GlobalMemory = UniqueHandle<HGLOBAL, NullHandleTraits<HGLOBAL, FreeGlobal>>;   // GlobalAlloc
using IconHandle = UniqueHandle<HICON, NullHandleTraits<HICON, DestroyIconHandle>>;  // LoadImageW

// GDI objects keep their concrete handle type so that selecting them needs no casts.
template <typename T>
using GdiObject = UniqueHandle<T, NullHandleTraits<T, DeleteGdiObject>>;
using BitmapHandle = GdiObject<HBITMAP>;
using BrushHandle = GdiObject<HBRUSH>;
using PenHandle = GdiObject<HPEN>;
using FontHandle = GdiObject<HFONT>;
using RegionHandle = GdiObject<HRGN>;

// A DC from GetDC, released to the window it came from.
class ClientDc {
 public:
  explicit ClientDc(HWND hwnd) noexcept : hwnd_(hwnd), dc_(::GetDC(hwnd)) {}
  ClientDc(const ClientDc&) = delete;
  ClientDc& operator=(const ClientDc&) = delete;
  ~ClientDc() {
    if (dc_ != nullptr) {
      ::ReleaseDC(hwnd_, dc_);
    }
  }
  HDC get() const noexcept { return dc_; }

 private:
  HWND hwnd_;
  HDC dc_;
};

// BeginPaint/EndPaint as one scope.
class PaintDc {
 public:
  explicit PaintDc(HWND hwnd) noexcept : hwnd_(hwnd) { dc_ = ::BeginPaint(hwnd, &ps_); }
  PaintDc(const PaintDc&) = delete;
  PaintDc& operator=(const PaintDc&) = delete;
  ~PaintDc() { ::EndPaint(hwnd_, &ps_); }
  HDC get() const noexcept { return dc_; }
  const RECT& dirty() const noexcept { return ps_.rcPaint; }

 private:
  HWND hwnd_;
  PAINTSTRUCT ps_{};
  HDC dc_;
};

// Selects an object into a DC and puts the previous one back when it goes (or on Restore), so a
// bitmap is never deleted while it is still selected. Movable, so an owner of a memory DC can keep
// the selection as a member instead of an "old object" field.
class SelectGuard {
 public:
  SelectGuard() noexcept = default;
  SelectGuard(HDC dc, HGDIOBJ obj) noexcept : dc_(dc), old_(::SelectObject(dc, obj)) {
    if (old_ == HGDI_ERROR) {
      old_ = nullptr;
    }
  }
  SelectGuard(SelectGuard&& other) noexcept
      : dc_(other.dc_), old_(std::exchange(other.old_, nullptr)) {}
  SelectGuard& operator=(SelectGuard&& other) noexcept {
    if (this != &other) {
      Restore();
      dc_ = other.dc_;
      old_ = std::exchange(other.old_, nullptr);
    }
    return *this;
  }
  SelectGuard(const SelectGuard&) = delete;
  SelectGuard& operator=(const SelectGuard&) = delete;
  ~SelectGuard() { Restore(); }

  // Puts the previous object back now (once).
  void Restore() noexcept {
    if (old_ != nullptr) {
      ::SelectObject(dc_, std::exchange(old_, nullptr));
    }
  }

 private:
  HDC dc_ = nullptr;
  HGDIOBJ old_ = nullptr;
};

// SaveDC/RestoreDC for changes that have no single object to restore (clip, origin, text colour
// and background mode, brush origin).
class SavedDcState {
 public:
  explicit SavedDcState(HDC dc) noexcept : dc_(dc), id_(::SaveDC(dc)) {}
  SavedDcState(const SavedDcState&) = delete;
  SavedDcState& operator=(const SavedDcState&) = delete;
  ~SavedDcState() {
    if (id_ != 0) {
      ::RestoreDC(dc_, id_);
    }
  }

 private:
  HDC dc_;
  int id_;
};

// A DC's background and text colours for a block, put back at its end: what the mono-to-colour
// raster operations read. Cheaper than SavedDcState, whose SaveDC and RestoreDC copy the whole DC
// state (under Wine about 15 us each, on every paint of a transparent button).
class DcColors {
 public:
  DcColors(HDC dc, COLORREF background, COLORREF text) noexcept
      : dc_(dc), background_(::SetBkColor(dc, background)), text_(::SetTextColor(dc, text)) {}
  DcColors(const DcColors&) = delete;
  DcColors& operator=(const DcColors&) = delete;
  ~DcColors() {
    ::SetBkColor(dc_, background_);
    ::SetTextColor(dc_, text_);
  }

 private:
  HDC dc_;
  COLORREF background_;
  COLORREF text_;
};

// A critical section and its scoped lock.
class CriticalSection {
 public:
  CriticalSection() noexcept { ::InitializeCriticalSection(&cs_); }
  CriticalSection(const CriticalSection&) = delete;
  CriticalSection& operator=(const CriticalSection&) = delete;
  ~CriticalSection() { ::DeleteCriticalSection(&cs_); }
  void Enter() noexcept { ::EnterCriticalSection(&cs_); }
  void Leave() noexcept { ::LeaveCriticalSection(&cs_); }
  CRITICAL_SECTION* Native() noexcept { return &cs_; }

 private:
  CRITICAL_SECTION cs_;
};

class Lock {
 public:
  explicit Lock(CriticalSection& cs) noexcept : cs_(cs) { cs_.Enter(); }
  Lock(const Lock&) = delete;
  Lock& operator=(const Lock&) = delete;
  ~Lock() { cs_.Leave(); }

 private:
  CriticalSection& cs_;
};

}  // namespace fw
