// The base of the widgets' property objects (fills, gradients, bevels, ...): a setter that really
// changes a value calls Change, which tells the owner through OnChange unless an update is open.
// Pure: no windows.h.
#pragma once

#include <functional>

namespace widgets {

class TChangeNotifier {
 public:
  TChangeNotifier() = default;
  virtual ~TChangeNotifier() = default;
  // Owners hook OnChange with a pointer to themselves, so a property object never moves.
  TChangeNotifier(const TChangeNotifier&) = delete;
  TChangeNotifier& operator=(const TChangeNotifier&) = delete;

  std::function<void(TChangeNotifier& sender)> OnChange;

  // Several setters, then at most one notification (EndUpdate(true)).
  void BeginUpdate() { updating_ = true; }
  void EndUpdate(bool do_change = true) {
    updating_ = false;
    if (do_change) {
      Change();
    }
  }
  bool Updating() const { return updating_; }

  // Calls OnChange unless an update is open or nobody listens.
  virtual void Change() {
    if (!updating_ && OnChange) {
      OnChange(*this);
    }
  }

 private:
  bool updating_ = false;
};

}  // namespace widgets
