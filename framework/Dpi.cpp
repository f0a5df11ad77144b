#include "framework/Dpi.h"

namespace Fw {

namespace {

// The calls of newer systems, looked up once. Null where the system lacks
// them; callers then fall back on what every system has.
struct TResolutionCalls {
    UINT(WINAPI* GetDpiForSystem)() = nullptr;
    UINT(WINAPI* GetDpiForWindow)(HWND) = nullptr;
    int(WINAPI* GetSystemMetricsForDpi)(int, UINT) = nullptr;
    BOOL(WINAPI* AdjustWindowRectExForDpi)(RECT*, DWORD, BOOL, DWORD, UINT) = nullptr;

    TResolutionCalls() {
        HMODULE user32 = GetModuleHandleA("user32.dll");
        Find(user32, "GetDpiForSystem", GetDpiForSystem);
        Find(user32, "GetDpiForWindow", GetDpiForWindow);
        Find(user32, "GetSystemMetricsForDpi", GetSystemMetricsForDpi);
        Find(user32, "AdjustWindowRectExForDpi", AdjustWindowRectExForDpi);
    }

    template <class F>
    static void Find(HMODULE module, const char* name, F& call) {
        if (module) call = reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(module, name)));
    }
};

const TResolutionCalls& Calls() {
    static const TResolutionCalls calls;
    return calls;
}

// GetDpiForMonitor lives in shcore.dll (Windows 8.1 and later), which the
// program does not otherwise load: loaded when a monitor is first asked
// about.
using TGetDpiForMonitor = HRESULT(WINAPI*)(HMONITOR, int, UINT*, UINT*);
TGetDpiForMonitor GetDpiForMonitorCall() {
    static const TGetDpiForMonitor call = [] {
        HMODULE shcore = LoadLibraryA("shcore.dll");
        return shcore ? reinterpret_cast<TGetDpiForMonitor>(
                            reinterpret_cast<void*>(GetProcAddress(shcore, "GetDpiForMonitor")))
                      : nullptr;
    }();
    return call;
}

int ScreenLogPixels() {
    HDC dc = GetDC(nullptr);
    int ppi = dc ? GetDeviceCaps(dc, LOGPIXELSY) : 0;
    if (dc) ReleaseDC(nullptr, dc);
    return ppi > 0 ? ppi : DefaultPixelsPerInch;
}

}  // namespace

int SystemPixelsPerInch() {
    // Fixed for the life of the process, whatever the user changes later.
    static const int ppi = [] {
        if (Calls().GetDpiForSystem) {
            if (UINT dpi = Calls().GetDpiForSystem()) return int(dpi);
        }
        return ScreenLogPixels();
    }();
    return ppi;
}

int MonitorPixelsPerInch(HMONITOR monitor) {
    // Even a single monitor can differ from the system's figure: the user
    // may have changed its scaling since logging on.
    if (monitor) {
        if (TGetDpiForMonitor call = GetDpiForMonitorCall()) {
            UINT x = 0, y = 0;
            if (SUCCEEDED(call(monitor, 0 /* MDT_EFFECTIVE_DPI */, &x, &y)) && y) return int(y);
        }
    }
    return SystemPixelsPerInch();
}

int WindowPixelsPerInch(HWND window) {
    if (window && Calls().GetDpiForWindow) {
        if (UINT dpi = Calls().GetDpiForWindow(window)) return int(dpi);
    }
    return SystemPixelsPerInch();
}

int SystemMetricForPPI(int index, int ppi) {
    if (Calls().GetSystemMetricsForDpi) return Calls().GetSystemMetricsForDpi(index, UINT(ppi));
    return ScaleLength(GetSystemMetrics(index), ppi, SystemPixelsPerInch());
}

void AdjustWindowRectForPPI(RECT& rect, DWORD style, DWORD exStyle, int ppi) {
    if (Calls().AdjustWindowRectExForDpi &&
        Calls().AdjustWindowRectExForDpi(&rect, style, FALSE, exStyle, UINT(ppi)))
        return;
    AdjustWindowRectEx(&rect, style, FALSE, exStyle);
}

}  // namespace Fw
