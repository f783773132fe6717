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

  // The object this one belongs to, if it was told (not owned).
  void* Owner() const { return FOwner; }
  void SetOwner(void* owner) { FOwner = owner; }

  std::function<void(TChangeNotifier& sender)> OnChange;

  // Several setters, then at most one notification (EndUpdate(true)).
  void BeginUpdate() { FUpdate = true; }
  void EndUpdate(bool do_change = true) {
    FUpdate = false;
    if (do_change) {
      Change();
    }
  }
  bool Updating() const { return FUpdate; }

  // Calls OnChange unless an update is open or nobody listens.
  virtual void Change() {
    if (!FUpdate && OnChange) {
      OnChange(*this);
    }
  }

 private:
  void* FOwner = nullptr;
  bool FUpdate = false;
};

}  // namespace widgets
