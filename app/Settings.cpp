#include "app/Settings.h"

#include "framework/Registry.h"

#include <shlobj.h>

#include <cstring>
#include <string>

namespace Velmora {

const char SettingsKey[] = "\\Software\\Dovrane\\Velmora";

namespace {

const char Missing[] = "値がありません。";
const char InvalidType[] = "データ型が無効です。";

// One string value: true with its text, or false with why not. A missing
// value is empty text when missingIsEmpty.
bool ReadText(Fw::TRegistry& registry, const char* name, bool missingIsEmpty, AnsiString& value,
              AnsiString& reason) {
    Fw::TRegDataInfo info;
    if (!registry.GetDataInfo(name, info)) {
        value.clear();
        reason = Missing;
        return missingIsEmpty;
    }
    if (info.RegData != Fw::rdString && info.RegData != Fw::rdExpandString) {
        reason = InvalidType;
        return false;
    }
    try {
        value = registry.ReadString(name);
        return true;
    } catch (const Fw::ERegistryException& e) {  // changed by someone since the look
        reason = e.Message();
        return false;
    }
}

// One REG_DWORD value as a flag: true with it, or false with why not. A
// missing value keeps the flag as it was when missingIsDefault.
bool ReadFlag(Fw::TRegistry& registry, const char* name, bool missingIsDefault, bool& value, AnsiString& reason) {
    Fw::TRegDataInfo info;
    if (!registry.GetDataInfo(name, info)) {
        reason = Missing;
        return missingIsDefault;
    }
    try {
        if (info.RegData == Fw::rdInteger) {
            value = registry.ReadBool(name);
            return true;
        }
    } catch (const Fw::ERegistryException&) {  // not four bytes long
    }
    reason = InvalidType;
    return false;
}

bool IsDelimiter(char c) { return c == '\\' || c == '/'; }

const wchar_t RunKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";
const wchar_t RunValue[] = L"Velmora";

// The running program's path, outside the ANSI code page too.
std::wstring ProgramFile() {
    std::wstring path(32768, L'\0');
    const DWORD n = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    path.resize(n < path.size() ? n : 0);
    return path;
}

// A folder part that Windows would take for the current or a parent folder:
// dots alone, or dots and spaces, which it drops from the end of a name.
bool LeadsUp(const AnsiString& part) {
    return part.find('.') != AnsiString::npos && part.find_first_not_of(". ") == AnsiString::npos;
}

}  // namespace

bool LoadSettings(AnsiString& saveDir, AnsiString& prefix, bool& beep, TOptions& options,
                  std::vector<TUnreadSetting>& unread) {
    Fw::TRegistry registry;
    registry.SetRootKey(HKEY_CURRENT_USER);
    if (!registry.OpenKeyReadOnly(SettingsKey))
        return false;
    AnsiString text, reason;
    if (!ReadText(registry, "SaveDir", false, text, reason))
        unread.push_back({stSaveDir, "SaveDir", reason});
    else if (!IsAbsoluteSaveDir(text))
        unread.push_back({stSaveDir, "SaveDir", text.empty() ? "空です。" : "絶対パス（C:\\… や \\\\サーバー\\…）ではありません。"});
    else
        saveDir = text;

    // Checked against the folder in force, read or not: that is where the
    // pictures would go.
    if (!ReadText(registry, "Prefix", true, text, reason))
        unread.push_back({stPrefix, "Prefix", reason});
    else if (AnsiString problem = PrefixProblem(saveDir, text); !problem.empty())
        unread.push_back({stPrefix, "Prefix", problem});
    else
        prefix = text;

    const struct {
        TSetting setting;
        const char* name;
        bool missingIsDefault;
        bool& value;
    } flags[] = {{stBeep, "Beep", false, beep},
                 {stDesktop, "Desktop", true, options.Desktop},
                 {stNoDuplicates, "NoDuplicates", true, options.NoDuplicates}};
    for (const auto& f : flags)
        if (!ReadFlag(registry, f.name, f.missingIsDefault, f.value, reason))
            unread.push_back({f.setting, f.name, reason});
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

bool SaveSettings(const AnsiString& saveDir, const AnsiString& prefix, bool beep, const TOptions& options,
                  unsigned which) {
    Fw::TRegistry registry;
    registry.SetRootKey(HKEY_CURRENT_USER);
    if (!registry.OpenKey(SettingsKey, true))
        return false;
    try {
        if (which & stSaveDir)
            registry.WriteString("SaveDir", saveDir);
        if (which & stPrefix)
            registry.WriteString("Prefix", prefix);
        if (which & stBeep)
            registry.WriteBool("Beep", beep);
        if (which & stDesktop)
            registry.WriteBool("Desktop", options.Desktop);
        if (which & stNoDuplicates)
            registry.WriteBool("NoDuplicates", options.NoDuplicates);
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

bool StartsWithWindows() {
    HKEY key;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, RunKey, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return false;
    std::wstring data(32768, L'\0');
    DWORD type = REG_NONE, size = static_cast<DWORD>(data.size() * sizeof(wchar_t));
    const LONG read = RegQueryValueExW(key, RunValue, nullptr, &type, reinterpret_cast<BYTE*>(data.data()), &size);
    RegCloseKey(key);
    if (read != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ))
        return false;
    data.resize(size / sizeof(wchar_t));
    while (!data.empty() && data.back() == L'\0')
        data.pop_back();
    const std::wstring program = ProgramFile();
    for (const std::wstring& form : {program, L'"' + program + L'"'})
        if (!program.empty() && CompareStringOrdinal(data.c_str(), static_cast<int>(data.size()), form.c_str(),
                                                     static_cast<int>(form.size()), TRUE) == CSTR_EQUAL)
            return true;
    return false;
}

DWORD SetStartWithWindows(bool on) {
    HKEY key;
    if (!on) {
        LONG e = RegOpenKeyExW(HKEY_CURRENT_USER, RunKey, 0, KEY_SET_VALUE, &key);
        if (e == ERROR_SUCCESS) {
            e = RegDeleteValueW(key, RunValue);
            RegCloseKey(key);
        }
        return e == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : static_cast<DWORD>(e);
    }
    const std::wstring program = ProgramFile();
    if (program.empty())
        return GetLastError();
    // Quoted: the path may hold spaces, and the system reads the line as a command.
    const std::wstring command = L'"' + program + L'"';
    LONG e = RegCreateKeyExW(HKEY_CURRENT_USER, RunKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr);
    if (e != ERROR_SUCCESS)
        return static_cast<DWORD>(e);
    e = RegSetValueExW(key, RunValue, 0, REG_SZ, reinterpret_cast<const BYTE*>(command.c_str()),
                       static_cast<DWORD>((command.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(key);
    return static_cast<DWORD>(e);
}

AnsiString TrimSaveDir(const AnsiString& text) {
    // LastDelimiter counts from 1 and passes over the trail bytes of
    // double-byte characters.
    if (!text.empty() && Fw::LastDelimiter("\\", text) == text.size())
        return text.substr(0, text.size() - 1);
    return text;
}

bool IsAbsoluteSaveDir(const AnsiString& saveDir) {
    const std::size_t n = saveDir.size();
    const unsigned char first = n ? static_cast<unsigned char>(saveDir[0]) : 0;
    // An ASCII letter is no lead byte, so the ':' after it is a character.
    if (n >= 2 && first < 0x80 && IsCharAlphaA(static_cast<char>(first)) && saveDir[1] == ':')
        return n == 2 || IsDelimiter(saveDir[2]);
    return n >= 3 && IsDelimiter(saveDir[0]) && IsDelimiter(saveDir[1]) && !IsDelimiter(saveDir[2]);
}

AnsiString PrefixProblem(const AnsiString& saveDir, const AnsiString& prefix) {
    std::size_t partStart = 0;
    for (std::size_t i = 0; i < prefix.size();) {
        const unsigned char c = static_cast<unsigned char>(prefix[i]);
        if (Fw::IsLeadByte(c)) {
            if (i + 1 == prefix.size())  // a double-byte character cut in two
                return "ファイル名に使えない文字が含まれています。";
            i += 2;  // the trail byte may be '\\' or '|': it is part of the character
            continue;
        }
        if (c < 0x20)
            return "制御文字が含まれています。";
        if (c == ':')
            return "「:」は使えません。ドライブ名や、ファイルの別のデータ ストリームを指します。";
        if (std::strchr("<>\"|?*", c))
            return Fw::Format("ファイル名に使えない文字「%c」が含まれています。", c);
        if (IsDelimiter(static_cast<char>(c))) {
            if (i == 0)
                return "「\\」や「/」で始まるため、保存先フォルダの外（ドライブのルート）を指します。";
            if (LeadsUp(prefix.substr(partStart, i - partStart)))
                return "「..」などで保存先フォルダの外を指しています。";
            partStart = i + 1;
        }
        ++i;
    }
    // The last part is the start of a file name ("..001.BMP" is one), not a
    // folder. The longest numbered name has the ten digits of the largest
    // number, and ends in a NUL.
    const std::size_t longest = saveDir.size() + 1 + prefix.size() + 10 + 4 + 1;
    if (longest > MAX_PATH)
        return Fw::Format("長すぎます。保存先フォルダと合わせたファイル名が %d バイトを超えます。", MAX_PATH - 1);
    return AnsiString();
}

AnsiString PrefixFolder(const AnsiString& prefix) {
    const std::size_t cut = Fw::LastDelimiter("\\/", prefix);  // 1-based, double-byte aware
    return cut ? prefix.substr(0, cut - 1) : AnsiString();
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
