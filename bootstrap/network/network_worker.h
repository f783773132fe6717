// Blocking WinInet calls on a worker thread that the window stops waiting for (fw::RunOffWindow):
// the timeout options end a stalled InternetOpenUrlW or InternetReadFile on Windows but not under
// Wine, and closing a handle from another thread does not wake them there either.
#pragma once

#include <windows.h>

#include <functional>

#include "framework/off_window.h"

namespace setup {

// How long a server may send nothing before the request ends: connecting, waiting for the
// answer's headers, and between the bytes of a body. Set at build time (SETUP_STALL_LIMIT_S).
DWORD StallLimitMs();

// Runs a request's blocking calls off the window under the stall limit, with WinInet held loaded
// for as long as the work may run. The work calls activity.Touch() whenever the server sends
// something. False when the server sent nothing for the stall limit (see fw::RunOffWindow).
bool RunRequestOffWindow(std::function<void(fw::WorkActivity&)> work,
                         const std::function<void()>& before_pump = {});

}  // namespace setup
