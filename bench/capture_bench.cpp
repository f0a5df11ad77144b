// Cost of one capture of a 6 MB wallpaper: into an empty folder, and into a
// folder that already holds 10,000 numbered pictures. Finding the free
// number is one listing of the folder, so the second may cost at most twice
// the first; a look-up per taken number, shown for scale, would not keep to
// that.
//
// The capture's file-system steps are then timed one by one in both
// folders, to show what the big folder adds and what of it the file system
// itself asks: under Wine every look-up of a name no file bears, and so every
// creation of a new file, reads the whole folder, and a listing looks up
// each name it returns.
#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <vector>

#include "app/Capture.h"

using namespace Velmora;
using Fw::Format;

namespace {

constexpr std::int64_t WallpaperTime = 133'485'408'000'000'000;

double Now() {
    LARGE_INTEGER c, f;
    QueryPerformanceCounter(&c);
    QueryPerformanceFrequency(&f);
    return double(c.QuadPart) / double(f.QuadPart);
}

void WriteFileAt(const AnsiString& name, const void* data, DWORD size, std::int64_t time) {
    HANDLE f = CreateFileA(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (f == INVALID_HANDLE_VALUE) {
        std::fprintf(stderr, "cannot write %s (%lu)\n", name.c_str(), GetLastError());
        ExitProcess(1);
    }
    DWORD written;
    WriteFile(f, data, size, &written, nullptr);
    FILETIME t = {static_cast<DWORD>(time), static_cast<DWORD>(static_cast<std::uint64_t>(time) >> 32)};
    SetFileTime(f, nullptr, nullptr, &t);
    CloseHandle(f);
}

// A 2048 x 1024 picture of 24 bits: 6 MB of pixels behind the headers.
std::vector<char> Bitmap() {
    const int width = 2048, height = 1024, row = width * 3;
    BITMAPFILEHEADER file = {};
    BITMAPINFOHEADER info = {};
    std::vector<char> data(sizeof file + sizeof info + std::size_t(row) * height);
    file.bfType = 0x4D42;
    file.bfSize = static_cast<DWORD>(data.size());
    file.bfOffBits = sizeof file + sizeof info;
    info.biSize = sizeof info;
    info.biWidth = width;
    info.biHeight = height;
    info.biPlanes = 1;
    info.biBitCount = 24;
    std::copy_n(reinterpret_cast<char*>(&file), sizeof file, data.begin());
    std::copy_n(reinterpret_cast<char*>(&info), sizeof info, data.begin() + sizeof file);
    for (std::size_t i = file.bfOffBits; i < data.size(); ++i)
        data[i] = static_cast<char>(i * 7 / 3);
    return data;
}

void RemoveTree(const AnsiString& dir) {
    WIN32_FIND_DATAA f;
    HANDLE h = FindFirstFileA((dir + "\\*").c_str(), &f);
    if (h != INVALID_HANDLE_VALUE) {
        do {
            AnsiString n = f.cFileName;
            if (n == "." || n == "..")
                continue;
            AnsiString path = dir + "\\" + n;
            SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
            if (f.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                RemoveTree(path);
            else
                DeleteFileA(path.c_str());
        } while (FindNextFileA(h, &f));
        FindClose(h);
    }
    RemoveDirectoryA(dir.c_str());
}

// Median seconds of one capture, each run saving the wallpaper anew: the
// marker and the new picture go before the next run. With keepMarker the
// marker stays, as it does between the captures of a folder after its
// first, and the wallpaper is made newer before each run instead.
double TimeCapture(const AnsiString& wallpaper, const AnsiString& dir, const AnsiString& expected,
                   bool keepMarker = false) {
    const AnsiString marker = MarkerFileName(dir, "WALL");
    if (keepMarker) {
        TCaptureResult r = CaptureWallpaper(wallpaper, dir, "WALL", false);
        DeleteFileA(r.SavedFile.c_str());
    }
    std::vector<double> runs;
    for (int i = 0; i < 7; ++i) {
        if (keepMarker) {
            static int newer;
            const std::int64_t time = WallpaperTime + ++newer * 100'000'000LL;  // 10 s apart
            FILETIME t = {static_cast<DWORD>(time), static_cast<DWORD>(static_cast<std::uint64_t>(time) >> 32)};
            HANDLE f = CreateFileA(wallpaper.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                   0, nullptr);
            SetFileTime(f, nullptr, nullptr, &t);
            CloseHandle(f);
        }
        double start = Now();
        TCaptureResult r = CaptureWallpaper(wallpaper, dir, "WALL", false);
        double took = Now() - start;
        if (r.Outcome != coSaved || r.SavedFile != expected) {
            std::fprintf(stderr, "capture into %s: outcome %d, %s, error %lu\n", dir.c_str(), r.Outcome,
                         r.SavedFile.c_str(), r.ErrorCode);
            ExitProcess(1);
        }
        runs.push_back(took);
        DeleteFileA(r.SavedFile.c_str());
        if (!keepMarker) {
            SetFileAttributesA(marker.c_str(), FILE_ATTRIBUTE_NORMAL);
            DeleteFileA(marker.c_str());
        }
    }
    SetFileAttributesA(marker.c_str(), FILE_ATTRIBUTE_NORMAL);
    DeleteFileA(marker.c_str());
    std::sort(runs.begin(), runs.end());
    return runs[runs.size() / 2];
}

struct TSteps {
    double openMissing, copyToMarker, listing, copyToPicture, hide, newFile;
    unsigned number;
    double Sum() const { return openMissing + copyToMarker + listing + copyToPicture + hide; }
};

double Median(std::vector<double>& v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// The Win32 calls a first capture into dir makes, in its order, each timed
// on its own; the medians of several runs.
TSteps TimeSteps(const AnsiString& wallpaper, const AnsiString& dir) {
    const AnsiString marker = MarkerFileName(dir, "WALL"), spare = dir + "\\new.tmp";
    std::vector<double> open, toMarker, listing, toPicture, hide, newFile;
    TSteps s = {};
    for (int i = 0; i < 7; ++i) {
        double start = Now();
        HANDLE h = CreateFileA(marker.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                               FILE_ATTRIBUTE_ARCHIVE, nullptr);
        open.push_back(Now() - start);
        if (h != INVALID_HANDLE_VALUE)
            CloseHandle(h);
        start = Now();
        CopyFileA(wallpaper.c_str(), marker.c_str(), TRUE);
        toMarker.push_back(Now() - start);
        DWORD error;
        start = Now();
        s.number = FirstFreeNumber(dir, "WALL", error);
        listing.push_back(Now() - start);
        const AnsiString picture = NumberedFileName(dir, "WALL", s.number);
        start = Now();
        CopyFileA(marker.c_str(), picture.c_str(), TRUE);
        toPicture.push_back(Now() - start);
        start = Now();
        SetFileAttributesA(marker.c_str(), FILE_ATTRIBUTE_HIDDEN);
        hide.push_back(Now() - start);
        start = Now();
        h = CreateFileA(spare.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
        newFile.push_back(Now() - start);
        CloseHandle(h);

        DeleteFileA(spare.c_str());
        DeleteFileA(picture.c_str());
        SetFileAttributesA(marker.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileA(marker.c_str());
    }
    s.openMissing = Median(open);
    s.copyToMarker = Median(toMarker);
    s.listing = Median(listing);
    s.copyToPicture = Median(toPicture);
    s.hide = Median(hide);
    s.newFile = Median(newFile);
    return s;
}

}  // namespace

int main() {
    char temp[MAX_PATH];
    GetTempPathA(sizeof temp, temp);
    const AnsiString root = Format("%svelmora-capture-bench-%lu", temp, GetCurrentProcessId());
    const AnsiString empty = root + "\\empty", full = root + "\\full", wallpaper = root + "\\wallpaper.bmp";
    CreateDirectoryA(root.c_str(), nullptr);
    CreateDirectoryA(empty.c_str(), nullptr);
    CreateDirectoryA(full.c_str(), nullptr);

    const std::vector<char> bitmap = Bitmap();
    WriteFileAt(wallpaper, bitmap.data(), static_cast<DWORD>(bitmap.size()), WallpaperTime);
    const int pictures = 10000;
    double start = Now();
    for (int n = 1; n <= pictures; ++n)
        WriteFileAt(Format("%s\\WALL%03d.BMP", full.c_str(), n), "BM", 2, WallpaperTime);
    double made = Now() - start;

    double first = TimeCapture(wallpaper, empty, empty + "\\WALL001.BMP");
    double second = TimeCapture(wallpaper, full, Format("%s\\WALL%d.BMP", full.c_str(), pictures + 1));
    double firstKept = TimeCapture(wallpaper, empty, empty + "\\WALL001.BMP", true);
    double secondKept = TimeCapture(wallpaper, full, Format("%s\\WALL%d.BMP", full.c_str(), pictures + 1), true);

    // For scale: a search per candidate name, up to the first that finds nothing.
    start = Now();
    unsigned probed = 1;
    for (;; ++probed) {
        WIN32_FIND_DATAA f;
        HANDLE h = FindFirstFileA(NumberedFileName(full, "WALL", probed).c_str(), &f);
        if (h == INVALID_HANDLE_VALUE)
            break;
        FindClose(h);
    }
    double probing = Now() - start;

    const TSteps inEmpty = TimeSteps(wallpaper, empty), inFull = TimeSteps(wallpaper, full);

    std::printf("wallpaper of %zu bytes; %d pictures made in %.2f s\n", bitmap.size(), pictures, made);
    std::printf("capture into an empty folder:           %8.2f ms\n", first * 1e3);
    std::printf("capture into a folder of %d pictures: %8.2f ms\n", pictures, second * 1e3);
    std::printf("ratio:                                  %8.2f (at most 2)\n", second / first);
    std::printf("the same with the marker kept between captures: %.2f ms and %.2f ms, ratio %.2f\n",
                firstKept * 1e3, secondKept * 1e3, secondKept / firstKept);
    std::printf("first free number %u by one listing:  %8.2f ms\n", inFull.number, inFull.listing * 1e3);
    std::printf("the same (%u) by a search per number: %8.2f ms\n", probed, probing * 1e3);
    std::printf("the capture's steps, one by one (median ms):   empty    %d pictures\n", pictures);
    auto row = [](const char* step, double a, double b) { std::printf("  %-44s %8.2f %8.2f\n", step, a * 1e3, b * 1e3); };
    row("open the marker, not there yet", inEmpty.openMissing, inFull.openMissing);
    row("copy the wallpaper to the new marker", inEmpty.copyToMarker, inFull.copyToMarker);
    row("list the folder for the first free number", inEmpty.listing, inFull.listing);
    row("copy the marker to the new picture", inEmpty.copyToPicture, inFull.copyToPicture);
    row("hide the marker", inEmpty.hide, inFull.hide);
    row("sum of the steps", inEmpty.Sum(), inFull.Sum());
    row("an empty new file alone, for comparison", inEmpty.newFile, inFull.newFile);

    RemoveTree(root);
    return 0;
}
