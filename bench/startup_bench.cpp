// Start-up of velmora.exe against its floor: the least a resident tray tool
// does (floor/minimal_tray.cpp: a hidden window, a tray icon, a message
// loop). Both are timed the same way in one run, alternately: from
// CreateProcess to WaitForInputIdle, the moment the program first waits for
// input. velmora.exe starts with its settings in the registry, as at every
// logon, so no window shows. Median of 9 starts each, after one start of
// each that is not counted (it fills the file cache).
//
// Each copy is ended with WM_CLOSE to its window: the tool's settings
// window closes as through its menu, so the tool writes its settings back.
// The registry key's values are put back as they were afterwards; the save
// folder is a temporary one.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "bench/velmora_bench.h"

namespace {

using namespace VelmoraBench;

constexpr int Starts = 9;
constexpr DWORD Patience = 30000;

struct TProgram {
    const char* Name;
    std::string Path;
    const char* ClassName;  // the window WM_CLOSE ends it through
    const char* Caption;
};

std::string BesideThis(const char* name) {
    char path[MAX_PATH] = "";
    GetModuleFileNameA(nullptr, path, sizeof path);
    std::string self = path;
    std::size_t cut = 0;
    for (const char* p = self.c_str(); *p; p = CharNextA(p))
        if (*p == '\\') cut = static_cast<std::size_t>(p - self.c_str());
    return self.substr(0, cut + 1) + name;
}

// Seconds from CreateProcess to WaitForInputIdle; the copy is ended after.
double TimeStart(const TProgram& program) {
    std::string commandLine = "\"" + program.Path + "\"";
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    const double started = Now();
    if (!CreateProcessA(program.Path.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &info))
        Fail("cannot start " + program.Path + " (error " + std::to_string(GetLastError()) + ")");
    if (WaitForInputIdle(info.hProcess, Patience) != 0) Fail(std::string(program.Name) + " never waited for input");
    const double took = Now() - started;
    CloseHandle(info.hThread);

    // Its window may come after the first wait for input.
    HWND window = nullptr;
    for (DWORD waited = 0; !(window = FindOf(info.dwProcessId, program.ClassName, program.Caption)); waited += 10) {
        if (waited >= Patience) Fail(std::string(program.Name) + " showed no window to close");
        Sleep(10);
    }
    PostMessageA(window, WM_CLOSE, 0, 0);
    if (WaitForSingleObject(info.hProcess, Patience) != WAIT_OBJECT_0) Fail(std::string(program.Name) + " did not end");
    DWORD code = 1;
    GetExitCodeProcess(info.hProcess, &code);
    CloseHandle(info.hProcess);
    if (code != 0) Fail(std::string(program.Name) + " ended with exit code " + std::to_string(code));
    return took;
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

}  // namespace

int main() {
    if (HANDLE other = OpenMutexA(SYNCHRONIZE, FALSE, "Velmora")) {
        CloseHandle(other);
        Fail("a copy of Velmora already runs here; end it first");
    }
    const TProgram floor{"minimal_tray.exe", BesideThis("minimal_tray.exe"), "MinimalTray", nullptr};
    const TProgram tool{"velmora.exe", ProgramPath(), nullptr, SettingsCaption};
    for (const TProgram* p : {&floor, &tool})
        if (GetFileAttributesA(p->Path.c_str()) == INVALID_FILE_ATTRIBUTES) Fail(p->Path + " is missing");

    // The observer needs the browser's folder; the pictures go to a folder
    // of this run.
    const std::string appData = SpecialFolder(CSIDL_APPDATA);
    CreateDirectoryA((appData + "\\Microsoft").c_str(), nullptr);
    CreateDirectoryA((appData + "\\Microsoft\\Internet Explorer").c_str(), nullptr);
    char temp[MAX_PATH];
    GetTempPathA(sizeof temp, temp);
    const std::string saveDir = std::string(temp) + "velmora-startup-floor-" + std::to_string(GetCurrentProcessId());
    CreateDirectoryA(saveDir.c_str(), nullptr);
    const TSavedKey saved = SaveKey();
    PutSettings(saveDir);

    TimeStart(floor);
    TimeStart(tool);
    std::vector<double> floorTimes, toolTimes;
    std::printf("CreateProcess to WaitForInputIdle, %d starts each, alternately:\n", Starts);
    for (int i = 0; i < Starts; ++i) {
        floorTimes.push_back(TimeStart(floor));
        toolTimes.push_back(TimeStart(tool));
        std::printf("  start %d: minimal tray program %6.1f ms   velmora.exe %6.1f ms\n", i + 1,
                    floorTimes.back() * 1e3, toolTimes.back() * 1e3);
    }
    const double floorMedian = Median(floorTimes), toolMedian = Median(toolTimes);
    std::printf("medians: minimal tray program %.1f ms, velmora.exe %.1f ms: %.2fx the floor\n", floorMedian * 1e3,
                toolMedian * 1e3, toolMedian / floorMedian);

    RestoreKey(saved);
    RemoveDirectoryA(saveDir.c_str());
    return 0;
}
