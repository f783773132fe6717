// The base of the widgets' property objects (fills, gradients, bevels, ...): a setter that really
// changes a value calls Change, which tells the one listener through OnChange unless an update is
// open; the update's end then tells once. Pure: no windows.h.
#pragma once

#include "framework/property_change.h"

namespace widgets {

class TChangeNotifier {
 public:
  TChangeNotifier() = default;
  virtual ~TChangeNotifier() = default;
  // The listener's subscription points at this object, so a property object never moves.
  TChangeNotifier(const TChangeNotifier&) = delete;
  TChangeNotifier& operator=(const TChangeNotifier&) = delete;

  fw::ChangeSignal<TChangeNotifier> OnChange;

  // Several setters, then at most one notification, and none when nothing changed.
  void BeginUpdate() { FUpdate.Begin(); }
  void EndUpdate() {
    if (FUpdate.End()) {
      OnChange(*this);
    }
  }
  bool Updating() const { return FUpdate.Open(); }

  // Tells the listener now, or at the end of an open update.
  virtual void Change() {
    if (FUpdate.Announce()) {
      OnChange(*this);
    }
  }

 protected:
  template <typename T>
  void Store(T& field, T value) {
    if (fw::StoreChanged(field, value)) {
      Change();
    }
  }

 private:
  fw::UpdateBracket FUpdate;
};

// An owner's hold on the changes of one of its property objects; it lets go by itself.
using TChangeSubscription = fw::ChangeSignal<TChangeNotifier>::Subscription;

}  // namespace widgets
