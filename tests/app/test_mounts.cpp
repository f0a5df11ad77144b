#include "test_mounts.h"

#include <windows.h>

std::string TestMount(const char* name, std::string& whyNot) {
    char unixPath[MAX_PATH] = "";
    DWORD n = GetEnvironmentVariableA("VELMORA_TEST_MOUNTS", unixPath, sizeof unixPath);
    if (n == 0 || n >= sizeof unixPath) {
        whyNot = "VELMORA_TEST_MOUNTS is not set: the small file systems are mounted by the CTest fixture "
                 "app_mounts (tools/test-mounts.sh)";
        return std::string();
    }
    std::string dir = std::string("Z:") + unixPath;
    for (char& c : dir)
        if (c == '/') c = '\\';

    HANDLE reason = CreateFileA((dir + "\\unavailable").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                0, nullptr);
    if (reason != INVALID_HANDLE_VALUE) {
        char text[512] = "";
        DWORD read = 0;
        ReadFile(reason, text, sizeof text - 1, &read, nullptr);
        CloseHandle(reason);
        whyNot = std::string(text, read);
        while (!whyNot.empty() && (whyNot.back() == '\n' || whyNot.back() == '\r')) whyNot.pop_back();
        return std::string();
    }
    const std::string mount = dir + "\\" + name;
    DWORD attributes = GetFileAttributesA(mount.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        whyNot = "no mount at " + mount;
        return std::string();
    }
    return mount;
}
