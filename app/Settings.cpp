#include "app/Settings.h"

#include "framework/Registry.h"

#include <shlobj.h>

namespace Velmora {

const char SettingsKey[] = "\\Software\\Dovrane\\Velmora";

bool LoadSettings(AnsiString& saveDir, AnsiString& prefix, bool& beep) {
    Fw::TRegistry registry;
    registry.SetRootKey(HKEY_CURRENT_USER);
    if (!registry.OpenKey(SettingsKey, false))
        return false;
    saveDir = registry.ReadString("SaveDir");
    prefix = registry.ReadString("Prefix");
    beep = registry.ReadBool("Beep");
    registry.CloseKey();
    return true;
}

void FirstRunSettings(HWND owner, AnsiString& saveDir, AnsiString& prefix, bool& beep) {
    char documents[MAX_PATH] = "";
    SHGetSpecialFolderPathA(owner, documents, CSIDL_PERSONAL, FALSE);
    saveDir = AnsiString(documents) + "\\壁紙";
    prefix = "WALL";
    beep = true;
}

bool SaveSettings(const AnsiString& saveDir, const AnsiString& prefix, bool beep) {
    Fw::TRegistry registry;
    registry.SetRootKey(HKEY_CURRENT_USER);
    if (!registry.OpenKey(SettingsKey, true))
        return false;
    try {
        registry.WriteString("SaveDir", saveDir);
        registry.WriteString("Prefix", prefix);
        registry.WriteBool("Beep", beep);
    } catch (const Fw::ERegistryException&) {
        return false;
    }
    registry.CloseKey();
    return true;
}

bool DeleteSettings() {
    Fw::TRegistry registry;
    registry.SetRootKey(HKEY_CURRENT_USER);
    return registry.DeleteKey(SettingsKey);
}

AnsiString TrimSaveDir(const AnsiString& text) {
    // LastDelimiter counts from 1 and passes over the trail bytes of
    // double-byte characters.
    if (!text.empty() && Fw::LastDelimiter("\\", text) == text.size())
        return text.substr(0, text.size() - 1);
    return text;
}

bool SaveDirExists(const AnsiString& saveDir) {
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA(saveDir.c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return false;
    FindClose(search);
    return true;
}

DWORD CreateSaveDir(const AnsiString& saveDir) {
    SECURITY_ATTRIBUTES attributes = {sizeof attributes, nullptr, TRUE};
    if (CreateDirectoryA(saveDir.c_str(), &attributes))
        return ERROR_SUCCESS;
    return GetLastError();
}

}  // namespace Velmora
