// When a long transfer on the main thread pumps the message queue. Every PeekMessage,
// InvalidateRect and paint is a round trip to the window system's server (50 to 600 us each under
// Wine), more than a 10 KB read costs, so pumping after every read spends most of the transfer
// there. Pumping at most once per interval still repaints about 60 times a second and answers
// Close, hover and keys within milliseconds. Pure, so the decision is unit tested natively.
#pragma once

#include <cstdint>

namespace fw {

inline constexpr std::uint64_t kPumpIntervalMs = 15;

class PumpThrottle {
 public:
  constexpr explicit PumpThrottle(std::uint64_t interval_ms = kPumpIntervalMs) noexcept
      : interval_ms_(interval_ms) {}

  // Due before the first pump, once the interval has passed since the last pump ended, and when
  // the clock reads earlier than that end (never wait for a clock to catch up).
  [[nodiscard]] constexpr bool Due(std::uint64_t now_ms) const noexcept {
    return !pumped_ || now_ms < last_ms_ || now_ms - last_ms_ >= interval_ms_;
  }
  // Records the end of a pump.
  constexpr void Pumped(std::uint64_t now_ms) noexcept {
    pumped_ = true;
    last_ms_ = now_ms;
  }

 private:
  std::uint64_t interval_ms_;
  std::uint64_t last_ms_ = 0;
  bool pumped_ = false;
};

}  // namespace fw
