// Helpers of the Threads tests: waiting on the main thread as a message loop
// does, a deadlock guard, handle counts, temporary folders, message boxes.
#pragma once

#include <windows.h>

#include <cstdio>
#include <functional>
#include <string>

#include <gtest/gtest.h>

#include "tests/support/ThreadChecks.h"

#include "framework/Application.h"
#include "framework/Thread.h"
#include "framework/TypeInfo.h"

namespace ThreadsTest {

const DWORD kGenerous = 20000;  // ms; a wait that expires means a fault, never a slow machine

using TestSupport::TDeadlockGuard;

// Waits for handle on the main thread while serving synchronised calls and
// sent messages. False when the time ran out.
inline bool WaitServing(HANDLE handle, DWORD timeoutMs = kGenerous) {
    const DWORD start = GetTickCount();
    HANDLE handles[2] = {handle, Fw::SyncEvent()};
    for (DWORD spent = 0; spent < timeoutMs; spent = GetTickCount() - start) {
        DWORD r = MsgWaitForMultipleObjects(2, handles, FALSE, timeoutMs - spent, QS_SENDMESSAGE);
        if (r == WAIT_OBJECT_0) return true;
        if (r == WAIT_OBJECT_0 + 1) {
            Fw::CheckSynchronize();
        } else if (r == WAIT_OBJECT_0 + 2) {
            MSG msg;
            PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
        } else {
            break;
        }
    }
    return WaitForSingleObject(handle, 0) == WAIT_OBJECT_0;
}

inline void Drain() {
    while (Fw::CheckSynchronize()) {
    }
}

inline HANDLE NewEvent(bool manualReset = false, bool signalled = false) {
    return CreateEventA(nullptr, manualReset, signalled, nullptr);
}

inline bool IsSignalled(HANDLE handle) { return WaitForSingleObject(handle, 0) == WAIT_OBJECT_0; }

// Waits (serving) until the thread behind handle has ended.
inline bool WaitThreadEnd(HANDLE threadHandle) {
    HANDLE copy;
    DuplicateHandle(GetCurrentProcess(), threadHandle, GetCurrentProcess(), &copy, 0, FALSE, DUPLICATE_SAME_ACCESS);
    bool ended = WaitServing(copy);
    CloseHandle(copy);
    return ended;
}

// A class's own published properties, in order, by name.
inline std::string PropNames(Fw::TMetaClass* cls) {
    std::string names;
    for (const auto& p : cls->OwnProperties()) names += (names.empty() ? "" : " ") + p->Name;
    return names;
}

// A mutex whose owner thread ended without releasing it.
HANDLE AbandonedMutex();

using TestSupport::OpenHandleCount;

// A fresh folder under the temporary folder, removed with its files.
class TTempFolder {
public:
    explicit TTempFolder(const std::string& suffix = "") {
        char base[MAX_PATH];
        GetTempPathA(sizeof base, base);
        static int serial = 0;
        FPath = base + ("kit" + std::to_string(GetCurrentProcessId()) + "_" + std::to_string(++serial)) + suffix;
        CreateDirectoryA(FPath.c_str(), nullptr);
    }
    ~TTempFolder() {
        WIN32_FIND_DATAA data;
        HANDLE find = FindFirstFileA((FPath + "\\*").c_str(), &data);
        if (find != INVALID_HANDLE_VALUE) {
            do DeleteFileA((*this / data.cFileName).c_str());
            while (FindNextFileA(find, &data));
            FindClose(find);
        }
        RemoveDirectoryA(FPath.c_str());
    }
    const std::string& Path() const { return FPath; }
    std::string operator/(const std::string& name) const { return FPath + "\\" + name; }

private:
    std::string FPath;
};

// Writes text into a file, in place when it exists.
inline bool WriteInto(const std::string& file, const std::string& text = "x") {
    HANDLE h = CreateFileA(file.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    DWORD written = 0;
    bool ok = h != INVALID_HANDLE_VALUE && WriteFile(h, text.data(), DWORD(text.size()), &written, nullptr);
    if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
    return ok;
}

// Answers the message boxes of the thread that made it: records the last
// one's caption, text and buttons, and presses OK.
class TMessageBoxAnswerer {
public:
    TMessageBoxAnswerer() : FHook(SetWindowsHookExA(WH_CBT, &Proc, nullptr, GetCurrentThreadId())) { Current() = this; }
    ~TMessageBoxAnswerer() {
        UnhookWindowsHookEx(FHook);
        Current() = nullptr;
    }
    int Shown = 0, Buttons = 0;
    std::string Caption, Text;

private:
    static TMessageBoxAnswerer*& Current() {
        static thread_local TMessageBoxAnswerer* current = nullptr;
        return current;
    }
    static BOOL CALLBACK Child(HWND child, LPARAM param) {
        auto* self = reinterpret_cast<TMessageBoxAnswerer*>(param);
        char cls[32], text[512];
        GetClassNameA(child, cls, sizeof cls);
        GetWindowTextA(child, text, sizeof text);
        // The box itself may not be shown yet: the button's own style says.
        if (!lstrcmpiA(cls, "Button") && (GetWindowLongA(child, GWL_STYLE) & WS_VISIBLE)) ++self->Buttons;
        if (!lstrcmpiA(cls, "Static") && text[0]) self->Text = text;
        return TRUE;
    }
    static LRESULT CALLBACK Proc(int code, WPARAM wParam, LPARAM lParam) {
        auto box = reinterpret_cast<HWND>(wParam);
        char cls[32] = "", caption[256];
        if (code == HCBT_ACTIVATE && Current() && GetClassNameA(box, cls, sizeof cls) && !lstrcmpA(cls, "#32770")) {
            TMessageBoxAnswerer* self = Current();
            GetWindowTextA(box, caption, sizeof caption);
            ++self->Shown;
            self->Caption = caption;
            self->Buttons = 0;
            EnumChildWindows(box, &Child, reinterpret_cast<LPARAM>(self));
            PostMessageA(box, WM_COMMAND, IDOK, 0);
        }
        return CallNextHookEx(nullptr, code, wParam, lParam);
    }
    HHOOK FHook;
};

// Records calls of a notify-shaped event, signals each, then runs Then.
struct TNotifyLog {
    HANDLE Event = NewEvent();
    int Calls = 0;
    Fw::TObject* Sender = nullptr;
    DWORD ThreadId = 0;
    std::function<void()> Then;

    ~TNotifyLog() { CloseHandle(Event); }
    void Handle(Fw::TObject* sender) {
        ++Calls;
        Sender = sender;
        ThreadId = GetCurrentThreadId();
        SetEvent(Event);
        if (Then) Then();
    }
    Fw::TNotifyEvent Bind() { return Fw::MakeEvent<&TNotifyLog::Handle>(this); }
};

// While it lives, the application's exception reports come here.
struct TAppErrors {
    HANDLE Event = NewEvent();
    int Count = 0;
    std::string Message;
    Fw::TObject* Sender = nullptr;
    DWORD ThreadId = 0;

    TAppErrors() { Fw::Application->OnException = Fw::MakeEvent<&TAppErrors::Record>(this); }
    ~TAppErrors() {
        Fw::Application->OnException = nullptr;
        CloseHandle(Event);
    }
    void Record(Fw::TObject* sender, Fw::Exception* e) {
        ++Count;
        Message = e->Message();
        Sender = sender;
        ThreadId = GetCurrentThreadId();
        SetEvent(Event);
    }
};

}  // namespace ThreadsTest
