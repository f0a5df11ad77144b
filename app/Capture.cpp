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

// The types a picture is saved as, by the extension of its name. The
// browser's bitmap is always the first.
constexpr const char* Extensions[] = {".BMP", ".JPG", ".PNG", ".GIF"};
constexpr const wchar_t* WideExtensions[] = {L".BMP", L".JPG", L".PNG", L".GIF"};
constexpr std::size_t ExtensionLength = 4;

// Reads and compares in pieces of this size: a picture is never held in
// memory whole.
constexpr DWORD Piece = 64 * 1024;

// A handle closed when it goes out of scope.
class TFile {
public:
    explicit TFile(HANDLE handle = INVALID_HANDLE_VALUE) : FHandle(handle) {}
    ~TFile() { Close(); }
    TFile(const TFile&) = delete;
    TFile& operator=(const TFile&) = delete;
    HANDLE Handle() const { return FHandle; }
    bool Valid() const { return FHandle != INVALID_HANDLE_VALUE; }
    void Close() { Reset(INVALID_HANDLE_VALUE); }
    // Keeps the error of the call that made handle.
    void Reset(HANDLE handle) {
        if (Valid())
            CloseHandle(FHandle);
        FHandle = handle;
    }

private:
    HANDLE FHandle;
};

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

    // The number n >= 1 for which the name is exactly Prefix + "%03d" + one of
    // the picture extensions (its index in extension), or 0. "WALL0001.BMP"
    // and "WALL01.BMP" are not the names of number 1.
    unsigned NumberOf(const wchar_t* name, std::size_t length, int& extension) const {
        if (length < FLeading.size() + 3 + ExtensionLength || !SameName(name, FLeading.data(), FLeading.size()))
            return 0;
        extension = -1;
        for (int i = 0; i < static_cast<int>(std::size(WideExtensions)); ++i)
            if (SameName(name + length - ExtensionLength, WideExtensions[i], ExtensionLength))
                extension = i;
        if (extension < 0)
            return 0;
        const std::size_t first = FLeading.size(), digits = length - ExtensionLength - first;
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
    unsigned NumberOf(const char* name, int& extension) const {
        const std::wstring w = Wide(name, static_cast<int>(std::strlen(name)));
        return NumberOf(w.data(), w.size(), extension);
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

// A numbered name of the folder: the number it takes and, for a file found
// under its long name, its extension and size, so that a picture of the same
// size can be read again without another look at the folder.
struct TListed {
    unsigned Number = 0;
    int Extension = -1;  // index in Extensions; -1: a folder, or a short name
    unsigned long long Size = 0;
};

// Collects the numbers the names of folder take, long and short names alike.
// The names come as the file system keeps them, in UTF-16, and are compared
// as they come: FindFirstFileA would turn each into ANSI only for it to be
// widened back here, which for thousands of names added more than half the
// listing's own time. False when the folder cannot be listed this way (no
// such entry point, a folder that does not open as one, an error part-way):
// the caller then lists with FindFirstFileA, whose errors are the ones to
// report.
bool ListNumbers(const AnsiString& folder, const TNumberedNames& names, std::vector<TListed>& taken) {
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
            int extension;
            if (unsigned n = names.NumberOf(e->FileName, e->FileNameLength / sizeof(wchar_t), extension)) {
                const bool folder = e->FileAttributes & FILE_ATTRIBUTE_DIRECTORY;
                taken.push_back({n, folder ? -1 : extension, static_cast<unsigned long long>(e->EndOfFile.QuadPart)});
            }
            const std::size_t shortLength = static_cast<unsigned char>(e->ShortNameLength) / sizeof(wchar_t);
            if (unsigned n = names.NumberOf(e->ShortName, shortLength, extension))
                taken.push_back({n});
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
                       unsigned number, const char* extension, AnsiString& picture) {
    // Names appear between the listing and the copy only when someone else
    // writes into the folder at that very moment; this bounds the chase.
    constexpr unsigned MaxTries = 1000;
    for (unsigned tries = 0; tries < MaxTries; ++tries, ++number) {
        picture = NumberedFileName(saveDir, prefix, number, extension);
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

TFileState StateOf(BOOL found, const WIN32_FILE_ATTRIBUTE_DATA& data) {
    TFileState state;
    if (!found)
        return state;
    state.Exists = true;
    state.Size = (static_cast<unsigned long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    state.LastWrite = static_cast<long long>((static_cast<std::uint64_t>(data.ftLastWriteTime.dwHighDateTime) << 32) |
                                             data.ftLastWriteTime.dwLowDateTime);
    return state;
}

// The numbered names of the save folder for prefix, from one listing; false
// with the system's error when the folder cannot be listed.
bool ListPictures(const AnsiString& saveDir, const AnsiString& prefix, std::vector<TListed>& taken, DWORD& error) {
    error = ERROR_SUCCESS;
    const TNumberedNames names(prefix);
    if (ListNumbers(names.Folder(saveDir, prefix), names, taken))
        return true;
    taken.clear();
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((saveDir + "\\" + prefix + "*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) {
        error = GetLastError();
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_NO_MORE_FILES)
            error = ERROR_SUCCESS;
        return error == ERROR_SUCCESS;
    }
    do {
        // Short names too, as above.
        int extension;
        if (unsigned n = names.NumberOf(found.cFileName, extension)) {
            const bool folder = found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY;
            taken.push_back({n, folder ? -1 : extension,
                             (static_cast<unsigned long long>(found.nFileSizeHigh) << 32) | found.nFileSizeLow});
        }
        if (unsigned n = names.NumberOf(found.cAlternateFileName, extension))
            taken.push_back({n});
    } while (FindNextFileA(search, &found));
    error = GetLastError();
    FindClose(search);
    if (error == ERROR_NO_MORE_FILES)
        error = ERROR_SUCCESS;
    return error == ERROR_SUCCESS;
}

unsigned FreeNumber(const std::vector<TListed>& taken) {
    // k names take at most k numbers, so one of 1 .. k + 1 is free.
    std::vector<bool> used(taken.size() + 2, false);
    for (const TListed& t : taken)
        if (t.Number < used.size())
            used[t.Number] = true;
    unsigned n = 1;
    while (used[n])
        ++n;
    return n;
}

HANDLE OpenToRead(const AnsiString& fileName) {
    return CreateFileA(fileName.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
}

// Whether two open files hold the same bytes, read from their starts.
bool SameBytes(HANDLE a, HANDLE b) {
    const LARGE_INTEGER start{};
    if (!SetFilePointerEx(a, start, nullptr, FILE_BEGIN) || !SetFilePointerEx(b, start, nullptr, FILE_BEGIN))
        return false;
    std::vector<char> x(Piece), y(Piece);
    for (;;) {
        DWORD nx = 0, ny = 0;
        if (!ReadFile(a, x.data(), Piece, &nx, nullptr) || !ReadFile(b, y.data(), Piece, &ny, nullptr) || nx != ny ||
            std::memcmp(x.data(), y.data(), nx) != 0)
            return false;
        if (nx == 0)
            return true;
    }
}

// The numbered picture of the listing that holds the marker's bytes, or
// empty. Only pictures of the marker's size are opened.
AnsiString PictureLike(const AnsiString& marker, const AnsiString& saveDir, const AnsiString& prefix,
                       const std::vector<TListed>& taken) {
    TFile kept(OpenToRead(marker));
    LARGE_INTEGER size;
    if (!kept.Valid() || !GetFileSizeEx(kept.Handle(), &size))
        return AnsiString();
    for (const TListed& t : taken) {
        if (t.Extension < 0 || t.Size != static_cast<unsigned long long>(size.QuadPart))
            continue;
        // The name as this prefix spells it: the file system finds the one
        // listed whatever its case.
        const AnsiString name = NumberedFileName(saveDir, prefix, t.Number, Extensions[t.Extension]);
        TFile other(OpenToRead(name));
        if (other.Valid() && SameBytes(kept.Handle(), other.Handle()))
            return name;
    }
    return AnsiString();
}

// The marker holds a picture not kept yet: it becomes the first free
// numbered picture, under extension, unless noDuplicates finds its bytes in
// the folder already. The picture is copied from the marker, not from its
// source, which may have changed again since its time was taken.
TCaptureResult KeepMarker(const AnsiString& marker, const AnsiString& saveDir, const AnsiString& prefix,
                          const char* extension, bool beep, bool noDuplicates) {
    std::vector<TListed> taken;
    DWORD error;
    AnsiString picture;
    if (ListPictures(saveDir, prefix, taken, error)) {
        if (noDuplicates) {
            if (AnsiString same = PictureLike(marker, saveDir, prefix, taken); !same.empty()) {
                // Recorded as seen, so that it is not compared again.
                SetFileAttributesA(marker.c_str(), FILE_ATTRIBUTE_HIDDEN);
                TCaptureResult r;
                r.Outcome = coDuplicate;
                r.SavedFile = same;
                return r;
            }
        }
        error = CopyToFreeNumber(marker, saveDir, prefix, FreeNumber(taken), extension, picture);
    }
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

// A desktop picture is read as the browser's bitmap is: letting others
// read, and no one write. A writer that holds the file makes the open fail
// with a sharing violation; while this handle is open no writer gets in.
HANDLE OpenPicture(const std::wstring& fileName) {
    return CreateFileW(fileName.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                       FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
}

bool SamePath(const std::wstring& a, const AnsiString& b) {
    const std::wstring w = Wide(b.data(), static_cast<int>(b.size()));
    return !a.empty() && a.size() == w.size() && SameName(a.data(), w.data(), a.size());
}

// Copies an open picture onto the marker, whole, with the given last-write
// time. ERROR_SUCCESS; ERROR_READ_FAULT when the picture could not be read to
// its end; or the system's error of the marker's writing. A marker left
// half-written is removed.
DWORD CopyOntoMarker(HANDLE picture, unsigned long long size, const AnsiString& marker, std::int64_t time) {
    // A hidden file cannot be replaced.
    SetFileAttributesA(marker.c_str(), FILE_ATTRIBUTE_NORMAL);
    TFile out(CreateFileA(marker.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!out.Valid())
        return GetLastError();
    DWORD error = ERROR_SUCCESS;
    const LARGE_INTEGER start{};
    std::vector<char> buffer(Piece);
    unsigned long long copied = 0;
    if (!SetFilePointerEx(picture, start, nullptr, FILE_BEGIN))
        error = ERROR_READ_FAULT;
    while (error == ERROR_SUCCESS) {
        DWORD read = 0, written = 0;
        if (!ReadFile(picture, buffer.data(), Piece, &read, nullptr)) {
            error = ERROR_READ_FAULT;
        } else if (read == 0) {
            break;
        } else if (!WriteFile(out.Handle(), buffer.data(), read, &written, nullptr) || written != read) {
            error = GetLastError();
            if (error == ERROR_SUCCESS)
                error = ERROR_WRITE_FAULT;
        }
        copied += read;
    }
    if (error == ERROR_SUCCESS && copied != size)
        error = ERROR_READ_FAULT;
    const FILETIME t = {static_cast<DWORD>(time), static_cast<DWORD>(static_cast<std::uint64_t>(time) >> 32)};
    if (error == ERROR_SUCCESS && !SetFileTime(out.Handle(), nullptr, nullptr, &t))
        error = GetLastError();
    out.Close();
    if (error != ERROR_SUCCESS)
        RemoveWritten(marker);
    return error;
}

}  // namespace

TFileState FileStateOf(const AnsiString& fileName) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    return StateOf(GetFileAttributesExA(fileName.c_str(), GetFileExInfoStandard, &data), data);
}

TFileState FileStateOf(const std::wstring& fileName) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    return StateOf(GetFileAttributesExW(fileName.c_str(), GetFileExInfoStandard, &data), data);
}

AnsiString MarkerFileName(const AnsiString& saveDir, const AnsiString& prefix) {
    return saveDir + "\\" + prefix + "000.TMP";
}

AnsiString NumberedFileName(const AnsiString& saveDir, const AnsiString& prefix, unsigned number,
                            const char* extension) {
    char name[MAX_PATH];
    int length =
        std::snprintf(name, sizeof name, "%s\\%s%03u%s", saveDir.c_str(), prefix.c_str(), number, extension);
    if (length < 0 || length >= static_cast<int>(sizeof name))
        return AnsiString();
    return AnsiString(name, static_cast<std::size_t>(length));
}

unsigned FirstFreeNumber(const AnsiString& saveDir, const AnsiString& prefix, DWORD& error) {
    std::vector<TListed> taken;
    return ListPictures(saveDir, prefix, taken, error) ? FreeNumber(taken) : 0;
}

const char* PictureExtension(const void* head, std::size_t length) {
    const auto* b = static_cast<const unsigned char*>(head);
    auto starts = [&](const char* magic, std::size_t n) { return length >= n && std::memcmp(b, magic, n) == 0; };
    if (starts("BM", 2))
        return Extensions[0];
    if (starts("\xFF\xD8\xFF", 3))
        return Extensions[1];
    if (starts("\x89PNG\r\n\x1A\n", 8))
        return Extensions[2];
    if (starts("GIF87a", 6) || starts("GIF89a", 6))
        return Extensions[3];
    return nullptr;
}

TCaptureResult CaptureWallpaper(const AnsiString& wallpaperFile, const AnsiString& saveDir,
                                const AnsiString& prefix, bool beep, bool noDuplicates) {
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

    return KeepMarker(marker, saveDir, prefix, Extensions[0], beep, noDuplicates);
}

TCaptureResult CaptureDesktopWallpaper(const TDesktopPicture& desktop, const AnsiString& browserWallpaper,
                                       const AnsiString& saveDir, const AnsiString& prefix, bool beep,
                                       bool noDuplicates) {
    const AnsiString marker = MarkerFileName(saveDir, prefix);
    if (marker.size() >= MAX_PATH)
        return Failed(ERROR_FILENAME_EXCED_RANGE);
    // A solid colour: the system's copy, if any, is of a picture before it.
    if (desktop.Reported.empty())
        return Outcome(coNoWallpaper);

    // The reported file may be a browser's temporary file, or lie on a drive
    // that is gone: the system's copy stands in for it then.
    std::wstring from = desktop.Reported;
    TFile picture(OpenPicture(from));
    if (!picture.Valid() && GetLastError() != ERROR_SHARING_VIOLATION && !desktop.SystemCopy.empty()) {
        from = desktop.SystemCopy;
        picture.Reset(OpenPicture(from));
    }
    if (!picture.Valid())
        return Outcome(GetLastError() == ERROR_SHARING_VIOLATION ? coBusy : coNoWallpaper);

    TFileState state;
    unsigned char head[16];
    DWORD headLength = 0;
    if (!ReadState(picture.Handle(), state) || !ReadFile(picture.Handle(), head, sizeof head, &headLength, nullptr))
        return Outcome(coNoWallpaper);
    TCaptureResult r;
    r.SourceFile = from;
    const char* extension = PictureExtension(head, headLength);
    if (!extension) {
        r.Outcome = coNotPicture;
        return r;
    }

    // The picture kept last, by this source or the browser's, is not kept
    // again: one picture reported twice, or the browser's bitmap that the
    // browser then sets as the wallpaper.
    std::int64_t markerTime = 0;
    bool haveMarkerTime = false;
    {
        TFile saved(OpenToRead(marker));
        LARGE_INTEGER savedSize;
        haveMarkerTime = ReadLastWriteTime(saved.Handle(), markerTime);
        if (haveMarkerTime && GetFileSizeEx(saved.Handle(), &savedSize) &&
            static_cast<unsigned long long>(savedSize.QuadPart) == state.Size &&
            SameBytes(picture.Handle(), saved.Handle())) {
            // The browser's capture leaves the marker visible whenever it
            // finds no bitmap of the browser's, which on a system without
            // the browser is every time; the marker is hidden between
            // captures.
            const DWORD attributes = GetFileAttributesA(marker.c_str());
            if (attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_HIDDEN))
                SetFileAttributesA(marker.c_str(), FILE_ATTRIBUTE_HIDDEN);
            return Outcome(coUnchanged);
        }
    }

    // The marker's time is the browser capture's record of its bitmap: a
    // new time would make the browser's bitmap, unchanged, count as new.
    const bool browsers = from == desktop.Reported && SamePath(from, browserWallpaper);
    const DWORD error =
        CopyOntoMarker(picture.Handle(), state.Size, marker, browsers || !haveMarkerTime ? state.LastWrite : markerTime);
    picture.Close();
    if (error == ERROR_READ_FAULT)
        return Outcome(coChanged);  // cut short under the handle (a file on a drive removed meanwhile)
    // Another program reads the marker at this very moment (a virus scanner,
    // a thumbnail maker): shortly it will not.
    if (error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION)
        return Outcome(coBusy);
    if (error != ERROR_SUCCESS)
        return Failed(error);

    TCaptureResult kept = KeepMarker(marker, saveDir, prefix, extension, beep, noDuplicates);
    kept.SourceFile = from;
    return kept;
}

}  // namespace Velmora
