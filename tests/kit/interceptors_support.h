// Helpers of the Interceptors tests: a plain window whose own procedure
// records what reaches it, a probe user that records its calls and notices
// a call into a destroyed probe, and message pumping.
#pragma once

#include <windows.h>

#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "framework/Application.h"
#include "kit/Interceptors.h"

namespace InterceptorsTest {

const DWORD kGenerous = 20000;  // ms

// What reached whom, in order: "name:message".
struct TCallLog {
    std::vector<std::string> Calls;
    void Add(const std::string& who, UINT msg) { Calls.push_back(who + ":" + std::to_string(msg)); }
    std::string Text() const {
        std::string s;
        for (const auto& c : Calls) {
            if (!s.empty()) s += ' ';
            s += c;
        }
        return s;
    }
    void Clear() { Calls.clear(); }
};

TCallLog& Log();

// A top-level window of a class whose procedure logs as "wnd" and answers
// kAnswer to every message it does not leave to DefWindowProc.
constexpr LRESULT kAnswer = 77;
HWND PlainWindow();
WNDPROC PlainProc();

// Runs the messages now waiting.
void Pump();
// Runs messages until done() or the time runs out; false on time-out.
template <class F>
bool PumpUntil(F done, DWORD timeoutMs = kGenerous) {
    const DWORD start = GetTickCount();
    while (!done()) {
        if (GetTickCount() - start > timeoutMs) return false;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
        Pump();
    }
    return true;
}

// A user that handles one message (logging as its name, setting Handled
// when asked) and logs its DoActivate calls as "name:on"/"name:off". A call
// into a probe that no longer exists is logged as "DEAD".
class TProbeUser : public Kit::TInterceptorUser {
public:
    FW_CLASS(TProbeUser, Kit::TInterceptorUser)
    explicit TProbeUser(Fw::TComponent* Owner);
    ~TProbeUser() override;

    unsigned Msg = WM_USER + 50;
    bool SetsHandled = false;
    int DefineCount = 0;

    void Handler(Fw::TObject* Sender, Fw::TMessage& Message, bool& Handled);
    Kit::TMessageHandler HandlerEvent() { return Fw::MakeEvent<&TProbeUser::Handler>(this); }
    Kit::TMessageHandler DestroyEvent() { return Fw::MakeEvent<&TProbeUser::DestroyHandler>(this); }
    static bool Alive(const TProbeUser* probe);

protected:
    void DefineHandlers() override;
    void DoActivate(bool Value) override;
};

// The name a component logs under.
std::string NameOf(const Fw::TComponent* c);

}  // namespace InterceptorsTest
