// The desktop wallpaper as a second source of pictures: where the system
// says it is, and a watch that hears of every change to it, whichever
// program makes it.
#pragma once

#include "app/Capture.h"
#include "framework/Component.h"
#include "kit/Threads.h"

#include <functional>

namespace Velmora {

// Where the desktop wallpaper of this moment is: the path the system
// reports (SPI_GETDESKWALLPAPER, read wide so that a path outside the ANSI
// code page still names its file), and where Windows keeps its own copy.
//
// The system's answer holds for a wallpaper set for the session only too.
// Wine, though, keeps the answer it first gave a process, and only the
// stored value ("Wallpaper" under HKCU\Control Panel\Desktop) shows what
// other programs set since. So of the two, the one that changed since the
// last look tells, and the system's answer first: on Windows both change
// together, or the system's answer alone.
class TDesktopLocator {
public:
    TDesktopPicture Current();

private:
    bool FLooked = false;
    std::wstring FReported, FStored, FCurrent;
};

// The state of the file a capture of the desktop would read: the reported
// one, or the system's copy when the reported one is gone; nothing for a
// solid colour.
TFileState DesktopPictureState(const TDesktopPicture& desktop);

// Hears of changes to the desktop's settings, where the system stores the
// wallpaper whenever a program sets it for good: a change notification on
// HKCU\Control Panel\Desktop, waited for by a Kit event alerter and reported
// on the main thread. Each report arms the notification again before it is
// handed on, so a change during the handler is not lost. A program that
// sets the wallpaper for the session only stores nothing; the settings
// window hears of that through WM_SETTINGCHANGE.
class TDesktopWatch {
public:
    TDesktopWatch();
    ~TDesktopWatch();
    TDesktopWatch(const TDesktopWatch&) = delete;
    TDesktopWatch& operator=(const TDesktopWatch&) = delete;

    // Called on the main thread for each change while active; a change may
    // be reported more than once.
    std::function<void()> OnChange;

    // Active from the moment this returns: no change after it is missed.
    void SetActive(bool value);

private:
    void Arm();
    void Changed(Fw::TObject* Sender, bool& Reset);

    HKEY FKey = nullptr;
    HANDLE FChanged = nullptr;  // manual reset, signalled by the registry
    bool FArmed = false;
    Fw::TComponentPtr<Kit::TEventAlerter> FAlerter;
};

}  // namespace Velmora
