// The DPI of the screen and of a window, and the frame arithmetic at a DPI. Windows 10 1607 and
// later answer per window; older systems have one DPI for the whole screen, read from the screen
// DC. The 96-DPI rule itself is in dpi_scale.h.
#pragma once

#include <windows.h>

#include "framework/dpi_scale.h"

namespace fw {

// The DPI of the system (the primary screen's at log-on).
int SystemDpi();
// The DPI of the monitor the window is on for a per-monitor aware program; the system DPI where
// the system cannot tell.
int WindowDpi(HWND window);
// AdjustWindowRectEx with the caption and borders of the given DPI where the system can size them.
void AdjustWindowRectForDpi(RECT& rect, DWORD style, DWORD ex_style, int dpi);
// GetSystemMetrics at the given DPI where the system can answer for one.
int SystemMetricForDpi(int index, int dpi);

}  // namespace fw
