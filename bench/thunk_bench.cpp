// Messages per second sent with SendMessage to three windows in one run:
//   form   - a TForm's window: thunk, MainWndProc, WindowProc, message map,
//            DefWindowProc for what nobody handles;
//   thunk  - a window whose procedure is a bare MakeObjectInstance thunk
//            calling a method that passes the message to DefWindowProc;
//   plain  - a window with an ordinary procedure calling DefWindowProc.
// The message (WM_USER + 10) is one nobody handles, so all three end in
// DefWindowProc and the difference is the road there.
#include "framework/Application.h"
#include "framework/ObjectInstance.h"

#include <cstdio>

using namespace Fw;

namespace {

LRESULT CALLBACK PlainProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    return DefWindowProcA(wnd, msg, wParam, lParam);
}

struct TBareTarget {
    HWND Wnd = nullptr;
    void WndProc(TMessage& m) { m.Result = DefWindowProcA(Wnd, m.Msg, m.WParam, m.LParam); }
};

double Seconds(LARGE_INTEGER a, LARGE_INTEGER b) {
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return double(b.QuadPart - a.QuadPart) / double(f.QuadPart);
}

double Rate(HWND wnd, int count) {
    for (int i = 0; i < 10000; ++i) SendMessageA(wnd, WM_USER + 10, i, 0);  // warm up
    LARGE_INTEGER start, end;
    QueryPerformanceCounter(&start);
    for (int i = 0; i < count; ++i) SendMessageA(wnd, WM_USER + 10, i, 0);
    QueryPerformanceCounter(&end);
    return count / Seconds(start, end);
}

HWND PlainWindow(WNDPROC proc, const char* className) {
    WNDCLASSA wc{};
    wc.lpfnWndProc = proc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = className;
    RegisterClassA(&wc);
    return CreateWindowExA(0, className, "", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, wc.hInstance, nullptr);
}

}  // namespace

int main() {
    Application->Initialize();
    TForm* form = NewForm<TForm>(nullptr);
    HWND formWnd = form->Handle();

    HWND bareWnd = PlainWindow(&DefWindowProcA, "ThunkBenchBare");
    TBareTarget target;
    target.Wnd = bareWnd;
    WNDPROC thunk = MakeObjectInstance(TWndMethod::Bind<&TBareTarget::WndProc>(&target));
    SetWindowLongPtrA(bareWnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(thunk));

    HWND plainWnd = PlainWindow(&PlainProc, "ThunkBenchPlain");
    if (!formWnd || !bareWnd || !plainWnd) {
        std::fprintf(stderr, "thunk_bench: could not create the windows\n");
        return 1;
    }

    const int count = 1000000;
    // Interleaved rounds, so that a slow moment of the machine does not fall
    // on one road only; the best round of each counts.
    double best[3] = {0, 0, 0};
    for (int round = 0; round < 3; ++round) {
        double r[3] = {Rate(formWnd, count), Rate(bareWnd, count), Rate(plainWnd, count)};
        for (int i = 0; i < 3; ++i)
            if (r[i] > best[i]) best[i] = r[i];
    }
    std::printf("SendMessage, %d messages per round, best of 3 rounds:\n", count);
    std::printf("  form window (thunk + framework dispatch): %12.0f msg/s\n", best[0]);
    std::printf("  bare thunk:                               %12.0f msg/s\n", best[1]);
    std::printf("  plain window procedure:                   %12.0f msg/s\n", best[2]);
    std::printf("  form / plain: %.2f   thunk / plain: %.2f\n", best[0] / best[2], best[1] / best[2]);

    SetWindowLongPtrA(bareWnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&DefWindowProcA));
    FreeObjectInstance(thunk);
    DestroyWindow(bareWnd);
    DestroyWindow(plainWnd);
    delete form;
    return 0;
}
