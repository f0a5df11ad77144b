// The settings of the tool and their home in the current user's registry.
// The settings window keeps them in its fields SaveDir, Prefix, Beep and
// Options while the tool runs; these functions read, default, check and
// write them, and leave every message to the window. Starting with Windows
// is no setting of the tool's key: the system's own Run value is its state.
#pragma once

#include "framework/SysUtils.h"

#include <vector>

#include <windows.h>

namespace Velmora {

using Fw::AnsiString;

// Under HKEY_CURRENT_USER; the leading '\' makes the path absolute.
extern const char SettingsKey[];  // "\Software\Dovrane\Velmora"

// The settings, by the registry values that hold them, as bits.
enum TSetting : unsigned {
    stSaveDir = 1,        // "SaveDir"
    stPrefix = 2,         // "Prefix"
    stBeep = 4,           // "Beep"
    stDesktop = 8,        // "Desktop"
    stNoDuplicates = 16,  // "NoDuplicates"
    stAll = stSaveDir | stPrefix | stBeep | stDesktop | stNoDuplicates,
};

// The settings that came with the desktop wallpaper, REG_DWORD 1 or 0 each.
// Stored settings from before them have neither value: those read as these
// defaults, without a word.
struct TOptions {
    bool Desktop = true;        // keep the desktop wallpaper too, whoever sets it
    bool NoDuplicates = false;  // keep no picture the save folder holds already
};

// A stored value that cannot be used, and why (a sentence).
struct TUnreadSetting {
    TSetting Setting;
    AnsiString Name;    // the registry value's name
    AnsiString Reason;
};

// Reads the stored settings. False when the key does not exist (a first run,
// or the settings were deleted): nothing is assigned then. Otherwise each
// value that can be used is assigned, and each that cannot is listed in
// unread and leaves its argument as it was (the caller's defaults):
// "SaveDir" missing, not a string, or no absolute path; "Prefix" not a
// string, or one PrefixProblem refuses with the save folder in force (a
// missing "Prefix" reads as empty, which is a prefix like any); "Beep"
// missing or not a REG_DWORD; "Desktop" or "NoDuplicates" not a REG_DWORD.
// Never raises.
bool LoadSettings(AnsiString& saveDir, AnsiString& prefix, bool& beep, TOptions& options,
                  std::vector<TUnreadSetting>& unread);

// The settings of a first run: the documents folder followed by "\壁紙",
// "WALL", beep on. owner is the window the shell may ask on behalf of.
void FirstRunSettings(HWND owner, AnsiString& saveDir, AnsiString& prefix, bool& beep);

// Writes the settings of which (TSetting bits), creating the key when
// needed: "SaveDir" and "Prefix" as REG_SZ, "Beep", "Desktop" and
// "NoDuplicates" as REG_DWORD 1 or 0. The others stay as stored. False when
// the key cannot be opened or a value cannot be written; it never raises, as
// the tool ends right after whatever happens here.
bool SaveSettings(const AnsiString& saveDir, const AnsiString& prefix, bool beep, const TOptions& options,
                  unsigned which = stAll);

// Removes the key with anything below it; "\Software\Dovrane" stays.
// True when there was a key and it went.
bool DeleteSettings();

// Whether the system starts this very program when the user logs on: the
// value "Velmora" under HKCU\Software\Microsoft\Windows\CurrentVersion\Run
// holds its path (quoted or not; case aside). Read anew at every call.
bool StartsWithWindows();
// Writes that value, the running program's quoted path, or removes it,
// whatever program it names. ERROR_SUCCESS, or the system's error code.
DWORD SetStartWithWindows(bool on);

// The save folder as typed, without one trailing backslash: "C:\" becomes
// "C:", "D:\a\\" becomes "D:\a\". A Shift-JIS character whose second byte is
// 0x5C ("表" is 0x95 0x5C) ends a name, not a folder, and stays whole.
AnsiString TrimSaveDir(const AnsiString& text);

// Whether the save folder names one place whatever the current drive and
// folder are: a drive and its root ("C:\壁紙", or "C:", what "C:\" is kept
// as), or a network path ("\\server\share"). "壁紙", "\壁紙", "C:壁紙" and ""
// depend on where the tool was started from.
bool IsAbsoluteSaveDir(const AnsiString& saveDir);

// Why prefix cannot be used with saveDir, in one sentence; empty when it
// can. Every numbered name must stay inside the save folder and be a name
// the file system takes: no ".." part (nor any part of dots alone), no
// leading '\' or '/', no ':' (a drive, or an NTFS stream), none of the
// characters Windows refuses in file names, no control character, and room
// for the longest numbered name (ten digits) within MAX_PATH. A folder part
// ("old\WALL") is allowed; whether it exists is FolderOfPrefixExists's
// matter. Shift-JIS aware: a trail byte equal to '\' or '|' is part of its
// character.
AnsiString PrefixProblem(const AnsiString& saveDir, const AnsiString& prefix);

// The folder part of prefix, without its last '\' or '/': "old" for
// "old\WALL", "" for "WALL".
AnsiString PrefixFolder(const AnsiString& prefix);

// Whether anything answers to the name: a folder, or a file as well.
bool SaveDirExists(const AnsiString& saveDir);

// Creates the last level of saveDir (a missing parent is an error too).
// ERROR_SUCCESS, or the system's error code for SysErrorMessage.
DWORD CreateSaveDir(const AnsiString& saveDir);

}  // namespace Velmora
