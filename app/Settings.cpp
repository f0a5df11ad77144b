#include "app/Settings.h"

#include "framework/Registry.h"

#include <shlobj.h>

#include <cstring>

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

bool IsDelimiter(char c) { return c == '\\' || c == '/'; }

// A folder part that Windows would take for the current or a parent folder:
// dots alone, or dots and spaces, which it drops from the end of a name.
bool LeadsUp(const AnsiString& part) {
    return part.find('.') != AnsiString::npos && part.find_first_not_of(". ") == AnsiString::npos;
}

}  // namespace

bool LoadSettings(AnsiString& saveDir, AnsiString& prefix, bool& beep, std::vector<TUnreadSetting>& unread) {
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

    Fw::TRegDataInfo info;
    if (!registry.GetDataInfo("Beep", info)) {
        unread.push_back({stBeep, "Beep", Missing});
    } else if (info.RegData != Fw::rdInteger) {
        unread.push_back({stBeep, "Beep", InvalidType});
    } else {
        try {
            beep = registry.ReadBool("Beep");
        } catch (const Fw::ERegistryException&) {  // not four bytes long
            unread.push_back({stBeep, "Beep", InvalidType});
        }
    }
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

bool SaveSettings(const AnsiString& saveDir, const AnsiString& prefix, bool beep, unsigned which) {
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
