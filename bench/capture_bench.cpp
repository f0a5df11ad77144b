// Cost of one capture of a 6 MB wallpaper: into an empty folder, and into a
// folder that already holds 10,000 numbered pictures. Finding the free
// number is one listing of the folder, so the second may cost at most twice
// the first; a look-up per taken number, shown for scale, would not keep to
// that.
#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <vector>

#include "app/Capture.h"

using namespace Velmora;
using Fw::Format;

namespace {

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
// marker and the new picture go before the next run.
double TimeCapture(const AnsiString& wallpaper, const AnsiString& dir, const AnsiString& expected) {
    std::vector<double> runs;
    for (int i = 0; i < 7; ++i) {
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
        SetFileAttributesA(MarkerFileName(dir, "WALL").c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileA(MarkerFileName(dir, "WALL").c_str());
    }
    std::sort(runs.begin(), runs.end());
    return runs[runs.size() / 2];
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
    WriteFileAt(wallpaper, bitmap.data(), static_cast<DWORD>(bitmap.size()), 133'485'408'000'000'000);
    const int pictures = 10000;
    double start = Now();
    for (int n = 1; n <= pictures; ++n)
        WriteFileAt(Format("%s\\WALL%03d.BMP", full.c_str(), n), "BM", 2, 133'485'408'000'000'000);
    double made = Now() - start;

    double first = TimeCapture(wallpaper, empty, empty + "\\WALL001.BMP");
    double second = TimeCapture(wallpaper, full, Format("%s\\WALL%d.BMP", full.c_str(), pictures + 1));

    start = Now();
    DWORD error;
    unsigned number = FirstFreeNumber(full, "WALL", error);
    double scan = Now() - start;
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

    // What the file system alone asks for a new name in each folder: the
    // capture makes two (the marker and the picture).
    auto newFile = [](const AnsiString& dir) {
        const AnsiString name = dir + "\\new.tmp";
        double begin = Now();
        HANDLE f = CreateFileA(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
        double took = Now() - begin;
        CloseHandle(f);
        DeleteFileA(name.c_str());
        return took;
    };
    double newInEmpty = newFile(empty), newInFull = newFile(full);

    std::printf("wallpaper of %zu bytes; %d pictures made in %.2f s\n", bitmap.size(), pictures, made);
    std::printf("capture into an empty folder:           %8.2f ms\n", first * 1e3);
    std::printf("capture into a folder of %d pictures: %8.2f ms\n", pictures, second * 1e3);
    std::printf("ratio:                                  %8.2f (at most 2)\n", second / first);
    std::printf("first free number %u by one listing:  %8.2f ms\n", number, scan * 1e3);
    std::printf("the same (%u) by a search per number: %8.2f ms\n", probed, probing * 1e3);
    std::printf("a new empty file in the empty folder:   %8.2f ms\n", newInEmpty * 1e3);
    std::printf("a new empty file among the pictures:    %8.2f ms\n", newInFull * 1e3);

    RemoveTree(root);
    return 0;
}
