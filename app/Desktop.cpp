#include "app/Desktop.h"

#include <shlobj.h>

namespace Velmora {

TDesktopPicture TDesktopLocator::Current() {
    wchar_t reported[MAX_PATH] = L"";
    SystemParametersInfoW(SPI_GETDESKWALLPAPER, MAX_PATH, reported, 0);
    wchar_t stored[MAX_PATH] = L"";
    DWORD size = sizeof stored;
    if (RegGetValueW(HKEY_CURRENT_USER, L"Control Panel\\Desktop", L"Wallpaper", RRF_RT_REG_SZ,
                     nullptr, stored, &size) != ERROR_SUCCESS)
        stored[0] = L'\0';
    if (!FLooked || FReported != reported)
        FCurrent = reported;
    else if (FStored != stored)
        FCurrent = stored;
    FLooked = true;
    FReported = reported;
    FStored = stored;

    TDesktopPicture desktop;
    desktop.Reported = FCurrent;
    wchar_t appData[MAX_PATH] = L"";
    if (SUCCEEDED(SHGetFolderPathW(nullptr, CSIDL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, appData)))
        desktop.SystemCopy = std::wstring(appData) + L"\\Microsoft\\Windows\\Themes\\TranscodedWallpaper";
    return desktop;
}

TFileState DesktopPictureState(const TDesktopPicture& desktop) {
    if (desktop.Reported.empty())
        return TFileState();
    TFileState state = FileStateOf(desktop.Reported);
    return state.Exists || desktop.SystemCopy.empty() ? state : FileStateOf(desktop.SystemCopy);
}

TDesktopWatch::TDesktopWatch() {
    if (RegOpenKeyExW(HKEY_CURRENT_USER, L"Control Panel\\Desktop", 0, KEY_NOTIFY, &FKey) != ERROR_SUCCESS)
        FKey = nullptr;
    FChanged = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    FAlerter.reset(Fw::NewComponent<Kit::TEventAlerter>(nullptr));
    FAlerter->GetEvent()->Add(Kit::HandleValue(FChanged));
    FAlerter->OnSignal = Fw::MakeEvent<&TDesktopWatch::Changed>(this);
}

TDesktopWatch::~TDesktopWatch() {
    // The alerter's worker waits on the event: it goes first.
    FAlerter.reset();
    if (FKey)
        RegCloseKey(FKey);
    if (FChanged)
        CloseHandle(FChanged);
}

void TDesktopWatch::Arm() {
    // A notification asked for before and not yet fired still stands: asking
    // again would add a second one.
    if (!FKey || (FArmed && WaitForSingleObject(FChanged, 0) == WAIT_TIMEOUT))
        return;
    ResetEvent(FChanged);
    FArmed = RegNotifyChangeKeyValue(FKey, FALSE, REG_NOTIFY_CHANGE_LAST_SET, FChanged, TRUE) == ERROR_SUCCESS;
}

void TDesktopWatch::SetActive(bool value) {
    if (value)
        Arm();
    FAlerter->SetEnabled(value);
}

void TDesktopWatch::Changed(Fw::TObject*, bool& Reset) {
    // Armed again, and the event reset with it, before the change is handed
    // on; the alerter is to leave the event alone.
    Reset = false;
    FArmed = false;
    Arm();
    // One enabling is one wait.
    FAlerter->SetEnabled(false);
    FAlerter->SetEnabled(true);
    if (OnChange)
        OnChange();
}

}  // namespace Velmora
