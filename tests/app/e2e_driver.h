// Drives a running velmora.exe from outside, as a user at the screen would:
// it finds the tool's windows by process and caption, reads what they show,
// presses their buttons, answers their message boxes and picks items from
// the tray menu. Everything here works through window messages to another
// process, so it holds no pointer into the tool and knows nothing of its
// code.
//
// Every wait has a timeout and ends early when the tool's process ends; a
// caller that gets false reports what it waited for.
#pragma once

#include <windows.h>

#include <functional>
#include <initializer_list>
#include <string>
#include <vector>

namespace VelmoraDriver {

// Generous: Wine starts a program in well under a second, but a loaded
// machine may need many times that.
constexpr DWORD Patience = 20000;

// The tray icon's callback message and identifier, as the tool registers them.
constexpr UINT TrayMessage = WM_USER + 1;
constexpr UINT TrayIconId = 100;

extern const char SettingsCaption[];  // "Velmoraの設定"
extern const char AboutCaption[];     // "バージョン情報"

// velmora.exe: the build puts it beside this program.
std::string ProgramPath();

// One started copy of the tool. The destructor ends a copy that still runs,
// so that a failed test leaves nothing behind to block the next start.
class TVelmora {
public:
    TVelmora() = default;
    TVelmora(const TVelmora&) = delete;
    TVelmora& operator=(const TVelmora&) = delete;
    ~TVelmora();

    // CreateProcessA on ProgramPath(), in directory (null: this program's
    // current one); false with the system's error code. A copy started
    // suspended runs from Resume on: two of them resumed one after the
    // other start as nearly together as two programs can.
    bool Start(DWORD& error, const char* directory = nullptr, bool suspended = false);
    void Resume();
    bool Running() const;
    // True when the process ended within timeout; its exit code in code.
    bool WaitForExit(DWORD timeout, DWORD& code) const;
    void Kill();

    HANDLE Process() const { return FProcess; }
    DWORD Id() const { return FId; }

private:
    HANDLE FProcess = nullptr;
    HANDLE FThread = nullptr;  // while suspended
    DWORD FId = 0;
};

// Pumps this thread's messages until ready() holds, the process ends (then
// ready() is asked once more) or timeout passes. ready() is asked at once,
// on each window event of the process and, because Wine raises neither
// EVENT_OBJECT_SHOW nor EVENT_OBJECT_HIDE, at least every PollSlice.
constexpr DWORD PollSlice = 50;
bool WaitUntil(HANDLE process, DWORD processId, const std::function<bool()>& ready, DWORD timeout = Patience);

// A top-level window of the process; empty caption or class means any.
HWND FindTopLevel(DWORD processId, const char* className, const char* caption, bool visibleOnly);
std::vector<HWND> Children(HWND parent);
// A child whose text is exactly text.
HWND FindChildByText(HWND parent, const char* text);
// The child edit boxes, top to bottom.
std::vector<HWND> EditBoxes(HWND parent);

// The text of a window of another process (WM_GETTEXT, with a timeout so a
// hung tool cannot hang the test).
std::string TextOf(HWND window);
bool SetText(HWND window, const std::string& text);
bool Checked(HWND checkBox);

// Presses a button as a click would: only when it is visible and enabled,
// which a posted BM_CLICK does not check by itself. Posted, because the
// click may open a modal box that a sent message would wait on.
bool Press(HWND button);

// Ticks or clears a check box as a click would, and returns once the box
// has handled the click (a click on a check box opens nothing to wait on).
bool Toggle(HWND checkBox);

// Returns once the tool's thread has come back for messages: a message sent
// to one of its windows is taken only then, or while that thread waits on a
// message it sent to another thread itself. Sent messages go before posted
// ones, so this is no barrier behind a posted message still in the queue.
bool Sync(HWND window);

// The shown message box (dialog class #32770) of the process, and the text
// it shows.
HWND FindMessageBox(DWORD processId);
std::string MessageBoxText(HWND box);
// Presses the box's button id (IDOK, IDYES...): false when the box has no
// such visible, enabled button.
bool Answer(HWND box, int id);

// Window position in the client coordinates of its form.
RECT ClientRectOf(HWND child, HWND form);

// Opens the tray icon's menu the way the shell reports a right-button press
// on the icon: the callback message with WM_RBUTTONDOWN, sent (posted) to
// the window that owns the icon. The menu window (#32768) is returned.
HWND OpenTrayMenu(HANDLE process, DWORD processId, HWND iconWindow);
// Walks the open menu with keys: Wine's popup menus of another process
// cannot be read, but take keys posted to their window. Enter acts through
// the character message that the menu's own loop makes of it and queues
// behind everything posted before: a key sent after Enter (Escape, say)
// would be seen first.
void PressKeys(HWND menu, std::initializer_list<WPARAM> keys);
void DoubleClickTrayIcon(HWND iconWindow);

}  // namespace VelmoraDriver
