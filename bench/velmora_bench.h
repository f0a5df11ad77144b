// What the benchmarks of velmora.exe share: its names and messages, the
// program beside the build tree's bench folder, its registry key kept and
// put back around a run, and its windows found by process.
#pragma once

#include <windows.h>
#include <shlobj.h>

#include <cstdio>
#include <initializer_list>
#include <string>
#include <vector>

namespace VelmoraBench {

inline constexpr char Key[] = "Software\\Dovrane\\Velmora";
inline constexpr char Parent[] = "Software\\Dovrane";
inline constexpr char SettingsCaption[] = "Velmoraの設定";
inline constexpr UINT TrayMessage = WM_USER + 1;
inline constexpr UINT TrayIconId = 100;

inline double Now() {
    LARGE_INTEGER c, f;
    QueryPerformanceCounter(&c);
    QueryPerformanceFrequency(&f);
    return double(c.QuadPart) / double(f.QuadPart);
}

// Says what went wrong, under the benchmark's own name, and ends it.
[[noreturn]] inline void Fail(const std::string& what) {
    char path[MAX_PATH] = "";
    GetModuleFileNameA(nullptr, path, sizeof path);
    const char* name = path;
    for (const char* p = path; *p; p = CharNextA(p))
        if (*p == '\\') name = p + 1;
    std::fprintf(stderr, "%s: %s\n", name, what.c_str());
    std::fflush(stderr);
    ExitProcess(1);
}

inline std::string SpecialFolder(int csidl) {
    char path[MAX_PATH] = "";
    SHGetSpecialFolderPathA(nullptr, path, csidl, FALSE);
    return path;
}

// velmora.exe sits at the top of the build tree, one level above bench\.
inline std::string ProgramPath() {
    char path[MAX_PATH] = "";
    GetModuleFileNameA(nullptr, path, sizeof path);
    std::string self = path;
    std::size_t cut = std::string::npos;
    for (const char* p = self.c_str(); *p; p = CharNextA(p))
        if (*p == '\\') cut = static_cast<std::size_t>(p - self.c_str());
    std::string dir = self.substr(0, cut);
    std::string parent;
    cut = std::string::npos;
    for (const char* p = dir.c_str(); *p; p = CharNextA(p))
        if (*p == '\\') cut = static_cast<std::size_t>(p - dir.c_str());
    parent = cut == std::string::npos ? dir : dir.substr(0, cut);
    return parent + "\\velmora.exe";
}

// ---- The registry key, kept and put back ----

struct TValue {
    std::string Name;
    DWORD Type = REG_NONE;
    std::string Data;
    bool Present = false;
};

struct TSavedKey {
    bool ParentExisted = false;
    bool Existed = false;
    std::vector<TValue> Values;
};

inline TSavedKey SaveKey() {
    TSavedKey saved;
    HKEY key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, Parent, 0, KEY_READ, &key) == ERROR_SUCCESS) {
        saved.ParentExisted = true;
        RegCloseKey(key);
    }
    if (RegOpenKeyExA(HKEY_CURRENT_USER, Key, 0, KEY_READ, &key) != ERROR_SUCCESS) return saved;
    saved.Existed = true;
    for (const char* name : {"SaveDir", "Prefix", "Beep", "Desktop", "NoDuplicates"}) {
        TValue v;
        v.Name = name;
        char data[2048];
        DWORD size = sizeof data;
        if (RegQueryValueExA(key, name, nullptr, &v.Type, reinterpret_cast<BYTE*>(data), &size) == ERROR_SUCCESS) {
            v.Data.assign(data, size);
            v.Present = true;
        }
        saved.Values.push_back(v);
    }
    RegCloseKey(key);
    return saved;
}

inline void RestoreKey(const TSavedKey& saved) {
    RegDeleteTreeA(HKEY_CURRENT_USER, Key);
    if (!saved.ParentExisted) RegDeleteKeyA(HKEY_CURRENT_USER, Parent);
    if (!saved.Existed) return;
    HKEY key;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, Key, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr) != ERROR_SUCCESS)
        return;
    for (const TValue& v : saved.Values)
        if (v.Present)
            RegSetValueExA(key, v.Name.c_str(), 0, v.Type, reinterpret_cast<const BYTE*>(v.Data.data()),
                           static_cast<DWORD>(v.Data.size()));
    RegCloseKey(key);
}

inline void PutSettings(const std::string& saveDir) {
    HKEY key;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, Key, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr) != ERROR_SUCCESS)
        Fail("cannot write the settings key");
    RegSetValueExA(key, "SaveDir", 0, REG_SZ, reinterpret_cast<const BYTE*>(saveDir.c_str()),
                   static_cast<DWORD>(saveDir.size() + 1));
    RegSetValueExA(key, "Prefix", 0, REG_SZ, reinterpret_cast<const BYTE*>("WALL"), 5);
    DWORD beep = 0;
    RegSetValueExA(key, "Beep", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&beep), sizeof beep);
    RegCloseKey(key);
}

struct TSearch {
    DWORD ProcessId;
    const char* ClassName;
    const char* Caption;
    HWND Found;
};

inline BOOL CALLBACK Match(HWND window, LPARAM data) {
    auto* s = reinterpret_cast<TSearch*>(data);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner != s->ProcessId) return TRUE;
    char text[256] = "";
    if (s->ClassName) {
        GetClassNameA(window, text, sizeof text);
        if (std::string(text) != s->ClassName) return TRUE;
    }
    if (s->Caption) {
        GetWindowTextA(window, text, sizeof text);
        if (std::string(text) != s->Caption) return TRUE;
    }
    s->Found = window;
    return FALSE;
}

inline HWND FindOf(DWORD processId, const char* className, const char* caption) {
    TSearch s{processId, className, caption, nullptr};
    EnumWindows(Match, reinterpret_cast<LPARAM>(&s));
    return s.Found;
}

inline void PostKeys(HWND menu, std::initializer_list<WPARAM> keys) {
    for (WPARAM key : keys) {
        PostMessageA(menu, WM_KEYDOWN, key, 1);
        PostMessageA(menu, WM_KEYUP, key, 0xC0000001);
    }
}

}  // namespace VelmoraBench
