#include "app/Capture.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace Velmora {

TBeepProc CaptureBeep = MessageBeep;
TCopyProc CaptureCopy = CopyFileA;

namespace {

// A marker this much newer than the wallpaper still holds that very
// picture: a copy can land on a file system that keeps times in steps of
// two seconds.
constexpr std::int64_t SameTimeTolerance = 20'000'000;  // 2 s in 100-ns units

// The last-write time of a file, or false when it cannot be read. The file
// is opened as the browser leaves it: for reading, letting others read.
bool ReadLastWriteTime(HANDLE file, std::int64_t& time) {
    FILETIME t;
    if (file == INVALID_HANDLE_VALUE || !GetFileTime(file, nullptr, nullptr, &t))
        return false;
    time = static_cast<std::int64_t>((static_cast<std::uint64_t>(t.dwHighDateTime) << 32) | t.dwLowDateTime);
    return true;
}

HANDLE OpenForTime(const AnsiString& fileName) {
    return CreateFileA(fileName.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                       FILE_ATTRIBUTE_ARCHIVE, nullptr);
}

std::wstring Wide(const char* text, int length) {
    int n = length > 0 ? MultiByteToWideChar(CP_ACP, 0, text, length, nullptr, 0) : 0;
    std::wstring w(n > 0 ? n : 0, L'\0');
    if (n > 0)
        MultiByteToWideChar(CP_ACP, 0, text, length, w.data(), n);
    return w;
}

bool SameName(const wchar_t* a, const wchar_t* b, std::size_t length) {
    return length == 0 ||
           CompareStringOrdinal(a, static_cast<int>(length), b, static_cast<int>(length), TRUE) == CSTR_EQUAL;
}

// Reads the names of one folder against one prefix. The prefix may lead into
// a subfolder ("old\WALL" saves into SaveDir\old), so only its last part is
// compared with the names listed.
class TNumberedNames {
public:
    explicit TNumberedNames(const AnsiString& prefix) {
        FCut = Fw::LastDelimiter("\\/", prefix);  // 1-based, double-byte aware
        FLeading = Wide(prefix.data() + FCut, static_cast<int>(prefix.size() - FCut));
    }

    // The folder the numbered names live in, with its trailing delimiter:
    // the very folder a search for saveDir\prefix* lists ("C:" alone would
    // be the drive's current folder).
    AnsiString Folder(const AnsiString& saveDir, const AnsiString& prefix) const {
        return saveDir + "\\" + prefix.substr(0, FCut);
    }
    const std::wstring& Leading() const { return FLeading; }

    // The number n >= 1 for which the name is exactly Prefix + "%03d" + ".BMP",
    // or 0. "WALL0001.BMP" and "WALL01.BMP" are not the names of number 1.
    unsigned NumberOf(const wchar_t* name, std::size_t length) const {
        static constexpr wchar_t Extension[] = L".BMP";
        constexpr std::size_t extensionLength = 4;
        if (length < FLeading.size() + 3 + extensionLength || !SameName(name, FLeading.data(), FLeading.size()) ||
            !SameName(name + length - extensionLength, Extension, extensionLength))
            return 0;
        const std::size_t first = FLeading.size(), digits = length - extensionLength - first;
        // No name the search can reach has more digits than this.
        if (digits > 9 || (digits > 3 && name[first] == L'0'))
            return 0;
        unsigned n = 0;
        for (std::size_t i = first; i < first + digits; ++i) {
            if (name[i] < L'0' || name[i] > L'9')
                return 0;
            n = n * 10 + static_cast<unsigned>(name[i] - L'0');
        }
        return n;
    }
    unsigned NumberOf(const char* name) const {
        const std::wstring w = Wide(name, static_cast<int>(std::strlen(name)));
        return NumberOf(w.data(), w.size());
    }

private:
    std::size_t FCut;
    std::wstring FLeading;
};

// ntdll's listing of a folder, which the SDK headers leave to the driver kit.
struct TIoStatusBlock {
    union {
        LONG Status;
        void* Pointer;
    };
    ULONG_PTR Information;
};

struct TCountedString {
    USHORT Length;
    USHORT MaximumLength;
    wchar_t* Buffer;
};

struct TBothDirectoryEntry {  // FILE_BOTH_DIR_INFORMATION
    ULONG NextEntryOffset;
    ULONG FileIndex;
    LARGE_INTEGER CreationTime, LastAccessTime, LastWriteTime, ChangeTime, EndOfFile, AllocationSize;
    ULONG FileAttributes;
    ULONG FileNameLength;  // in bytes
    ULONG EaSize;
    CCHAR ShortNameLength;  // in bytes
    wchar_t ShortName[12];
    wchar_t FileName[1];
};
static_assert(offsetof(TBothDirectoryEntry, ShortName) == 70 && offsetof(TBothDirectoryEntry, FileName) == 94);

constexpr ULONG FileBothDirectoryInformation = 3;
constexpr LONG StatusSuccess = 0;
constexpr LONG StatusNoMoreFiles = static_cast<LONG>(0x80000006);
constexpr LONG StatusNoSuchFile = static_cast<LONG>(0xC000000F);

using TQueryDirectoryFile = LONG(WINAPI*)(HANDLE file, HANDLE event, void* apcRoutine, void* apcContext,
                                          TIoStatusBlock* status, void* buffer, ULONG length, ULONG infoClass,
                                          BOOLEAN singleEntry, TCountedString* mask, BOOLEAN restart);

TQueryDirectoryFile QueryDirectoryFile() {
    static const TQueryDirectoryFile query = [] {
        HMODULE ntdll = GetModuleHandleA("ntdll.dll");
        FARPROC p = ntdll ? GetProcAddress(ntdll, "NtQueryDirectoryFile") : nullptr;
        TQueryDirectoryFile f;
        static_assert(sizeof f == sizeof p);
        std::memcpy(&f, &p, sizeof f);
        return f;
    }();
    return query;
}

// Collects the numbers the names of folder take, long and short names alike.
// The names come as the file system keeps them, in UTF-16, and are compared
// as they come: FindFirstFileA would turn each into ANSI only for it to be
// widened back here, which for thousands of names added more than half the
// listing's own time. False when the folder cannot be listed this way (no
// such entry point, a folder that does not open as one, an error part-way):
// the caller then lists with FindFirstFileA, whose errors are the ones to
// report.
bool ListNumbers(const AnsiString& folder, const TNumberedNames& names, std::vector<unsigned>& taken) {
    const TQueryDirectoryFile query = QueryDirectoryFile();
    std::wstring pattern = names.Leading() + L'*';
    const std::size_t patternBytes = pattern.size() * sizeof(wchar_t);
    if (!query || patternBytes > 0xFFFF)
        return false;
    HANDLE dir = CreateFileA(folder.c_str(), FILE_LIST_DIRECTORY, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                             nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (dir == INVALID_HANDLE_VALUE)
        return false;
    TCountedString mask = {static_cast<USHORT>(patternBytes), static_cast<USHORT>(patternBytes), pattern.data()};
    // Few calls for a big folder; the entries are 8-byte aligned.
    std::vector<LONGLONG> buffer(64 * 1024 / sizeof(LONGLONG));
    const ULONG bufferBytes = static_cast<ULONG>(buffer.size() * sizeof(LONGLONG));
    bool listed = true;
    for (bool first = true;; first = false) {
        TIoStatusBlock io = {};
        LONG status = query(dir, nullptr, nullptr, nullptr, &io, buffer.data(), bufferBytes,
                            FileBothDirectoryInformation, FALSE, first ? &mask : nullptr, first);
        if (status == StatusNoMoreFiles || (first && status == StatusNoSuchFile))
            break;
        if (status != StatusSuccess) {
            listed = false;
            break;
        }
        const char* at = reinterpret_cast<const char*>(buffer.data());
        for (;;) {
            const auto* e = reinterpret_cast<const TBothDirectoryEntry*>(at);
            // A short name answers to the file as well as its long name does:
            // copying onto it would replace that file. Asking for the names
            // alone would drop it, and saves nothing under Wine, which looks
            // up every name it returns whatever is asked of it.
            if (unsigned n = names.NumberOf(e->FileName, e->FileNameLength / sizeof(wchar_t)))
                taken.push_back(n);
            const std::size_t shortLength = static_cast<unsigned char>(e->ShortNameLength) / sizeof(wchar_t);
            if (unsigned n = names.NumberOf(e->ShortName, shortLength))
                taken.push_back(n);
            if (!e->NextEntryOffset)
                break;
            at += e->NextEntryOffset;
        }
    }
    CloseHandle(dir);
    return listed;
}

// Copies to a name no file is thought to bear. In a big folder every look-up
// of a name no file bears costs a read of the whole folder under Wine, and a
// copy allowed to replace looks its target up twice (is it the source
// itself? then create it); one that must create a new file looks once.
bool CopyNew(const AnsiString& from, const AnsiString& to) {
    return CopyFileA(from.c_str(), to.c_str(), TRUE) != FALSE;
}

// Removes a file this capture wrote, read-only or hidden as it may be: it
// takes the attributes of the file it was copied from.
void RemoveWritten(const AnsiString& name) {
    SetFileAttributesA(name.c_str(), FILE_ATTRIBUTE_NORMAL);
    DeleteFileA(name.c_str());
}

// Copies the marker to the first name from number on that no file bears. A
// name taken since the listing is passed over, never replaced: the file
// there may be a picture kept before. A copy that fails half-way (a full
// disk) leaves an empty or partial file under a number that would then look
// taken by a picture for good: it is removed. Returns the system's error,
// or ERROR_SUCCESS with the name in picture.
DWORD CopyToFreeNumber(const AnsiString& marker, const AnsiString& saveDir, const AnsiString& prefix,
                       unsigned number, AnsiString& picture) {
    // Names appear between the listing and the copy only when someone else
    // writes into the folder at that very moment; this bounds the chase.
    constexpr unsigned MaxTries = 1000;
    for (unsigned tries = 0; tries < MaxTries; ++tries, ++number) {
        picture = NumberedFileName(saveDir, prefix, number);
        if (picture.empty())
            return ERROR_FILENAME_EXCED_RANGE;
        if (CopyNew(marker, picture))
            return ERROR_SUCCESS;
        const DWORD e = GetLastError();
        if (e == ERROR_FILE_EXISTS || e == ERROR_ALREADY_EXISTS)
            continue;
        // Any other failure of a copy that may not replace: the file, if
        // there is one, was made by this copy.
        RemoveWritten(picture);
        return e;
    }
    return ERROR_FILE_EXISTS;
}

TCaptureResult Failed(DWORD error) {
    TCaptureResult r;
    r.Outcome = coFailed;
    r.ErrorCode = error;
    return r;
}

TCaptureResult Outcome(TCaptureOutcome outcome) {
    TCaptureResult r;
    r.Outcome = outcome;
    return r;
}

bool ReadState(HANDLE file, TFileState& state) {
    LARGE_INTEGER size;
    if (!ReadLastWriteTime(file, state.LastWrite) || !GetFileSizeEx(file, &size))
        return false;
    state.Exists = true;
    state.Size = static_cast<unsigned long long>(size.QuadPart);
    return true;
}

}  // namespace

TFileState FileStateOf(const AnsiString& fileName) {
    TFileState state;
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExA(fileName.c_str(), GetFileExInfoStandard, &data))
        return state;
    state.Exists = true;
    state.Size = (static_cast<unsigned long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    state.LastWrite = static_cast<long long>((static_cast<std::uint64_t>(data.ftLastWriteTime.dwHighDateTime) << 32) |
                                             data.ftLastWriteTime.dwLowDateTime);
    return state;
}

AnsiString MarkerFileName(const AnsiString& saveDir, const AnsiString& prefix) {
    return saveDir + "\\" + prefix + "000.TMP";
}

AnsiString NumberedFileName(const AnsiString& saveDir, const AnsiString& prefix, unsigned number) {
    char name[MAX_PATH];
    int length = std::snprintf(name, sizeof name, "%s\\%s%03u.BMP", saveDir.c_str(), prefix.c_str(), number);
    if (length < 0 || length >= static_cast<int>(sizeof name))
        return AnsiString();
    return AnsiString(name, static_cast<std::size_t>(length));
}

unsigned FirstFreeNumber(const AnsiString& saveDir, const AnsiString& prefix, DWORD& error) {
    error = ERROR_SUCCESS;
    const TNumberedNames names(prefix);
    std::vector<unsigned> taken;
    if (!ListNumbers(names.Folder(saveDir, prefix), names, taken)) {
        taken.clear();
        WIN32_FIND_DATAA found;
        HANDLE search = FindFirstFileA((saveDir + "\\" + prefix + "*").c_str(), &found);
        if (search == INVALID_HANDLE_VALUE) {
            DWORD e = GetLastError();
            if (e != ERROR_FILE_NOT_FOUND && e != ERROR_NO_MORE_FILES) {
                error = e;
                return 0;
            }
        } else {
            do {
                // Short names too, as above.
                for (const char* name : {found.cFileName, found.cAlternateFileName})
                    if (unsigned n = names.NumberOf(name))
                        taken.push_back(n);
            } while (FindNextFileA(search, &found));
            DWORD e = GetLastError();
            FindClose(search);
            if (e != ERROR_NO_MORE_FILES) {
                error = e;
                return 0;
            }
        }
    }
    // k names take at most k numbers, so one of 1 .. k + 1 is free.
    std::vector<bool> used(taken.size() + 2, false);
    for (unsigned n : taken)
        if (n < used.size())
            used[n] = true;
    unsigned n = 1;
    while (used[n])
        ++n;
    return n;
}

TCaptureResult CaptureWallpaper(const AnsiString& wallpaperFile, const AnsiString& saveDir,
                                const AnsiString& prefix, bool beep) {
    const AnsiString marker = MarkerFileName(saveDir, prefix);
    // No numbered name is shorter than the marker's: if it does not fit,
    // no picture can be saved, and nothing is touched.
    if (marker.size() >= MAX_PATH)
        return Failed(ERROR_FILENAME_EXCED_RANGE);

    HANDLE wallpaper = OpenForTime(wallpaperFile);
    // The browser still has the picture open for writing: a copy now could
    // keep half of it, and its closing will signal no change. The caller
    // tries again shortly; nothing is touched meanwhile.
    if (wallpaper == INVALID_HANDLE_VALUE && GetLastError() == ERROR_SHARING_VIOLATION)
        return Outcome(coBusy);
    HANDLE saved = OpenForTime(marker);
    const bool noMarker = saved == INVALID_HANDLE_VALUE && GetLastError() == ERROR_FILE_NOT_FOUND;
    TFileState before;
    std::int64_t savedTime = 0;
    const bool haveWallpaper = ReadState(wallpaper, before);
    const bool haveSavedTime = ReadLastWriteTime(saved, savedTime);
    if (wallpaper != INVALID_HANDLE_VALUE)
        CloseHandle(wallpaper);
    if (saved != INVALID_HANDLE_VALUE)
        CloseHandle(saved);

    // Full 64-bit times: a new picture must never pass for the old one
    // because only the low words happen to be close. Without both times the
    // copy decides: a missing wallpaper fails it quietly below, and a
    // missing marker is what a first capture creates.
    if (haveWallpaper && haveSavedTime) {
        const std::int64_t newer = savedTime - before.LastWrite;
        if (newer >= 0 && newer <= SameTimeTolerance)
            return TCaptureResult();
    }

    // A marker the open above did not find is created at once: clearing the
    // attributes of a file that is not there would be one more look-up of a
    // missing name, a read of the whole folder under Wine. Should the marker
    // have appeared since, the creation fails and the usual replacing copy
    // runs after all.
    bool copied = noMarker && CaptureCopy(wallpaperFile.c_str(), marker.c_str(), TRUE);
    if (!copied) {
        // A hidden file cannot be replaced by a copy.
        SetFileAttributesA(marker.c_str(), FILE_ATTRIBUTE_NORMAL);
        copied = CaptureCopy(wallpaperFile.c_str(), marker.c_str(), FALSE);
    }
    if (!copied) {
        const DWORD e = GetLastError();
        // A copy that began to write the marker (and stopped on a full disk)
        // left part of a picture with the time of its writing, which could
        // pass for the record of a picture never saved. A marker that still
        // has its time from before is the record of the picture saved last.
        if (!haveSavedTime || FileStateOf(marker).LastWrite != savedTime)
            RemoveWritten(marker);
        if (e == ERROR_FILE_NOT_FOUND)
            return Outcome(coNoWallpaper);
        if (e == ERROR_SHARING_VIOLATION)  // the browser opened it again since
            return Outcome(coBusy);
        return Failed(e);
    }

    // Written in pieces through a shared handle, the wallpaper can change
    // while it is copied: such a copy mixes two pictures, or holds half of
    // one. It is dropped, and the caller captures again once the file has
    // been quiet for a while.
    const TFileState after = FileStateOf(wallpaperFile);
    if (!haveWallpaper || after != before || FileStateOf(marker).Size != before.Size) {
        RemoveWritten(marker);
        return Outcome(coChanged);
    }

    // The picture is copied from the marker, not from the browser's file,
    // which may have changed again since its time was taken.
    DWORD error;
    AnsiString picture;
    if (unsigned number = FirstFreeNumber(saveDir, prefix, error))
        error = CopyToFreeNumber(marker, saveDir, prefix, number, picture);
    if (error != ERROR_SUCCESS) {
        // The marker already says this picture is saved; left in place it
        // would have the next capture pass the picture over for good.
        RemoveWritten(marker);
        return Failed(error);
    }

    SetFileAttributesA(marker.c_str(), FILE_ATTRIBUTE_HIDDEN);
    if (beep)
        CaptureBeep(0);
    TCaptureResult r;
    r.Outcome = coSaved;
    r.SavedFile = picture;
    return r;
}

}  // namespace Velmora
