// When the capture runs. A change in the browser's folder does not start it
// at once: the browser may still be writing the wallpaper, in pieces, or may
// hold it open after its last write (closing it signals nothing). The
// scheduler waits until the wallpaper has been quiet for SettleTime, tries
// again every RetryTime while the file is still open for writing, and
// starts over when the file changes meanwhile. All of it on the main
// thread, through a thread timer of the message loop: nothing blocks and
// nothing spins.
#pragma once

#include "app/Capture.h"

#include <functional>

namespace Velmora {

class TCaptureScheduler {
public:
    // How long the wallpaper's size and last-write time must stay as they
    // are before it is copied, and how often a wallpaper still open for
    // writing is tried again.
    static constexpr unsigned DefaultSettleTime = 200;  // ms
    static constexpr unsigned DefaultRetryTime = 100;   // ms

    explicit TCaptureScheduler(unsigned settleTime = DefaultSettleTime, unsigned retryTime = DefaultRetryTime);
    ~TCaptureScheduler();
    TCaptureScheduler(const TCaptureScheduler&) = delete;
    TCaptureScheduler& operator=(const TCaptureScheduler&) = delete;

    // The file whose quiet is waited for.
    AnsiString WallpaperFile;
    // Tells the state of the picture to wait for instead, when its file is
    // not always the same one (the desktop wallpaper).
    std::function<TFileState()> OnLook;
    // Runs one capture with the settings in force.
    std::function<TCaptureResult()> OnCapture;
    // A capture failed (coFailed). Nothing is pending when it is called.
    std::function<void(const TCaptureResult&)> OnFailed;
    // The picture is of no type a picture is kept as (coNotPicture).
    std::function<void(const TCaptureResult&)> OnNotPicture;

    // Captures at once (start-up, watching resumed): the wallpaper was most
    // likely written long ago. A wallpaper found still being written, or
    // changing under the copy, is waited for as after a change.
    void CaptureNow();
    // The browser's folder changed: capture once the wallpaper is quiet.
    // While a capture is pending, the next look decides: a wallpaper that
    // changed since the last look starts the wait over, for the newer
    // picture; a change of another file of the folder does not.
    void Changed();
    // Forgets any pending capture (the settings window is open).
    void Stop();
    bool Pending() const { return FTimer != 0; }

    unsigned SettleTime() const { return FSettleTime; }
    unsigned RetryTime() const { return FRetryTime; }

private:
    static void CALLBACK TimerProc(HWND, UINT, UINT_PTR id, DWORD);
    void Arm(unsigned milliseconds);
    void Disarm();
    void Tick();
    void Run();
    TFileState Look() const;

    unsigned FSettleTime;
    unsigned FRetryTime;
    UINT_PTR FTimer = 0;
    TFileState FLastSeen;  // the wallpaper at the last look
};

}  // namespace Velmora
