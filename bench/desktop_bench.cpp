// The desktop wallpaper as a source of pictures.
//
// 1. velmora.exe, resident: from SystemParametersInfoW(SPI_SETDESKWALLPAPER)
//    returning, in this program (another program than the tool, as any that
//    sets the wallpaper), to the picture saved, for 20 JPEG pictures of
//    768 KB set one after the other. The tool waits for the picture to have
//    been quiet for its settle time (200 ms) before it copies it.
// 2. In this process: one capture of such a picture into a folder of 10,000
//    numbered pictures, with the option against duplicates off and on, in
//    turns. The option reads only the pictures of the new one's size, which
//    the listing for the free number gives: here three of them, each of the
//    same size and differing in its last byte only, so that each is read
//    whole. Goal: on at most 1.2 times off. The listing alone, which both
//    pay, is shown beside them: under Wine it is the file system's own cost.
//
// The tool's registry values and the desktop wallpaper are put back as they
// were afterwards; the folders are temporary ones.
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

namespace {

using namespace VelmoraBench;

constexpr DWORD Patience = 30000;
constexpr int Rounds = 20;
constexpr int FolderPictures = 10000;
constexpr int SameSize = 3;
constexpr int FolderRuns = 9;

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

void WriteNew(const std::string& file, const std::string& bytes) {
    HANDLE h = CreateFileA(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    DWORD written = 0;
    if (h == INVALID_HANDLE_VALUE || !WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) ||
        written != bytes.size())
        Fail("cannot write " + file);
    CloseHandle(h);
}

// A JPEG as its first bytes make it, 768 KB.
std::string Jpeg(int n) {
    std::string bytes = "\xFF\xD8\xFF\xE0";
    bytes.append(768 * 1024 - 6, static_cast<char>(n * 37 + 1));
    bytes += "\xFF\xD9";
    return bytes;
}

std::wstring Wide(const std::string& text) {
    std::wstring w(text.size() + 1, L'\0');
    const int n = MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, w.data(), static_cast<int>(w.size()));
    w.resize(n > 0 ? static_cast<std::size_t>(n - 1) : 0);
    return w;
}

bool Exists(const std::string& name) { return GetFileAttributesA(name.c_str()) != INVALID_FILE_ATTRIBUTES; }

std::string Content(const std::string& name) {
    HANDLE f = CreateFileA(name.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (f == INVALID_HANDLE_VALUE) return std::string();
    std::string bytes;
    char buffer[64 * 1024];
    DWORD read = 0;
    while (ReadFile(f, buffer, sizeof buffer, &read, nullptr) && read) bytes.append(buffer, read);
    CloseHandle(f);
    return bytes;
}

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

// Pumps messages until ready(), at least every 20 ms (Wine reports no window
// being shown or hidden).
void WaitWindows(HANDLE process, const std::function<bool()>& ready, const char* what) {
    const DWORD start = GetTickCount();
    while (!ready()) {
        if (GetTickCount() - start > Patience || WaitForSingleObject(process, 0) == WAIT_OBJECT_0) Fail(what);
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
    }
}

// Sets the desktop wallpaper as a program does: stored and announced. The
// moment the call returned.
double SetDesktop(const std::wstring& file) {
    if (!SystemParametersInfoW(SPI_SETDESKWALLPAPER, 0, const_cast<wchar_t*>(file.c_str()),
                               SPIF_UPDATEINIFILE | SPIF_SENDCHANGE))
        Fail("SPI_SETDESKWALLPAPER refused a picture");
    return Now();
}

// ---- 1. velmora.exe ----

std::vector<double> MeasureTheTool() {
    const std::string program = ProgramPath();
    if (!Exists(program)) Fail(program + " is missing");
    const std::string saveDir = TempFolder("velmora-desktop-bench"), pictures = TempFolder("velmora-desktop-pictures");
    const TSavedKey saved = SaveKey();
    PutSettings(saveDir);
    auto picture = [&](int n) { return pictures + "\\picture" + std::to_string(n) + ".jpg"; };
    // A capture is over once the marker holds the picture and is hidden
    // again: hiding it is the capture's last step.
    const std::string marker = saveDir + "\\WALL000.TMP";
    auto kept = [&](const std::string& bytes) { return Hidden(marker) && Content(marker) == bytes; };
    for (int n = 0; n <= Rounds; ++n) WriteNew(picture(n), Jpeg(n));
    // The first picture is kept at start-up: watching is on once it is.
    SetDesktop(Wide(picture(0)));

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
    const std::string first = Jpeg(0);
    WaitInFolder(saveDir, [&] { return kept(first); });

    std::vector<double> latencies;
    for (int n = 1; n <= Rounds; ++n) {
        const std::string bytes = Jpeg(n);
        const double set = SetDesktop(Wide(picture(n)));
        const double savedAt = WaitInFolder(saveDir, [&] { return kept(bytes); });
        latencies.push_back(savedAt - set);
    }

    PostMessageA(form, TrayMessage, TrayIconId, WM_RBUTTONDOWN);
    HWND menu = nullptr;
    WaitWindows(info.hProcess, [&] { return (menu = FindOf(id, "#32768", nullptr)) && IsWindowVisible(menu); },
                "the tray menu did not open");
    PostKeys(menu, {VK_UP, VK_RETURN});
    if (WaitForSingleObject(info.hProcess, Patience) != WAIT_OBJECT_0) Fail("the tool did not end from its menu");
    CloseHandle(info.hProcess);
    RestoreKey(saved);
    RemoveFolder(saveDir);
    RemoveFolder(pictures);
    return latencies;
}

// ---- 2. A folder of 10,000 pictures ----

struct TFolderTimes {
    std::vector<double> off, on, listing;
};

TFolderTimes MeasureTheFolder() {
    const std::string dir = TempFolder("velmora-desktop-folder"), pictures = TempFolder("velmora-desktop-source");
    const std::string bytes = Jpeg(1);
    const std::string source = pictures + "\\new.jpg";
    WriteNew(source, bytes);
    // Pictures of every type and of sizes of their own, and a few of the new
    // one's size that differ from it at the very end.
    const char* extensions[] = {".BMP", ".JPG", ".PNG", ".GIF"};
    for (int n = 1; n <= FolderPictures; ++n) {
        std::string content;
        if (n <= SameSize) {
            content = bytes;
            content.back() = static_cast<char>(n);
        } else {
            content.assign(static_cast<std::size_t>(16 + n), static_cast<char>(n));
        }
        char name[32];
        std::snprintf(name, sizeof name, "\\WALL%03d%s", n, extensions[n % 4]);
        WriteNew(dir + name, content);
    }

    const Velmora::TDesktopPicture desktop{Wide(source), std::wstring()};
    const Velmora::AnsiString marker = Velmora::MarkerFileName(dir, "WALL");
    TFolderTimes times;
    for (int run = 0; run < 2 * FolderRuns + 2; ++run) {  // the first two warm up
        const bool noDuplicates = run % 2 == 1;
        const double start = Now();
        const Velmora::TCaptureResult r = Velmora::CaptureDesktopWallpaper(desktop, "", dir, "WALL", false, noDuplicates);
        const double took = Now() - start;
        if (r.Outcome != Velmora::coSaved) Fail("a capture into the big folder saved nothing");
        DeleteFileA(r.SavedFile.c_str());
        SetFileAttributesA(marker.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileA(marker.c_str());
        if (run >= 2) (noDuplicates ? times.on : times.off).push_back(took);

        DWORD error;
        const double listed = Now();
        Velmora::FirstFreeNumber(dir, "WALL", error);
        if (run >= 2) times.listing.push_back(Now() - listed);
    }
    RemoveFolder(dir);
    RemoveFolder(pictures);
    return times;
}

}  // namespace

int main() {
    if (HANDLE other = OpenMutexA(SYNCHRONIZE, FALSE, "Velmora")) {
        CloseHandle(other);
        Fail("a copy of Velmora already runs here; end it first");
    }
    wchar_t before[MAX_PATH] = L"";
    SystemParametersInfoW(SPI_GETDESKWALLPAPER, MAX_PATH, before, 0);

    const std::vector<double> latencies = MeasureTheTool();
    SystemParametersInfoW(SPI_SETDESKWALLPAPER, 0, before, SPIF_UPDATEINIFILE);
    std::printf("velmora.exe, resident: SPI_SETDESKWALLPAPER returned -> picture saved (768 KB JPEG, settle %u ms):\n",
                Velmora::TCaptureScheduler::DefaultSettleTime);
    std::printf("  median %7.1f ms   worst %7.1f ms   (%d pictures)\n", Median(latencies) * 1e3, Worst(latencies) * 1e3,
                static_cast<int>(latencies.size()));

    const TFolderTimes folder = MeasureTheFolder();
    const double off = Median(folder.off), on = Median(folder.on);
    std::printf("one capture into a folder of %d pictures (%d of the new one's size), median of %d each:\n",
                FolderPictures, SameSize, FolderRuns);
    std::printf("  duplicates allowed:     %8.2f ms\n", off * 1e3);
    std::printf("  no duplicates:          %8.2f ms\n", on * 1e3);
    std::printf("  ratio:                  %8.2f (at most 1.2)\n", on / off);
    std::printf("  the listing alone:      %8.2f ms (in both)\n", Median(folder.listing) * 1e3);
    return 0;
}
