// How a property tells that it changed, one way for every owner: a setter stores only a real
// change (StoreChanged); an update bracket (UpdateBracket) holds the announcements of several
// setters back and gives one at its outermost end, and only when something changed; a change
// reaches its one listener through a ChangeSignal, whose Subscription detaches itself when either
// side goes. Pure: no windows.h.
#pragma once

#include <functional>
#include <utility>

namespace fw {

// Stores value when it differs from field; true when it did.
template <typename T, typename U>
[[nodiscard]] bool StoreChanged(T& field, U&& value) {
  if (field == value) {
    return false;
  }
  field = std::forward<U>(value);
  return true;
}

// Counted: brackets nest, and only the outermost end announces.
class UpdateBracket {
 public:
  void Begin() noexcept { ++depth_; }
  // True at the outermost end when a change was held back inside the bracket.
  [[nodiscard]] bool End() noexcept {
    if (depth_ == 0 || --depth_ > 0) {
      return false;
    }
    return std::exchange(held_, false);
  }
  bool Open() const noexcept { return depth_ > 0; }
  // For a change: true when it is to be announced now; inside a bracket it is held for the end.
  [[nodiscard]] bool Announce() noexcept {
    if (depth_ > 0) {
      held_ = true;
      return false;
    }
    return true;
  }

 private:
  int depth_ = 0;
  bool held_ = false;
};

// One listener. A property object is not copied or moved while it has one: the link is two-way.
template <typename Sender>
class ChangeSignal {
 public:
  using Handler = std::function<void(Sender& sender)>;

  // Keeps the handler subscribed while it lives; a later Subscribe replaces it.
  class Subscription {
   public:
    Subscription() = default;
    Subscription(Subscription&& other) noexcept { Take(other); }
    Subscription& operator=(Subscription&& other) noexcept {
      if (this != &other) {
        Detach();
        Take(other);
      }
      return *this;
    }
    ~Subscription() { Detach(); }

    void Detach() noexcept {
      if (signal_ != nullptr) {
        signal_->handler_ = nullptr;
        signal_->subscription_ = nullptr;
        signal_ = nullptr;
      }
    }

   private:
    friend class ChangeSignal;
    void Take(Subscription& other) noexcept {
      signal_ = std::exchange(other.signal_, nullptr);
      if (signal_ != nullptr) {
        signal_->subscription_ = this;
      }
    }
    ChangeSignal* signal_ = nullptr;
  };

  ChangeSignal() = default;
  ChangeSignal(const ChangeSignal&) = delete;
  ChangeSignal& operator=(const ChangeSignal&) = delete;
  ~ChangeSignal() {
    if (subscription_ != nullptr) {
      subscription_->signal_ = nullptr;
    }
  }

  [[nodiscard]] Subscription Subscribe(Handler handler) {
    if (subscription_ != nullptr) {
      subscription_->Detach();
    }
    Subscription subscription;
    handler_ = std::move(handler);
    subscription.signal_ = this;
    subscription_ = &subscription;
    return subscription;
  }

  void operator()(Sender& sender) const {
    if (handler_) {
      handler_(sender);
    }
  }

 private:
  Handler handler_;
  Subscription* subscription_ = nullptr;
};

}  // namespace fw
