#include "framework/property_change.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <utility>

namespace {

struct Sender {
  fw::ChangeSignal<Sender> OnChange;
};

TEST(StoreChanged, StoresOnlyARealChange) {
  std::wstring field = L"same";
  EXPECT_FALSE(fw::StoreChanged(field, L"same"));
  EXPECT_EQ(field, L"same");
  EXPECT_TRUE(fw::StoreChanged(field, L"other"));
  EXPECT_EQ(field, L"other");
}

TEST(UpdateBracket, AnnouncesOnceAtTheOutermostEndAndOnlyAfterAChange) {
  struct Case {
    const char* name;
    int depth;    // brackets opened, one inside the other
    int changes;  // announced inside the innermost
    bool announced_at_end;
  };
  for (const Case& c : {Case{"no bracket", 0, 2, false}, Case{"nothing changed", 1, 0, false},
                        Case{"changes held", 1, 3, true}, Case{"nested", 3, 1, true}}) {
    SCOPED_TRACE(c.name);
    fw::UpdateBracket bracket;
    for (int i = 0; i < c.depth; ++i) {
      bracket.Begin();
    }
    int now = 0;
    for (int i = 0; i < c.changes; ++i) {
      now += bracket.Announce() ? 1 : 0;
    }
    EXPECT_EQ(now, c.depth == 0 ? c.changes : 0);
    int at_end = 0;
    for (int i = 0; i < c.depth; ++i) {
      const bool announced = bracket.End();
      EXPECT_TRUE(!announced || i == c.depth - 1) << "only the outermost end announces";
      at_end += announced ? 1 : 0;
    }
    EXPECT_EQ(at_end, c.announced_at_end ? 1 : 0);
    EXPECT_FALSE(bracket.Open());
    EXPECT_FALSE(bracket.End()) << "an unmatched end does nothing";
    EXPECT_TRUE(bracket.Announce()) << "closed again";
  }
}

TEST(ChangeSignal, TheSubscriptionDetachesWhenEitherSideGoes) {
  Sender sender;
  int calls = 0;
  {
    const auto watched = sender.OnChange.Subscribe([&calls](Sender&) { ++calls; });
    sender.OnChange(sender);
    EXPECT_EQ(calls, 1);
  }
  sender.OnChange(sender);
  EXPECT_EQ(calls, 1) << "a subscription that went no longer listens";

  // The watched object goes first: the subscription's end must not touch it (ASan checks).
  auto gone = std::make_unique<Sender>();
  auto outlives = gone->OnChange.Subscribe([&calls](Sender&) { ++calls; });
  gone.reset();
  outlives.Detach();
}

TEST(ChangeSignal, AMovedSubscriptionListensAndANewOneReplacesTheOld) {
  Sender sender;
  int first = 0;
  int second = 0;
  fw::ChangeSignal<Sender>::Subscription kept;
  {
    auto moved = sender.OnChange.Subscribe([&first](Sender&) { ++first; });
    kept = std::move(moved);
  }  // the moved-from one goes here and must not detach
  sender.OnChange(sender);
  EXPECT_EQ(first, 1);

  auto replacing = sender.OnChange.Subscribe([&second](Sender&) { ++second; });
  kept = {};  // the replaced subscription's end must not detach the new listener
  sender.OnChange(sender);
  EXPECT_EQ(first, 1);
  EXPECT_EQ(second, 1);
}

}  // namespace
