// Programs of the machine Wine runs on, started from a test program: the X
// server's own input (xdotool) for the tests that drive real windows.
#pragma once

#include <windows.h>

#include <string>

namespace TestSupport {

// Runs path with arguments (ASCII) and returns at once; false when it cannot
// be started. Wine starts a Unix program without a Windows process: there is
// no process handle to wait on, and the thread handle is left unset (closing
// it would close some other handle of ours). A test waits for what the
// program does instead.
inline bool RunUnixProgram(const std::string& path, const std::string& arguments) {
    using DosName = WCHAR* (*)(const char*);
    auto dosName = reinterpret_cast<DosName>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "wine_get_dos_file_name")));
    if (!dosName) return false;
    WCHAR* dos = dosName(path.c_str());
    if (!dos) return false;
    std::wstring command = L"\"" + std::wstring(dos) + L"\" " + std::wstring(arguments.begin(), arguments.end());
    HeapFree(GetProcessHeap(), 0, dos);
    STARTUPINFOW startup{sizeof startup};
    PROCESS_INFORMATION info{};
    if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info))
        return false;
    if (info.hProcess) {
        CloseHandle(info.hThread);
        CloseHandle(info.hProcess);
    }
    return true;
}

// xdotool with the given commands, on the display the tests run on.
inline bool Xdotool(const std::string& commands) { return RunUnixProgram("/usr/bin/xdotool", commands); }

}  // namespace TestSupport
