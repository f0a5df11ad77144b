// The path of a program that the build puts beside this test program.
#pragma once

#include <windows.h>

#include <string>

inline std::string ProgramBeside(const char* name) {
    char path[MAX_PATH] = "";
    DWORD n = GetModuleFileNameA(nullptr, path, sizeof path);
    std::string self(path, n);
    // Double-byte aware: a trail byte of a Shift-JIS folder name can be '\'.
    std::size_t cut = std::string::npos;
    for (const char* p = self.c_str(); *p; p = CharNextA(p))
        if (*p == '\\') cut = static_cast<std::size_t>(p - self.c_str());
    return (cut == std::string::npos ? std::string() : self.substr(0, cut + 1)) + name;
}
