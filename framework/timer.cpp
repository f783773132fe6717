#include "framework/timer.h"

#include <utility>

#include "framework/app.h"

namespace fw {

Timer::Timer() {
  Update();
}

Timer::~Timer() {
  App().StopTimer(std::exchange(id_, 0));
}

void Timer::SetInterval(UINT milliseconds) {
  if (milliseconds == interval_) {
    return;
  }
  interval_ = milliseconds;
  Update();
}

void Timer::SetEnabled(bool enabled) {
  if (enabled == enabled_) {
    return;
  }
  enabled_ = enabled;
  Update();
}

void Timer::Tick() {
  if (OnTimer) {
    OnTimer(*this);
  }
}

void Timer::Update() {
  App().StopTimer(std::exchange(id_, 0));
  if (enabled_ && interval_ > 0) {
    id_ = App().StartTimer(*this, interval_);
  }
}

}  // namespace fw
