// The three settings of the tool and their home in the current user's
// registry. The settings window keeps them in its fields SaveDir, Prefix and
// Beep while the tool runs; these functions read, default, check and write
// them, and leave every message to the window.
#pragma once

#include "framework/SysUtils.h"

#include <windows.h>

namespace Velmora {

using Fw::AnsiString;

// Under HKEY_CURRENT_USER; the leading '\' makes the path absolute.
extern const char SettingsKey[];  // "\Software\Dovrane\Velmora"

// Reads the stored settings. False when the key does not exist (a first run,
// or the settings were deleted): nothing is assigned then. Otherwise saveDir
// and prefix are assigned first (a missing string reads as empty text), then
// beep, whose value must be a REG_DWORD: a missing or other "Beep" raises
// the registry class's ERegistryException, leaving beep as it was.
bool LoadSettings(AnsiString& saveDir, AnsiString& prefix, bool& beep);

// The settings of a first run: the documents folder followed by "\壁紙",
// "WALL", beep on. owner is the window the shell may ask on behalf of.
void FirstRunSettings(HWND owner, AnsiString& saveDir, AnsiString& prefix, bool& beep);

// Writes all three, creating the key when needed: "SaveDir" and "Prefix" as
// REG_SZ, "Beep" as REG_DWORD 1 or 0. False when the key cannot be opened or
// a value cannot be written; it never raises, as the tool ends right after
// whatever happens here.
bool SaveSettings(const AnsiString& saveDir, const AnsiString& prefix, bool beep);

// Removes the key with anything below it; "\Software\Dovrane" stays.
// True when there was a key and it went.
bool DeleteSettings();

// The save folder as typed, without one trailing backslash: "C:\" becomes
// "C:", "D:\a\\" becomes "D:\a\". A Shift-JIS character whose second byte is
// 0x5C ("表" is 0x95 0x5C) ends a name, not a folder, and stays whole.
AnsiString TrimSaveDir(const AnsiString& text);

// Whether anything answers to the name: a folder, or a file as well.
bool SaveDirExists(const AnsiString& saveDir);

// Creates the last level of saveDir (a missing parent is an error too).
// ERROR_SUCCESS, or the system's error code for SysErrorMessage.
DWORD CreateSaveDir(const AnsiString& saveDir);

}  // namespace Velmora
