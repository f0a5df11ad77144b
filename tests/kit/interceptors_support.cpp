#include "interceptors_support.h"

namespace InterceptorsTest {

using namespace Fw;

TCallLog& Log() {
    static TCallLog log;
    return log;
}

namespace {

LRESULT CALLBACK LoggingProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg >= WM_USER || msg == WM_DESTROY) {
        Log().Add("wnd", msg);
        if (msg >= WM_USER) return kAnswer;
    }
    return DefWindowProcA(wnd, msg, wParam, lParam);
}

std::set<const TProbeUser*>& Probes() {
    static std::set<const TProbeUser*> probes;
    return probes;
}

}  // namespace

WNDPROC PlainProc() { return &LoggingProc; }

HWND PlainWindow() {
    static const bool registered = [] {
        WNDCLASSA wc{};
        wc.lpfnWndProc = &LoggingProc;
        wc.hInstance = GetModuleHandleA(nullptr);
        wc.lpszClassName = "KitInterceptorsTestPlain";
        return RegisterClassA(&wc) != 0;
    }();
    (void)registered;
    return CreateWindowExA(0, "KitInterceptorsTestPlain", "", WS_POPUP, 0, 0, 50, 50, nullptr, nullptr,
                           GetModuleHandleA(nullptr), nullptr);
}

void Pump() { Application->ProcessMessages(); }

std::string NameOf(const TComponent* c) { return c->Name().empty() ? c->ClassName() : c->Name(); }

FW_PUBLISH(TProbeUser)
FW_END_PUBLISH

TProbeUser::TProbeUser(TComponent* Owner) : Kit::TInterceptorUser(Owner) { Probes().insert(this); }

TProbeUser::~TProbeUser() { Probes().erase(this); }

bool TProbeUser::Alive(const TProbeUser* probe) { return Probes().count(probe) != 0; }

void TProbeUser::DefineHandlers() {
    ++DefineCount;
    DefineHandler(static_cast<int>(Msg), HandlerEvent());
}

void TProbeUser::Handler(TObject*, TMessage& Message, bool& Handled) {
    if (!Alive(this)) {
        Log().Calls.push_back("DEAD");
        return;
    }
    Log().Add(NameOf(this), Message.Msg);
    if (SetsHandled) Handled = true;
}

void TProbeUser::DoActivate(bool Value) {
    if (!Alive(this)) {
        Log().Calls.push_back("DEAD");
        return;
    }
    Log().Calls.push_back(NameOf(this) + (Value ? ":on" : ":off"));
    Kit::TInterceptorUser::DoActivate(Value);
}

}  // namespace InterceptorsTest
