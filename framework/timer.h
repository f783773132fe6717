// A window-system timer owned by an object: SetTimer on the application window with an id of its
// own, KillTimer when it is disabled, re-armed or destroyed. Ticks arrive through the message loop
// (also inside ProcessMessages and modal dialogs) and run OnTimer guarded by the default error
// report. Main thread only.
#pragma once

#include <windows.h>

#include <functional>

namespace fw {

class Timer {
 public:
  // Enabled with 1000 ms from the start. A timer without OnTimer still runs but does nothing on
  // its ticks.
  Timer();
  ~Timer();
  Timer(const Timer&) = delete;
  Timer& operator=(const Timer&) = delete;

  UINT Interval() const { return interval_; }
  // A different value restarts a running timer with the new interval; 0 stops it.
  void SetInterval(UINT milliseconds);
  bool Enabled() const { return enabled_; }
  void SetEnabled(bool enabled);
  // True while a window-system timer is armed (Enabled and Interval > 0).
  bool Running() const { return id_ != 0; }

  std::function<void(Timer& sender)> OnTimer;

  // What a tick does: calls OnTimer. Public so that tests drive a timer without waiting; an
  // exception of the handler propagates to the caller here (ticks from the loop are guarded).
  void Tick();

 private:
  void Update();

  UINT interval_ = 1000;
  bool enabled_ = true;
  UINT_PTR id_ = 0;
};

}  // namespace fw
