// The download's pump throttle: a pump is due first, then only once the interval has passed since
// the last pump ended.
#include "framework/pump_throttle.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>

namespace {

TEST(PumpThrottleTest, DueBeforeTheFirstPumpWhateverTheClockReads) {
  for (const std::uint64_t now : {std::uint64_t{0}, std::uint64_t{1}, fw::kPumpIntervalMs,
                                  std::numeric_limits<std::uint64_t>::max()}) {
    EXPECT_TRUE(fw::PumpThrottle().Due(now)) << now;
  }
}

TEST(PumpThrottleTest, DueOnceTheIntervalHasPassedSinceTheLastPump) {
  constexpr std::uint64_t kMax = std::numeric_limits<std::uint64_t>::max();
  struct Case {
    std::uint64_t interval;
    std::uint64_t pumped_at;
    std::uint64_t now;
    bool due;
  };
  const Case cases[] = {
      {15, 1000, 1000, false},  // right after a pump
      {15, 1000, 1014, false},  // one millisecond short
      {15, 1000, 1015, true},   // exactly the interval
      {15, 1000, 5000, true},   // a long read since
      {15, 0, 14, false},       // a pump at clock 0 counts like any other
      {15, 0, 15, true},
      {15, 1000, 999, true},        // the clock went back: never wait for it
      {15, kMax - 5, kMax, false},  // no overflow near the end of the clock
      {15, kMax - 15, kMax, true},
      {0, 1000, 1000, true},  // no interval: always due
      {fw::kPumpIntervalMs, 20000, 20000 + fw::kPumpIntervalMs - 1, false},
      {fw::kPumpIntervalMs, 20000, 20000 + fw::kPumpIntervalMs, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "interval " << c.interval << ", pumped at " << c.pumped_at
                                    << ", now " << c.now);
    fw::PumpThrottle throttle(c.interval);
    throttle.Pumped(c.pumped_at);
    EXPECT_EQ(throttle.Due(c.now), c.due);
  }
}

TEST(PumpThrottleTest, TheLatestPumpCounts) {
  fw::PumpThrottle throttle(15);
  throttle.Pumped(100);
  ASSERT_TRUE(throttle.Due(120));
  throttle.Pumped(120);
  EXPECT_FALSE(throttle.Due(125));
  EXPECT_TRUE(throttle.Due(135));
}

}  // namespace
