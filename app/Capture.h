// The capture: keeps the wallpaper Internet Explorer has just written, or the
// picture any program has just set as the desktop wallpaper, as the next free
// numbered picture of the save folder.
#pragma once

#include "framework/SysUtils.h"

#include <cstddef>
#include <string>

#include <windows.h>

namespace Velmora {

using Fw::AnsiString;

enum TCaptureOutcome {
    coUnchanged,    // the wallpaper is the one saved last: nothing was copied
    coSaved,        // a new picture was saved under SavedFile
    coNoWallpaper,  // the browser has written no wallpaper yet: not worth a word
    coBusy,         // the browser still has the wallpaper open for writing: try again shortly
    coChanged,      // the wallpaper changed while it was copied: nothing was kept; try again once it is quiet
    coFailed,       // ErrorCode says why; the picture is not saved
    coNotPicture,   // the desktop wallpaper is no BMP, JPEG, PNG or GIF (SourceFile): not kept
    coDuplicate,    // the save folder holds these very bytes already (SavedFile): not kept again
};

struct TCaptureResult {
    TCaptureOutcome Outcome = coUnchanged;
    AnsiString SavedFile;    // full name of the numbered picture (coSaved, coDuplicate)
    DWORD ErrorCode = 0;     // the system's error code (coFailed)
    std::wstring SourceFile; // the file a desktop picture was read from (coSaved, coNotPicture)
};

// Runs one capture. Nothing is kept in memory between two runs: the hidden
// marker file in the save folder (MarkerFileName) is the record of the
// picture saved last, so the same wallpaper is never saved twice, across
// restarts too.
//
// A numbered picture is always a whole one: the wallpaper's size and
// last-write time are read before it is copied and again after, and a copy
// of a wallpaper that changed meanwhile is removed (coChanged).
//
// The caller reacts to coFailed by switching the path observer off, telling
// the user and opening the settings window, so that a broken save folder
// does not fail again at every change of the browser's folder. A failure
// leaves neither a marker of the unsaved picture nor a numbered file of it
// behind: the next run tries again.
//
// With noDuplicates, a picture whose bytes a numbered picture of the folder
// holds already is not kept again (coDuplicate); the marker records it all
// the same. Only pictures of its size are read, and their sizes come with
// the listing that finds the free number.
TCaptureResult CaptureWallpaper(const AnsiString& wallpaperFile, const AnsiString& saveDir,
                                const AnsiString& prefix, bool beep, bool noDuplicates = false);

// Where the desktop wallpaper can be read: the file the system reports, and
// the copy Windows 8 and later keep of it.
struct TDesktopPicture {
    std::wstring Reported;    // empty: a solid colour, no picture
    std::wstring SystemCopy;  // %APPDATA%\Microsoft\Windows\Themes\TranscodedWallpaper
};

// Keeps the desktop wallpaper, whoever set it, under the extension of its
// real type (PictureExtension); a file of any other type is no picture
// (coNotPicture). The reported file is read, or the system's copy where it
// cannot be (gone, unreadable); with neither there is nothing to keep
// (coNoWallpaper), as with a solid colour. Bytes equal to the marker's are
// the picture kept last, by either source (coUnchanged).
//
// The picture is read through a handle that lets no writer in, and only
// as long as the copy onto the marker takes: a file still open for writing
// is coBusy, and the copy is whole. The marker keeps the time it had (the
// browser's bitmap at its last capture, which the browser's capture
// compares), unless the picture is the browser's own bitmap: then it takes
// that file's time, as the browser's capture would have.
TCaptureResult CaptureDesktopWallpaper(const TDesktopPicture& desktop, const AnsiString& browserWallpaper,
                                       const AnsiString& saveDir, const AnsiString& prefix, bool beep,
                                       bool noDuplicates);

// The extension a picture is saved under, from its first bytes: ".BMP",
// ".JPG", ".PNG" or ".GIF"; null for anything else.
const char* PictureExtension(const void* head, std::size_t length);

// The size and last-write time of a file as the file system reports them
// without opening it, so also while a writer holds it open. Two states are
// equal only when the file did not change in between, as far as can be told
// from outside.
struct TFileState {
    bool Exists = false;
    unsigned long long Size = 0;
    long long LastWrite = 0;  // 100-ns units
    bool operator==(const TFileState&) const = default;
};
TFileState FileStateOf(const AnsiString& fileName);
TFileState FileStateOf(const std::wstring& fileName);

// SaveDir\Prefix000.TMP: a copy of the picture saved last, with its time.
AnsiString MarkerFileName(const AnsiString& saveDir, const AnsiString& prefix);

// SaveDir\Prefix<number><extension>, the number with at least three digits.
// Empty when the name does not fit in MAX_PATH with its terminating NUL.
AnsiString NumberedFileName(const AnsiString& saveDir, const AnsiString& prefix, unsigned number,
                            const char* extension = ".BMP");

// The lowest number n >= 1 whose exact name, under any of the extensions a
// picture is saved under, no file or folder of saveDir bears, from one
// listing of the folder: "WALL007.BMP" and "WALL007.JPG" never both exist.
// Names compare as the file system compares them, without regard to case.
// Returns 0, with the system's error in error, when the folder cannot be
// listed.
unsigned FirstFreeNumber(const AnsiString& saveDir, const AnsiString& prefix, DWORD& error);

// Called once for each picture saved with the beep on; MessageBeep unless
// replaced. Replaced only while no capture runs.
using TBeepProc = BOOL(WINAPI*)(UINT type);
extern TBeepProc CaptureBeep;

// Copies the wallpaper onto the marker; CopyFileA unless replaced (a test
// changes the wallpaper in the middle of a copy with it). Replaced only
// while no capture runs.
using TCopyProc = BOOL(WINAPI*)(LPCSTR from, LPCSTR to, BOOL failIfExists);
extern TCopyProc CaptureCopy;

}  // namespace Velmora
