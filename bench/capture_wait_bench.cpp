// How long a wallpaper waits to be saved now that the capture waits for it
// to be whole.
//
// 1. velmora.exe, resident, with a browser that holds its file open after
//    the last write (closing the file signals no change, so the tool finds
//    it by trying again every 100 ms): from the writer's close to the saved
//    picture. And, for comparison, a browser that closes at once: from its
//    close to the saved picture, which waits for the 200 ms settle time.
// 2. In this process, the same path observer and capture with and without
//    the scheduler in between: from an in-place write (closed at once) to
//    the saved picture. The difference of the medians is the delay the
//    settle time adds to a normal capture.
//
// Pictures of 512 x 512 pixels, 24 bits (768 KB), written in place. The
// registry key's values are put back as they were afterwards; the folders
// are temporary ones.
#include <windows.h>
#include <shlobj.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "app/Capture.h"
#include "app/CaptureScheduler.h"
#include "bench/velmora_bench.h"
#include "framework/Thread.h"
#include "kit/Threads.h"

namespace {

using namespace VelmoraBench;

using Velmora::AnsiString;

const char WallpaperName[] = "Internet Explorer 壁紙.bmp";
constexpr DWORD Patience = 30000;
constexpr int Rounds = 10;
constexpr int InProcessRounds = 20;
// The writer keeps its handle this long after the last write, plus a part
// of the retry time that changes from round to round: closes land anywhere
// between two tries.
constexpr DWORD HeldFor = 300;  // ms

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

double Worst(const std::vector<double>& v) { return v.empty() ? 0 : *std::max_element(v.begin(), v.end()); }

std::string TempFolder(const char* name) {
    char temp[MAX_PATH];
    GetTempPathA(sizeof temp, temp);
    std::string dir = std::string(temp) + name + "-" + std::to_string(GetCurrentProcessId());
    CreateDirectoryA(dir.c_str(), nullptr);
    return dir;
}

void RemoveFolder(const std::string& dir) {
    WIN32_FIND_DATAA f;
    HANDLE h = FindFirstFileA((dir + "\\*").c_str(), &f);
    if (h != INVALID_HANDLE_VALUE) {
        do {
            std::string path = dir + "\\" + f.cFileName;
            SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
            DeleteFileA(path.c_str());
        } while (FindNextFileA(h, &f));
        FindClose(h);
    }
    RemoveDirectoryA(dir.c_str());
}

// A picture of one colour, 768 KB.
std::string Picture(int n) {
    const int side = 512;
    BITMAPFILEHEADER file{};
    BITMAPINFOHEADER info{};
    const DWORD pixels = side * side * 3;
    file.bfType = 0x4D42;
    file.bfOffBits = sizeof file + sizeof info;
    file.bfSize = file.bfOffBits + pixels;
    info.biSize = sizeof info;
    info.biWidth = info.biHeight = side;
    info.biPlanes = 1;
    info.biBitCount = 24;
    std::string bytes(reinterpret_cast<const char*>(&file), sizeof file);
    bytes.append(reinterpret_cast<const char*>(&info), sizeof info);
    bytes.append(pixels, static_cast<char>(n * 37 + 1));
    return bytes;
}

// Written in place, as the browser does; the handle is held for holdFor ms
// after the last write. Returns the moment of the close.
double WriteInPlace(const std::string& file, const std::string& bytes, DWORD holdFor) {
    HANDLE h = INVALID_HANDLE_VALUE;
    for (int tries = 0; tries < 1000 && h == INVALID_HANDLE_VALUE; ++tries) {
        h = CreateFileA(file.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                        nullptr);
        if (h == INVALID_HANDLE_VALUE && GetLastError() == ERROR_SHARING_VIOLATION) Sleep(1);  // the capture has it
    }
    if (h == INVALID_HANDLE_VALUE) Fail("cannot write " + file);
    DWORD written = 0;
    if (!WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) || written != bytes.size())
        Fail("cannot write " + file);
    if (holdFor) Sleep(holdFor);  // the browser's pace, not a wait for the tool
    CloseHandle(h);
    return Now();
}

bool Exists(const std::string& name) { return GetFileAttributesA(name.c_str()) != INVALID_FILE_ATTRIBUTES; }

bool Hidden(const std::string& name) {
    DWORD a = GetFileAttributesA(name.c_str());
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_HIDDEN);
}

// Waits on the folder's change notification until ready(); returns the
// moment it held.
double WaitInFolder(const std::string& folder, const std::function<bool()>& ready) {
    HANDLE change = FindFirstChangeNotificationA(folder.c_str(), FALSE,
                                                 FILE_NOTIFY_CHANGE_FILE_NAME | FILE_NOTIFY_CHANGE_ATTRIBUTES |
                                                     FILE_NOTIFY_CHANGE_SIZE | FILE_NOTIFY_CHANGE_LAST_WRITE);
    if (change == INVALID_HANDLE_VALUE) Fail("cannot watch " + folder);
    const DWORD start = GetTickCount();
    while (!ready()) {
        if (GetTickCount() - start > Patience || WaitForSingleObject(change, Patience) != WAIT_OBJECT_0)
            Fail("no picture in " + folder);
        FindNextChangeNotification(change);
    }
    const double at = Now();
    FindCloseChangeNotification(change);
    return at;
}

// ---- 1. velmora.exe ----

// Pumps messages until ready(), at least every 20 ms (Wine reports no
// window being shown or hidden, so there is nothing better to wait on).
void WaitWindows(HANDLE process, const std::function<bool()>& ready, const char* what) {
    const DWORD start = GetTickCount();
    while (!ready()) {
        if (GetTickCount() - start > Patience || WaitForSingleObject(process, 0) == WAIT_OBJECT_0) Fail(what);
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
    }
}

void MeasureTheTool(std::vector<double>& afterHeld, std::vector<double>& afterClosed) {
    const std::string program = ProgramPath();
    if (!Exists(program)) Fail(program + " is missing");
    const std::string browser = SpecialFolder(CSIDL_APPDATA) + "\\Microsoft\\Internet Explorer";
    CreateDirectoryA((SpecialFolder(CSIDL_APPDATA) + "\\Microsoft").c_str(), nullptr);
    CreateDirectoryA(browser.c_str(), nullptr);
    const std::string wallpaper = browser + "\\" + WallpaperName;
    const std::string saveDir = TempFolder("velmora-capture-wait-bench");
    const TSavedKey saved = SaveKey();
    PutSettings(saveDir);
    DeleteFileA(wallpaper.c_str());
    WriteInPlace(wallpaper, Picture(0), 0);

    std::string commandLine = "\"" + program + "\"";
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    if (!CreateProcessA(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &info))
        Fail("cannot start " + program);
    CloseHandle(info.hThread);
    const DWORD id = info.dwProcessId;
    HWND form = nullptr;
    WaitWindows(info.hProcess, [&] { return (form = FindOf(id, nullptr, SettingsCaption)) != nullptr; },
                "the tool did not come up");
    int number = 1;
    auto picture = [&](int n) {
        char name[32];
        std::snprintf(name, sizeof name, "\\WALL%03d.BMP", n);
        return saveDir + name;
    };
    WaitInFolder(saveDir, [&] { return Exists(picture(1)) && Hidden(saveDir + "\\WALL000.TMP"); });

    for (int round = 0; round < 2 * Rounds; ++round) {
        const bool held = round % 2 == 0;
        const DWORD hold = held ? HeldFor + static_cast<DWORD>(round / 2) * 37 % 100 : 0;
        const double closed = WriteInPlace(wallpaper, Picture(round + 1), hold);
        const std::string next = picture(++number);
        const double savedAt =
            WaitInFolder(saveDir, [&] { return Exists(next) && Hidden(saveDir + "\\WALL000.TMP"); });
        (held ? afterHeld : afterClosed).push_back(savedAt - closed);
    }

    PostMessageA(form, TrayMessage, TrayIconId, WM_RBUTTONDOWN);
    HWND menu = nullptr;
    WaitWindows(info.hProcess, [&] { return (menu = FindOf(id, "#32768", nullptr)) && IsWindowVisible(menu); },
                "the tray menu did not open");
    PostKeys(menu, {VK_UP, VK_RETURN});
    if (WaitForSingleObject(info.hProcess, Patience) != WAIT_OBJECT_0) Fail("the tool did not end from its menu");
    CloseHandle(info.hProcess);
    RestoreKey(saved);
    DeleteFileA(wallpaper.c_str());
    RemoveFolder(saveDir);
}

// ---- 2. In this process: the scheduler against a capture at once ----

struct TProbe {
    Velmora::TCaptureScheduler* Scheduler = nullptr;  // null: capture at once
    AnsiString Wallpaper, SaveDir;
    double SavedAt = 0;

    Velmora::TCaptureResult Capture() {
        Velmora::TCaptureResult r = Velmora::CaptureWallpaper(Wallpaper, SaveDir, "WALL", false);
        if (r.Outcome == Velmora::coSaved && !SavedAt) SavedAt = Now();
        return r;
    }
    void Notify(Fw::TObject*) {
        if (Scheduler) {
            Scheduler->Changed();
            return;
        }
        // The baseline: copied as soon as the file opens. The writer closes
        // microseconds after its write; the change can come before that.
        while (Capture().Outcome == Velmora::coBusy) {
        }
    }
};

// The main thread's loop: synchronised calls of the observer's worker and
// the scheduler's timer.
void Serve(const std::function<bool()>& done) {
    HANDLE sync = Fw::SyncEvent();
    const DWORD start = GetTickCount();
    while (!done()) {
        if (GetTickCount() - start > Patience) Fail("no capture in this process");
        MsgWaitForMultipleObjects(1, &sync, FALSE, Patience, QS_ALLINPUT);
        Fw::CheckSynchronize();
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
    }
}

std::vector<double> MeasureInProcess(bool scheduled) {
    const std::string browser = TempFolder(scheduled ? "capture-wait-browser-s" : "capture-wait-browser-d");
    const std::string saveDir = TempFolder(scheduled ? "capture-wait-saved-s" : "capture-wait-saved-d");
    Velmora::TCaptureScheduler scheduler;
    TProbe probe;
    probe.Scheduler = scheduled ? &scheduler : nullptr;
    probe.Wallpaper = browser + "\\" + WallpaperName;
    probe.SaveDir = saveDir;
    scheduler.WallpaperFile = probe.Wallpaper;
    scheduler.OnCapture = [&] { return probe.Capture(); };
    WriteInPlace(probe.Wallpaper, Picture(0), 0);
    probe.Capture();

    std::vector<double> latencies;
    {
        Kit::TPathObserver observer(nullptr);
        observer.SetPath(browser);
        observer.SetNotifyState(Kit::TNotifications{Kit::ntLastWrite});
        observer.SetWatchSubTree(false);
        observer.OnNotify = Fw::MakeEvent<&TProbe::Notify>(&probe);
        for (int round = 0; round < InProcessRounds + 2; ++round) {  // the first two warm up
            // A late notification of the write before must not pass for this one's.
            observer.SetActive(false);
            scheduler.Stop();
            while (Fw::CheckSynchronize()) {
            }
            observer.SetActive(true);
            probe.SavedAt = 0;
            const double closed = WriteInPlace(probe.Wallpaper, Picture(round + 1), 0);
            Serve([&] { return probe.SavedAt != 0; });
            if (round >= 2) latencies.push_back(probe.SavedAt - closed);
        }
        observer.SetActive(false);
    }
    scheduler.Stop();
    RemoveFolder(browser);
    RemoveFolder(saveDir);
    return latencies;
}

void Report(const char* what, const std::vector<double>& v) {
    std::printf("  %-58s median %7.1f ms   worst %7.1f ms   (%d pictures)\n", what, Median(v) * 1e3, Worst(v) * 1e3,
                static_cast<int>(v.size()));
}

}  // namespace

int main() {
    if (HANDLE other = OpenMutexA(SYNCHRONIZE, FALSE, "Velmora")) {
        CloseHandle(other);
        Fail("a copy of Velmora already runs here; end it first");
    }
    std::printf("capture of a 768 KB wallpaper written in place (settle %u ms, retry every %u ms):\n",
                Velmora::TCaptureScheduler::DefaultSettleTime, Velmora::TCaptureScheduler::DefaultRetryTime);

    std::vector<double> afterHeld, afterClosed;
    MeasureTheTool(afterHeld, afterClosed);
    std::printf("velmora.exe, resident:\n");
    Report("writer held its file 300-400 ms after its last write: close -> saved", afterHeld);
    Report("writer closed at once: close -> saved", afterClosed);

    const std::vector<double> direct = MeasureInProcess(false), scheduled = MeasureInProcess(true);
    std::printf("path observer and capture in this process:\n");
    Report("captured at once on the change: close -> saved", direct);
    Report("captured through the scheduler: close -> saved", scheduled);
    std::printf("  delay the settle time adds to a normal capture: %.1f ms (difference of the medians)\n",
                (Median(scheduled) - Median(direct)) * 1e3);
    return 0;
}
