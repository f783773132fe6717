// The thread logic of the waiting bar's worker, with the platform's event as a parameter: Win32
// events in the program, standard-library ones in the native tests that run it under
// ThreadSanitizer. Pure: no windows.h.
//
// Pausing closes a gate (a manual-reset event) instead of taking a lock: the worker waits at the
// gate between ticks and the main thread never waits for anything, so a pause asked for while the
// worker waits inside a hand-off to the main thread cannot deadlock. A tick that got past the gate
// just before the pause is dropped on the main thread (TickAllowed).
//
// Event: Event(bool initially_set), Set(), Reset(), and Wait(milliseconds) returning true when
// the event is set (kForever waits without a limit).
#pragma once

#include <atomic>
#include <cstdint>

namespace widgets {

inline constexpr std::uint32_t kForever = 0xFFFFFFFFu;

template <typename Event>
class TickGate {
 public:
  TickGate() : gate_(true), wake_(false) {}
  TickGate(const TickGate&) = delete;
  TickGate& operator=(const TickGate&) = delete;

  // Main thread.
  bool Paused() const { return paused_; }
  // True when the value changed.
  bool SetPaused(bool paused) {
    if (paused == paused_) {
      return false;
    }
    paused_ = paused;
    if (paused_) {
      gate_.Reset();
    } else {
      gate_.Set();
    }
    return true;
  }
  // Whether a tick the worker handed over may run: not paused by now, not stopping.
  bool TickAllowed() const { return !paused_ && !stopping_.load(); }
  // Ends the worker's waits at once, also at a closed gate; the worker then leaves its loop.
  void Stop() {
    stopping_ = true;
    wake_.Set();
    gate_.Set();
  }
  bool Stopping() const { return stopping_.load(); }

  // Worker: sleeps the milliseconds; false when it is to end.
  bool SleepPass(std::uint32_t milliseconds) {
    return !wake_.Wait(milliseconds) && !stopping_.load();
  }
  // Worker: waits while paused; false when it is to end.
  bool WaitWhilePaused() {
    gate_.Wait(kForever);
    return !stopping_.load();
  }

 private:
  bool paused_ = false;  // main thread only
  std::atomic<bool> stopping_{false};
  Event gate_;  // set while not paused
  Event wake_;  // set once, when the worker is to end
};

// The worker's loop: sleep delay() milliseconds (read afresh each pass), wait at the gate, hand the
// tick over and wait for it, until stopped. An error of the hand-off ends the loop.
template <typename Event, typename Delay, typename HandOff>
void RunTicks(TickGate<Event>& gate, Delay delay, HandOff hand_off) {
  while (gate.SleepPass(delay()) && gate.WaitWhilePaused()) {
    hand_off();
  }
}

}  // namespace widgets
