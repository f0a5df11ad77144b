// Start-up, idle cost and memory of velmora.exe as the resident tool it is:
// started with its settings in the registry, so that no window shows, and
// ended as a user ends it, through the tray icon's menu.
//
// For each of several starts, times from CreateProcess to:
//   window - the settings window "Velmoraの設定" exists (hidden). It is the
//            first thing the tool makes after its mutex;
//   tray   - the icon is in the notification area. Under Wine on a display
//            without a system tray (Xvfb), the icon goes into Wine's own
//            tray window, which is hidden while it holds no icon: the moment
//            it shows is the moment the shell took the icon. Where that
//            window is missing or already shown, this is not measured;
//   ready  - the start-up is over: a right-button message posted to the
//            tray icon's window as soon as that window exists is handled,
//            that is, its menu window is made. The message is taken only by
//            the message loop, which the tool enters after its creation
//            handler has added the icon, read the settings, run the
//            start-up capture and switched the observer on. This bounds the
//            icon's addition from above on any display. (WaitForInputIdle
//            is no help under Wine: it can return while the creation handler
//            still runs.)
// then, for one resident copy, the CPU time it uses over 10 s of idling
// (GetProcessTimes before and after: it waits on messages and change
// notifications only, so this should be 0 or next to it; Wine counts
// process times in steps of 10 ms) and its memory
// (private bytes, working set) after start and after the idle time; and the
// time from the menu's 終了(&E) to the end of the process.
//
// The registry key's values are put back as they were afterwards; the save
// folder is a temporary one.
#include <windows.h>
#define PSAPI_VERSION 2  // GetProcessMemoryInfo from kernel32: no psapi.dll to link
#include <psapi.h>
#include <shlobj.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "bench/velmora_bench.h"

namespace {

using namespace VelmoraBench;

constexpr DWORD Patience = 30000;
constexpr int Starts = 5;
constexpr DWORD IdleMilliseconds = 10000;

// ---- Windows of the tool ----

void CALLBACK NoteEvent(HWINEVENTHOOK, DWORD, HWND, LONG, LONG, DWORD, DWORD) {}

// Pumps messages until ready() holds; woken by the window events of the
// process (Wine reports window creation, which is all this waits for) and,
// as Wine reports no window being shown or hidden, at least every 20 ms.
bool WaitUntil(HANDLE process, DWORD processId, const std::function<bool()>& ready) {
    if (ready()) return true;
    HWINEVENTHOOK hook = SetWinEventHook(EVENT_MIN, EVENT_MAX, nullptr, NoteEvent, processId, 0,
                                         WINEVENT_OUTOFCONTEXT | WINEVENT_SKIPOWNPROCESS);
    const DWORD start = GetTickCount();
    bool done = false;
    while (!done && GetTickCount() - start < Patience) {
        DWORD woke = MsgWaitForMultipleObjects(1, &process, FALSE, 20, QS_ALLINPUT);
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
        done = ready();
        if (woke == WAIT_OBJECT_0) break;
    }
    if (hook) UnhookWinEvent(hook);
    return done;
}

// ---- Wine's own tray window ----

HWND StandaloneTray() { return FindWindowA("__winex11_standalone_tray", nullptr); }

// Watches, on a thread of its own, for Wine's tray window to show. It has
// nothing to wait on (the window belongs to another process, and Wine
// reports no showing), so it looks every millisecond, until it sees the
// window or is stopped; a start lasts a fraction of a second.
class TTrayWatch {
public:
    explicit TTrayWatch(double started) : FStarted(started) {
        HWND tray = StandaloneTray();
        FUsable = !tray || !IsWindowVisible(tray);
        if (FUsable) FThread = std::thread([this] { Run(); });
    }
    ~TTrayWatch() { Stop(); }
    void Stop() {
        FStop = true;
        if (FThread.joinable()) FThread.join();
    }
    // Seconds from the start, or a negative number when not seen.
    double Seen() const { return FSeen; }

private:
    void Run() {
        while (!FStop) {
            HWND tray = StandaloneTray();
            if (tray && IsWindowVisible(tray)) {
                FSeen = Now() - FStarted;
                return;
            }
            Sleep(1);
        }
    }
    double FStarted;
    bool FUsable = false;
    std::atomic<bool> FStop{false};
    double FSeen = -1;
    std::thread FThread;
};

// ---- One copy of the tool ----

struct TRun {
    PROCESS_INFORMATION Info{};
    HWND Window = nullptr;
    double WindowAt = 0, TrayAt = -1, ReadyAt = 0;
};

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

TRun StartResident() {
    TRun run;
    std::string program = ProgramPath();
    std::string commandLine = "\"" + program + "\"";
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    const double started = Now();
    TTrayWatch tray(started);
    if (!CreateProcessA(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &run.Info))
        Fail("cannot start " + program + " (error " + std::to_string(GetLastError()) + ")");
    CloseHandle(run.Info.hThread);
    const DWORD id = run.Info.dwProcessId;
    if (!WaitUntil(run.Info.hProcess, id, [&] { return (run.Window = FindOf(id, nullptr, SettingsCaption)) != nullptr; }))
        Fail("the settings window did not appear");
    run.WindowAt = Now() - started;
    PostMessageA(run.Window, TrayMessage, TrayIconId, WM_RBUTTONDOWN);
    HWND menu = nullptr;
    if (!WaitUntil(run.Info.hProcess, id, [&] { return (menu = FindOf(id, "#32768", nullptr)) != nullptr; }))
        Fail("the tray menu did not open");
    run.ReadyAt = Now() - started;
    tray.Stop();
    run.TrayAt = tray.Seen();
    if (!WaitUntil(run.Info.hProcess, id, [&] { return IsWindowVisible(menu) != FALSE; }))
        Fail("the tray menu did not show");
    PostKeys(menu, {VK_ESCAPE});
    if (!WaitUntil(run.Info.hProcess, id, [&] { return !IsWindow(menu) || !IsWindowVisible(menu); }))
        Fail("the tray menu did not close");
    return run;
}

// Through the menu's last item, 終了(&E); seconds from the key to the end.
double EndThroughMenu(TRun& run) {
    const DWORD id = run.Info.dwProcessId;
    PostMessageA(run.Window, TrayMessage, TrayIconId, WM_RBUTTONDOWN);
    HWND menu = nullptr;
    if (!WaitUntil(run.Info.hProcess, id, [&] { return (menu = FindOf(id, "#32768", nullptr)) && IsWindowVisible(menu); }))
        Fail("the tray menu did not open for the exit");
    const double asked = Now();
    PostKeys(menu, {VK_UP, VK_RETURN});
    if (!WaitUntil(run.Info.hProcess, id, [&] { return WaitForSingleObject(run.Info.hProcess, 0) == WAIT_OBJECT_0; }))
        Fail("the tool did not end from its menu");
    const double took = Now() - asked;
    DWORD code = 1;
    GetExitCodeProcess(run.Info.hProcess, &code);
    if (code != 0) Fail("the tool ended with exit code " + std::to_string(code));
    CloseHandle(run.Info.hProcess);
    return took;
}

double CpuSeconds(HANDLE process) {
    FILETIME created, exited, kernel, user;
    if (!GetProcessTimes(process, &created, &exited, &kernel, &user)) return -1;
    auto seconds = [](FILETIME t) {
        return double((ULONGLONG(t.dwHighDateTime) << 32) | t.dwLowDateTime) / 1e7;
    };
    return seconds(kernel) + seconds(user);
}

void PrintMemory(const char* when, HANDLE process) {
    PROCESS_MEMORY_COUNTERS_EX m{};
    m.cb = sizeof m;
    if (!GetProcessMemoryInfo(process, reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&m), sizeof m)) {
        std::printf("  memory %-16s not available (error %lu)\n", when, GetLastError());
        return;
    }
    // Both counters are the private commit on Windows; Wine fills only
    // PagefileUsage for another process.
    const SIZE_T privateBytes = m.PrivateUsage ? m.PrivateUsage : m.PagefileUsage;
    std::printf("  memory %-16s private %6.1f MB   working set %6.1f MB   peak working set %6.1f MB\n", when,
                privateBytes / 1048576.0, m.WorkingSetSize / 1048576.0, m.PeakWorkingSetSize / 1048576.0);
}

}  // namespace

int main() {
    if (HANDLE other = OpenMutexA(SYNCHRONIZE, FALSE, "Velmora")) {
        CloseHandle(other);
        Fail("a copy of Velmora already runs here; end it first");
    }
    const std::string program = ProgramPath();
    if (GetFileAttributesA(program.c_str()) == INVALID_FILE_ATTRIBUTES) Fail(program + " is missing");

    // The observer needs the browser's folder; the pictures go to a folder
    // of this run.
    const std::string appData = SpecialFolder(CSIDL_APPDATA);
    CreateDirectoryA((appData + "\\Microsoft").c_str(), nullptr);
    CreateDirectoryA((appData + "\\Microsoft\\Internet Explorer").c_str(), nullptr);
    char temp[MAX_PATH];
    GetTempPathA(sizeof temp, temp);
    const std::string saveDir = std::string(temp) + "velmora-startup-bench-" + std::to_string(GetCurrentProcessId());
    CreateDirectoryA(saveDir.c_str(), nullptr);
    const TSavedKey saved = SaveKey();
    PutSettings(saveDir);

    std::printf("velmora.exe started %d times with settings (no window shows), ended through the tray menu:\n",
                Starts);
    std::vector<double> window, tray, ready, exits;
    for (int i = 0; i < Starts; ++i) {
        TRun run = StartResident();
        window.push_back(run.WindowAt);
        if (run.TrayAt >= 0) tray.push_back(run.TrayAt);
        ready.push_back(run.ReadyAt);
        std::printf("  start %d: window %6.1f ms   tray icon %s   ready %6.1f ms\n", i + 1, run.WindowAt * 1e3,
                    run.TrayAt >= 0 ? (std::to_string(int(run.TrayAt * 1e3 + 0.5)) + " ms").c_str() : "n/a",
                    run.ReadyAt * 1e3);
        if (i + 1 < Starts) exits.push_back(EndThroughMenu(run));
        else {
            // The last copy stays for the idle measurement.
            std::printf("\nthe last copy, resident:\n");
            PrintMemory("after start", run.Info.hProcess);
            const double cpuBefore = CpuSeconds(run.Info.hProcess);
            const double wallBefore = Now();
            Sleep(IdleMilliseconds);
            const double cpuAfter = CpuSeconds(run.Info.hProcess);
            const double wall = Now() - wallBefore;
            std::printf("  CPU time while idle     %.1f ms over %.1f s (%.3f %% of one CPU); %.1f ms since its start\n",
                        (cpuAfter - cpuBefore) * 1e3, wall, (cpuAfter - cpuBefore) / wall * 100, cpuAfter * 1e3);
            PrintMemory("after 10 s idle", run.Info.hProcess);
            exits.push_back(EndThroughMenu(run));
        }
    }
    std::printf("\nmedians: window %.1f ms, tray icon %s, ready %.1f ms, exit from the menu %.1f ms\n",
                Median(window) * 1e3,
                tray.empty() ? "n/a" : (std::to_string(int(Median(tray) * 1e3 + 0.5)) + " ms").c_str(),
                Median(ready) * 1e3, Median(exits) * 1e3);

    RestoreKey(saved);
    RemoveDirectoryA(saveDir.c_str());
    return 0;
}
