// Screen resolution: how many pixels an inch takes on the monitor a window
// is on, and the system measures at that resolution.
//
// A program that declares itself aware of the resolution (in its manifest)
// is told the real figures and lays itself out for them; one that does not
// is told 96 everywhere, and the system stretches its windows. Windows 10
// (1607) and later give each monitor its own resolution; Windows 8.1 gives
// it through another library; earlier systems have one for the whole
// screen. The calls of the newer systems are looked up when first needed,
// so the program still starts on the older ones.
#pragma once

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

namespace Fw {

// The resolution layouts are written at, unless their form says otherwise:
// what 100 % scaling gives, and what lengths given in code are meant at
// (TControl::ScaleValue).
constexpr int DefaultPixelsPerInch = 96;

// The system's resolution: that of the main monitor when the user logged
// on. 96 for a program that is not aware of the resolution.
int SystemPixelsPerInch();
// The resolution of a monitor, where the system gives monitors their own;
// otherwise the system's.
int MonitorPixelsPerInch(HMONITOR monitor);
// The resolution a window is drawn at: that of the monitor it is on, for a
// window aware of monitors' resolutions; otherwise the system's.
int WindowPixelsPerInch(HWND window);

// GetSystemMetrics at a resolution: the system's own figure where it gives
// one, otherwise the figure at the system's resolution scaled to ppi.
int SystemMetricForPPI(int index, int ppi);
// AdjustWindowRectEx for a window drawn at ppi.
void AdjustWindowRectForPPI(RECT& rect, DWORD style, DWORD exStyle, int ppi);

// value × to / from, rounded to the nearest: a length at one resolution
// taken to another.
inline int ScaleLength(int value, int to, int from) { return from == to ? value : MulDiv(value, to, from); }

}  // namespace Fw
