// Blocking work on a worker thread that the window stops waiting for. A server that accepts a
// connection and then goes silent blocks a network call for minutes or for ever, and a large file
// takes a while to hash: the window never makes such a call itself. It sleeps until the worker
// ends, the window has input (repaints, Close, hover and keys keep working), the work reports
// progress to show, or the work has reported nothing for its stall limit, and then gives up. An
// abandoned worker keeps what its work captured (handles, buffers) and frees it when the call
// finally returns, or the process ends first.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <functional>

#include "framework/handle.h"

namespace fw {

// What the work tells the waiting thread: that it is still getting somewhere (the server has just
// sent something), and that there is new progress to show.
class WorkActivity {
 public:
  WorkActivity() { Touch(); }
  void Touch() noexcept { last_ms_.store(::GetTickCount64(), std::memory_order_relaxed); }
  std::uint64_t IdleMs(std::uint64_t now_ms) const noexcept {
    const std::uint64_t last = last_ms_.load(std::memory_order_relaxed);
    return now_ms > last ? now_ms - last : 0;
  }

  // Worker, after it stored what the window shows: wakes the window. Signalled once until the
  // window takes it, so a fast transfer costs one system call per picture, not one per read.
  void Progressed() noexcept {
    if (!progress_pending_.exchange(true)) {
      ::SetEvent(progress_.get());
    }
  }
  // Main thread, woken by the event: from here on the worker signals again; what it stored before
  // is visible.
  void ProgressTaken() noexcept { progress_pending_.exchange(false); }
  HANDLE ProgressEvent() const noexcept { return progress_.get(); }

 private:
  std::atomic<std::uint64_t> last_ms_{0};
  std::atomic<bool> progress_pending_{false};
  KernelHandle progress_{::CreateEventW(nullptr, FALSE, FALSE, nullptr)};  // auto-reset
};

// State shared by the window and a worker it may leave behind, freed by whichever lets go last.
// (std::shared_ptr would pull the POSIX threads library into the static runtime: 14 KiB.)
template <typename T>
class SharedState {
 public:
  SharedState() : node_(new Node) {}
  SharedState(const SharedState& other) noexcept : node_(other.node_) {
    node_->count.fetch_add(1, std::memory_order_relaxed);
  }
  SharedState& operator=(const SharedState&) = delete;
  ~SharedState() {
    if (node_->count.fetch_sub(1, std::memory_order_acq_rel) == 1) {
      delete node_;
    }
  }
  T* operator->() const noexcept { return &node_->value; }
  T& operator*() const noexcept { return node_->value; }

 private:
  struct Node {
    std::atomic<long> count{1};
    T value;
  };
  Node* node_;
};

// Runs work on a new worker thread and waits for it on the main thread. Before each pump,
// before_pump runs (the window shows the work's progress there); the window wakes for its own
// input and the work's Progressed, at most once a frame (about 60 a second). True when the work
// ended; an exception it raised is raised here. False when it reported nothing for stall_limit_ms:
// the worker is left running and work must not touch anything the caller frees (capture shared
// state). INFINITE waits for the work however long it takes. keep_loaded is a library the work
// calls into: it stays loaded until the work has gone, even when the worker is left behind.
bool RunOffWindow(std::function<void(WorkActivity&)> work, const std::function<void()>& before_pump,
                  DWORD stall_limit_ms, ModuleHandle keep_loaded = {});

// Lets ms pass on the main thread while the window keeps pumping (repaints, keys, Close). False
// as soon as the application is asked to end, also when it already was: a wait the user closed
// the window on ends at once.
bool WaitPumping(DWORD ms);

}  // namespace fw
