// The gallery program as its user starts it: its window opens with a page
// for each unit of the library, no message box (a form text that does not
// fit the code shows one), and it ends cleanly when closed. A gallery that
// starts another gets it beside itself, so that the two can drag and send
// to each other.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <string>

#include "tests/support/ProgramBeside.h"

namespace {

constexpr DWORD Patience = 20000;
const char GalleryCaption[] = "Kit ギャラリー";
// Threads, Interceptors, Componentarray, Olednd, Catools.
constexpr int UnitPages = 5;

struct TSearch {
    DWORD Process;
    const char* ClassName;
    bool OfAnotherProcess = false;
    HWND Found = nullptr;
};

BOOL CALLBACK MatchWindow(HWND window, LPARAM param) {
    auto* search = reinterpret_cast<TSearch*>(param);
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    char name[64] = "";
    GetClassNameA(window, name, sizeof name);
    if ((process == search->Process) == search->OfAnotherProcess || !IsWindowVisible(window) ||
        lstrcmpiA(name, search->ClassName) != 0)
        return TRUE;
    search->Found = window;
    return FALSE;
}

HWND FindVisible(DWORD process, const char* className, HWND parent = nullptr) {
    TSearch search{process, className};
    if (parent) EnumChildWindows(parent, MatchWindow, reinterpret_cast<LPARAM>(&search));
    else EnumWindows(MatchWindow, reinterpret_cast<LPARAM>(&search));
    return search.Found;
}

// The visible window of a class: Wine's WaitForInputIdle can answer before a
// program's first window shows, so the search goes on until it does.
HWND WaitVisible(DWORD process, const char* className, bool ofAnotherProcess = false) {
    TSearch search{process, className, ofAnotherProcess};
    for (DWORD waited = 0; !search.Found && waited < Patience; waited += 20) {
        EnumWindows(MatchWindow, reinterpret_cast<LPARAM>(&search));
        if (!search.Found) Sleep(20);
    }
    return search.Found;
}

std::string TextOf(HWND window) {
    char text[256] = "";
    DWORD_PTR length = 0;
    SendMessageTimeoutA(window, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text), SMTO_ABORTIFHUNG, Patience,
                        &length);
    return text;
}

// A started gallery; one still running when the test ends (a failed
// assertion) is ended, so that nothing outlives the test program.
struct TGalleryProcess {
    PROCESS_INFORMATION Info{};
    ~TGalleryProcess() {
        if (!Info.hProcess) return;
        if (WaitForSingleObject(Info.hProcess, 0) == WAIT_TIMEOUT) {
            TerminateProcess(Info.hProcess, 1);
            WaitForSingleObject(Info.hProcess, Patience);
        }
        CloseHandle(Info.hProcess);
    }
};

bool StartGallery(PROCESS_INFORMATION& info) {
    std::string program = ProgramBeside("kitgallery.exe");
    std::string commandLine = "\"" + program + "\"";
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    if (!CreateProcessA(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &info))
        return false;
    CloseHandle(info.hThread);
    info.hThread = nullptr;
    return true;
}

BOOL CALLBACK MatchStartAnother(HWND window, LPARAM param) {
    if (TextOf(window) != "もう一つ起動(&G)") return TRUE;
    *reinterpret_cast<HWND*>(param) = window;
    return FALSE;
}

}  // namespace

TEST(Gallery, OpensWithAPageForEachUnitAndEndsWhenClosed) {
    TGalleryProcess gallery;
    PROCESS_INFORMATION& info = gallery.Info;
    ASSERT_TRUE(StartGallery(info)) << "error " << GetLastError();

    EXPECT_EQ(0u, WaitForInputIdle(info.hProcess, Patience));
    HWND form = WaitVisible(info.dwProcessId, "TGalleryForm");
    ASSERT_NE(nullptr, form) << "no gallery window";
    HWND box = FindVisible(info.dwProcessId, "#32770");
    EXPECT_EQ(nullptr, box) << "a message box: " << (box ? TextOf(FindWindowExA(box, nullptr, "Static", nullptr)) : "");
    EXPECT_EQ(GalleryCaption, TextOf(form));
    HWND tabs = FindVisible(info.dwProcessId, "TPageControl", form);
    ASSERT_NE(nullptr, tabs);
    EXPECT_EQ(UnitPages, SendMessageA(tabs, TCM_GETITEMCOUNT, 0, 0));

    PostMessageA(form, WM_CLOSE, 0, 0);
    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(info.hProcess, Patience)) << "the gallery did not end";
    DWORD code = 1;
    GetExitCodeProcess(info.hProcess, &code);
    EXPECT_EQ(0u, code);
}

TEST(Gallery, AnotherStartedFromAGalleryStandsBesideIt) {
    TGalleryProcess first, second;
    ASSERT_TRUE(StartGallery(first.Info)) << "error " << GetLastError();
    ASSERT_EQ(0u, WaitForInputIdle(first.Info.hProcess, Patience));
    HWND form = WaitVisible(first.Info.dwProcessId, "TGalleryForm");
    ASSERT_NE(nullptr, form);
    // The drag-and-drop page's button, on a page not shown: a click message
    // reaches it all the same.
    HWND button = nullptr;
    EnumChildWindows(form, MatchStartAnother, reinterpret_cast<LPARAM>(&button));
    ASSERT_NE(nullptr, button);
    PostMessageA(button, BM_CLICK, 0, 0);

    HWND other = WaitVisible(first.Info.dwProcessId, "TGalleryForm", true);
    ASSERT_NE(nullptr, other) << "no second gallery";
    DWORD process = 0;
    GetWindowThreadProcessId(other, &process);
    second.Info.hProcess = OpenProcess(SYNCHRONIZE | PROCESS_TERMINATE | PROCESS_QUERY_INFORMATION, FALSE, process);
    ASSERT_NE(nullptr, second.Info.hProcess);
    ASSERT_EQ(0u, WaitForInputIdle(second.Info.hProcess, Patience));

    // Side by side at the same height, inside the work area; where the
    // screen is a little too narrow they overlap, but never by half.
    RECT area, one, two;
    SystemParametersInfoA(SPI_GETWORKAREA, 0, &area, 0);
    GetWindowRect(form, &one);
    GetWindowRect(other, &two);
    EXPECT_EQ(one.top, two.top);
    EXPECT_GE(two.left, one.left + (one.right - one.left) / 2);
    EXPECT_GE(one.left, area.left);
    EXPECT_LE(two.right, area.right);

    for (TGalleryProcess* gallery : {&second, &first}) {
        HWND window = FindVisible(GetProcessId(gallery->Info.hProcess), "TGalleryForm");
        PostMessageA(window, WM_CLOSE, 0, 0);
        EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(gallery->Info.hProcess, Patience)) << "a gallery did not end";
    }
}
