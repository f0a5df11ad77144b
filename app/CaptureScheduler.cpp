#include "app/CaptureScheduler.h"

#include <map>

#include "framework/Application.h"

namespace Velmora {

namespace {

// A thread timer carries no object: its id finds the scheduler. Timers and
// schedulers live on the main thread only.
std::map<UINT_PTR, TCaptureScheduler*>& Timers() {
    static std::map<UINT_PTR, TCaptureScheduler*> timers;
    return timers;
}

}  // namespace

TCaptureScheduler::TCaptureScheduler(unsigned settleTime, unsigned retryTime)
    : FSettleTime(settleTime), FRetryTime(retryTime) {}

TCaptureScheduler::~TCaptureScheduler() { Disarm(); }

void TCaptureScheduler::Arm(unsigned milliseconds) {
    Disarm();
    FTimer = SetTimer(nullptr, 0, milliseconds ? milliseconds : USER_TIMER_MINIMUM, TimerProc);
    if (FTimer)
        Timers()[FTimer] = this;
}

void TCaptureScheduler::Disarm() {
    if (!FTimer)
        return;
    KillTimer(nullptr, FTimer);
    Timers().erase(FTimer);
    FTimer = 0;
}

void CALLBACK TCaptureScheduler::TimerProc(HWND, UINT, UINT_PTR id, DWORD) {
    auto found = Timers().find(id);
    if (found == Timers().end()) {
        KillTimer(nullptr, id);  // already stopped; its WM_TIMER was on its way
        return;
    }
    // Called from DispatchMessage: nothing may leave this function by
    // exception.
    try {
        found->second->Tick();
    } catch (...) {
        Fw::HandleException(nullptr);
    }
}

void TCaptureScheduler::CaptureNow() {
    Disarm();
    Run();
}

void TCaptureScheduler::Changed() {
    // A look is due already: it sees whether the wallpaper itself changed.
    // Starting the wait over for every change in the folder would let a
    // busy folder put the capture off for ever.
    if (Pending())
        return;
    FLastSeen = Look();
    Arm(FSettleTime);
}

void TCaptureScheduler::Stop() { Disarm(); }

TFileState TCaptureScheduler::Look() const { return OnLook ? OnLook() : FileStateOf(WallpaperFile); }

void TCaptureScheduler::Tick() {
    // One-shot: each look decides when the next one comes.
    Disarm();
    const TFileState now = Look();
    if (now != FLastSeen) {
        // Written to since the last look: not done yet.
        FLastSeen = now;
        Arm(FSettleTime);
        return;
    }
    Run();
}

void TCaptureScheduler::Run() {
    if (!OnCapture)
        return;
    const TCaptureResult result = OnCapture();
    switch (result.Outcome) {
        case coBusy:
            // Still open for writing. Its last write may be long over; the
            // close that ends it is announced by no change, so only a new
            // try finds it. A write meanwhile is seen at the next look.
            FLastSeen = Look();
            Arm(FRetryTime);
            break;
        case coChanged:
            FLastSeen = Look();
            Arm(FSettleTime);
            break;
        case coFailed:
            if (OnFailed)
                OnFailed(result);
            break;
        case coNotPicture:
            if (OnNotPicture)
                OnNotPicture(result);
            break;
        default:
            break;
    }
}

}  // namespace Velmora
