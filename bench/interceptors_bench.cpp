// Messages per second sent with SendMessage to two windows of one class,
// whose procedure answers the message itself:
//   plain    - the window as its class made it;
//   hooked   - the same window hooked by an interceptor (the subclass's
//              thunk, the dispatcher) with four users switched on, each with
//              a handler for the message that does nothing; then on to the
//              window's own procedure.
// The goal: the hooked road costs at most 1.5 times the plain one.
#include "framework/Application.h"
#include "kit/Interceptors.h"

#include <cstdio>

using namespace Fw;

namespace {

constexpr UINT kMsg = WM_USER + 10;

LRESULT CALLBACK PlainProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == kMsg) return static_cast<LRESULT>(wParam & 1);
    return DefWindowProcA(wnd, msg, wParam, lParam);
}

class TIdleUser : public Kit::TInterceptorUser {
public:
    using Kit::TInterceptorUser::TInterceptorUser;
    void Nothing(TObject*, TMessage&, bool&) {}

protected:
    void DefineHandlers() override { DefineHandler(kMsg, MakeEvent<&TIdleUser::Nothing>(this)); }
};

double Seconds(LARGE_INTEGER a, LARGE_INTEGER b) {
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return double(b.QuadPart - a.QuadPart) / double(f.QuadPart);
}

double Rate(HWND wnd, int count) {
    for (int i = 0; i < 10000; ++i) SendMessageA(wnd, kMsg, i, 0);  // warm up
    LARGE_INTEGER start, end;
    QueryPerformanceCounter(&start);
    for (int i = 0; i < count; ++i) SendMessageA(wnd, kMsg, i, 0);
    QueryPerformanceCounter(&end);
    return count / Seconds(start, end);
}

HWND NewWindow() {
    return CreateWindowExA(0, "InterceptorsBench", "", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                           GetModuleHandleA(nullptr), nullptr);
}

}  // namespace

int main() {
    Application->Initialize();
    WNDCLASSA wc{};
    wc.lpfnWndProc = &PlainProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = "InterceptorsBench";
    RegisterClassA(&wc);
    HWND plain = NewWindow();
    HWND hooked = NewWindow();
    if (!plain || !hooked) {
        std::fprintf(stderr, "interceptors_bench: could not create the windows\n");
        return 1;
    }

    auto* owner = new TComponent(nullptr);
    auto* interceptor = NewComponent<Kit::TCustomMessageInterceptor>(owner);
    interceptor->Subclass()->SetHandle(hooked);
    for (int i = 0; i < 4; ++i) {
        auto* user = NewComponent<TIdleUser>(owner);
        user->SetInterceptor(interceptor);
        user->SetActive(true);
    }
    if (SendMessageA(hooked, kMsg, 1, 0) != 1) {
        std::fprintf(stderr, "interceptors_bench: the hooked window does not answer\n");
        return 1;
    }

    const int count = 1000000;
    // Interleaved rounds, the best of each road counts.
    double best[2] = {0, 0};
    for (int round = 0; round < 3; ++round) {
        double r[2] = {Rate(plain, count), Rate(hooked, count)};
        for (int i = 0; i < 2; ++i)
            if (r[i] > best[i]) best[i] = r[i];
    }
    std::printf("SendMessage, %d messages per round, best of 3 rounds (%d-bit):\n", count,
                static_cast<int>(sizeof(void*) * 8));
    std::printf("  plain window procedure:                          %12.0f msg/s  %6.3f us/msg\n", best[0],
                1e6 / best[0]);
    std::printf("  interceptor, dispatcher, four idle users, plain: %12.0f msg/s  %6.3f us/msg\n", best[1],
                1e6 / best[1]);
    std::printf("  time hooked / plain: %.2f (goal: at most 1.50)\n", best[0] / best[1]);

    FreeComponent(owner);
    DestroyWindow(hooked);
    DestroyWindow(plain);
    return 0;
}
