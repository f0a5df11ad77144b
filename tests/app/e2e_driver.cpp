#include "e2e_driver.h"

#include <algorithm>
#include <cctype>

#include "tests/support/ProgramBeside.h"

namespace VelmoraDriver {

const char SettingsCaption[] = "Velmoraの設定";
const char AboutCaption[] = "バージョン情報";

namespace {

// A reply is due at once from a thread that runs its message loop; this is
// only the bound that keeps a hung tool from hanging the test with it.
constexpr UINT ReplyTimeout = 5000;

// The events only wake the wait; what changed is read from the windows.
void CALLBACK NoteEvent(HWINEVENTHOOK, DWORD, HWND, LONG, LONG, DWORD, DWORD) {}

void PumpMessages() {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
}

std::string ClassOf(HWND window) {
    char name[256] = "";
    GetClassNameA(window, name, sizeof name);
    return name;
}

bool ContainsNoCase(std::string text, std::string part) {
    auto lower = [](std::string& s) { std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return static_cast<char>(tolower(c)); }); };
    lower(text);
    lower(part);
    return text.find(part) != std::string::npos;
}

}  // namespace

std::string ProgramPath() { return ProgramBeside("velmora.exe"); }

// ---- TVelmora ----

TVelmora::~TVelmora() {
    Kill();
    if (FThread) CloseHandle(FThread);
    if (FProcess) CloseHandle(FProcess);
}

bool TVelmora::Start(DWORD& error, const char* directory, bool suspended) {
    error = ERROR_SUCCESS;
    if (FProcess) {
        error = ERROR_ALREADY_EXISTS;
        return false;
    }
    std::string program = ProgramPath();
    std::string commandLine = "\"" + program + "\"";
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    if (!CreateProcessA(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE,
                        suspended ? CREATE_SUSPENDED : 0, nullptr, directory, &startup, &info)) {
        error = GetLastError();
        return false;
    }
    if (suspended)
        FThread = info.hThread;
    else
        CloseHandle(info.hThread);
    FProcess = info.hProcess;
    FId = info.dwProcessId;
    return true;
}

void TVelmora::Resume() {
    if (!FThread) return;
    ResumeThread(FThread);
    CloseHandle(FThread);
    FThread = nullptr;
}

bool TVelmora::Running() const {
    return FProcess && WaitForSingleObject(FProcess, 0) == WAIT_TIMEOUT;
}

bool TVelmora::WaitForExit(DWORD timeout, DWORD& code) const {
    code = STILL_ACTIVE;
    if (!FProcess) return false;
    // The tool may show windows on its way out; pumping keeps any message
    // it sends to this thread from stalling it.
    if (!WaitUntil(FProcess, FId, [this] { return !Running(); }, timeout)) return false;
    GetExitCodeProcess(FProcess, &code);
    return true;
}

void TVelmora::Kill() {
    if (!Running()) return;
    TerminateProcess(FProcess, 99);
    WaitForSingleObject(FProcess, Patience);
}

// ---- Waiting ----

bool WaitUntil(HANDLE process, DWORD processId, const std::function<bool()>& ready, DWORD timeout) {
    if (ready()) return true;
    HWINEVENTHOOK hook = SetWinEventHook(EVENT_MIN, EVENT_MAX, nullptr, NoteEvent, processId, 0,
                                         WINEVENT_OUTOFCONTEXT | WINEVENT_SKIPOWNPROCESS);
    const DWORD start = GetTickCount();
    bool done = false;
    for (;;) {
        const DWORD elapsed = GetTickCount() - start;
        if (elapsed >= timeout) {
            done = ready();
            break;
        }
        // Wine reports window creation and focus changes, which wake this
        // wait, but not a window being shown or hidden: the slice bounds
        // how late such a change is seen.
        const DWORD slice = std::min<DWORD>(PollSlice, timeout - elapsed);
        const DWORD woke = MsgWaitForMultipleObjects(process ? 1 : 0, &process, FALSE, slice, QS_ALLINPUT);
        PumpMessages();
        if (ready()) {
            done = true;
            break;
        }
        if (process && woke == WAIT_OBJECT_0) break;  // the tool ended; nothing more will change
    }
    if (hook) UnhookWinEvent(hook);
    return done;
}

// ---- Windows ----

namespace {

struct TTopLevelSearch {
    DWORD ProcessId;
    const char* ClassName;
    const char* Caption;
    bool VisibleOnly;
    HWND Found;
};

BOOL CALLBACK MatchTopLevel(HWND window, LPARAM data) {
    auto* search = reinterpret_cast<TTopLevelSearch*>(data);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner != search->ProcessId) return TRUE;
    if (search->VisibleOnly && !IsWindowVisible(window)) return TRUE;
    if (search->ClassName && *search->ClassName && ClassOf(window) != search->ClassName) return TRUE;
    if (search->Caption && *search->Caption) {
        // A caption is window data of its own: no message to the owner needed.
        char caption[256] = "";
        GetWindowTextA(window, caption, sizeof caption);
        if (std::string(caption) != search->Caption) return TRUE;
    }
    search->Found = window;
    return FALSE;
}

BOOL CALLBACK CollectChild(HWND window, LPARAM data) {
    reinterpret_cast<std::vector<HWND>*>(data)->push_back(window);
    return TRUE;
}

}  // namespace

HWND FindTopLevel(DWORD processId, const char* className, const char* caption, bool visibleOnly) {
    TTopLevelSearch search{processId, className, caption, visibleOnly, nullptr};
    EnumWindows(MatchTopLevel, reinterpret_cast<LPARAM>(&search));
    return search.Found;
}

std::vector<HWND> Children(HWND parent) {
    std::vector<HWND> children;
    EnumChildWindows(parent, CollectChild, reinterpret_cast<LPARAM>(&children));
    return children;
}

HWND FindChildByText(HWND parent, const char* text) {
    for (HWND child : Children(parent))
        if (TextOf(child) == text) return child;
    return nullptr;
}

std::vector<HWND> EditBoxes(HWND parent) {
    std::vector<HWND> edits;
    for (HWND child : Children(parent))
        if (ContainsNoCase(ClassOf(child), "edit")) edits.push_back(child);
    std::sort(edits.begin(), edits.end(), [](HWND a, HWND b) {
        RECT ra, rb;
        GetWindowRect(a, &ra);
        GetWindowRect(b, &rb);
        return ra.top < rb.top;
    });
    return edits;
}

std::string TextOf(HWND window) {
    char text[1024] = "";
    DWORD_PTR length = 0;
    if (!SendMessageTimeoutA(window, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text), SMTO_NORMAL,
                             ReplyTimeout, &length))
        return "(no answer from the window)";
    return std::string(text, std::min<std::size_t>(length, sizeof text - 1));
}

bool SetText(HWND window, const std::string& text) {
    DWORD_PTR result = 0;
    return SendMessageTimeoutA(window, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()), SMTO_NORMAL,
                               ReplyTimeout, &result) &&
           result;
}

bool Checked(HWND checkBox) {
    DWORD_PTR state = BST_UNCHECKED;
    SendMessageTimeoutA(checkBox, BM_GETCHECK, 0, 0, SMTO_NORMAL, ReplyTimeout, &state);
    return state == BST_CHECKED;
}

bool Press(HWND button) {
    if (!button || !IsWindowVisible(button) || !IsWindowEnabled(button)) return false;
    return PostMessageA(button, BM_CLICK, 0, 0);
}

bool Toggle(HWND checkBox) {
    if (!checkBox || !IsWindowVisible(checkBox) || !IsWindowEnabled(checkBox)) return false;
    DWORD_PTR result = 0;
    return SendMessageTimeoutA(checkBox, BM_CLICK, 0, 0, SMTO_NORMAL, ReplyTimeout, &result);
}

bool Sync(HWND window) {
    DWORD_PTR result = 0;
    return SendMessageTimeoutA(window, WM_NULL, 0, 0, SMTO_NORMAL, ReplyTimeout, &result);
}

HWND FindMessageBox(DWORD processId) {
    return FindTopLevel(processId, "#32770", nullptr, true);
}

std::string MessageBoxText(HWND box) {
    // The text sits in a static control of id 0xFFFF; the icon is a static
    // control too, without text.
    if (HWND text = GetDlgItem(box, 0xFFFF)) return TextOf(text);
    for (HWND child : Children(box)) {
        if (!ContainsNoCase(ClassOf(child), "static")) continue;
        if ((GetWindowLongA(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON) continue;
        std::string text = TextOf(child);
        if (!text.empty()) return text;
    }
    return "(no text)";
}

bool Answer(HWND box, int id) {
    return Press(GetDlgItem(box, id));
}

RECT ClientRectOf(HWND child, HWND form) {
    RECT r{};
    GetWindowRect(child, &r);
    POINT corners[2] = {{r.left, r.top}, {r.right, r.bottom}};
    ScreenToClient(form, &corners[0]);
    ScreenToClient(form, &corners[1]);
    return {corners[0].x, corners[0].y, corners[1].x, corners[1].y};
}

// ---- The tray icon ----

HWND OpenTrayMenu(HANDLE process, DWORD processId, HWND iconWindow) {
    if (!PostMessageA(iconWindow, TrayMessage, TrayIconId, WM_RBUTTONDOWN)) return nullptr;
    HWND menu = nullptr;
    WaitUntil(process, processId, [&] { return (menu = FindTopLevel(processId, "#32768", nullptr, true)) != nullptr; });
    return menu;
}

void PressKeys(HWND menu, std::initializer_list<WPARAM> keys) {
    for (WPARAM key : keys) {
        PostMessageA(menu, WM_KEYDOWN, key, 1);
        PostMessageA(menu, WM_KEYUP, key, 0xC0000001);
    }
}

void DoubleClickTrayIcon(HWND iconWindow) {
    // The shell reports the press, the release, the second press and the
    // release; only the double-click itself means something to the tool.
    for (LPARAM event : {WM_LBUTTONDOWN, WM_LBUTTONUP, WM_LBUTTONDBLCLK, WM_LBUTTONUP})
        PostMessageA(iconWindow, TrayMessage, TrayIconId, event);
}

}  // namespace VelmoraDriver
