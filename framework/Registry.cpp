#include "framework/Registry.h"

#include <vector>

#include "framework/StringList.h"

namespace Fw {

FW_UNIT_BEGIN(Registry)
    .Classes<TRegistry>()
FW_UNIT_END

FW_PUBLISH(TRegistry)
FW_END_PUBLISH

namespace {

[[noreturn]] void RaiseReadFailed(const AnsiString& name) {
    throw ERegistryException(Format("'%s' の読み込みに失敗しました.", name.c_str()));
}

[[noreturn]] void RaiseInvalidType(const AnsiString& name) {
    throw ERegistryException(Format("'%s' のデータ型が無効です.", name.c_str()));
}

TRegDataType DataTypeOf(DWORD type) {
    switch (type) {
        case REG_SZ: return rdString;
        case REG_EXPAND_SZ: return rdExpandString;
        case REG_DWORD: return rdInteger;
        case REG_BINARY: return rdBinary;
        default: return rdUnknown;
    }
}

// Subkeys first: RegDeleteKeyA refuses a key that still has any. A name
// that does not survive the trip through the ANSI code page could open the
// parent itself again ("" does), so empty names are skipped and the depth is
// bounded by the system's own limit of 512 levels.
bool DeleteKeyTree(HKEY parent, const AnsiString& subKey, int depth = 0) {
    HKEY key;
    if (subKey.empty() || depth > 512 ||
        RegOpenKeyExA(parent, subKey.c_str(), 0, KEY_ENUMERATE_SUB_KEYS | KEY_QUERY_VALUE, &key) !=
            ERROR_SUCCESS)
        return false;
    std::vector<AnsiString> children;
    char name[1024];
    for (DWORD i = 0;; ++i) {
        DWORD length = sizeof name;
        LONG r = RegEnumKeyExA(key, i, name, &length, nullptr, nullptr, nullptr, nullptr);
        if (r != ERROR_SUCCESS)
            break;
        children.emplace_back(name, length);
    }
    for (const AnsiString& child : children)
        DeleteKeyTree(key, child, depth + 1);
    RegCloseKey(key);
    return RegDeleteKeyA(parent, subKey.c_str()) == ERROR_SUCCESS;
}

}  // namespace

TRegistry::TRegistry() = default;

TRegistry::TRegistry(REGSAM access) : FAccess(access) {}

TRegistry::~TRegistry() {
    CloseKey();
}

void TRegistry::SetRootKey(HKEY rootKey) {
    if (rootKey == FRootKey)
        return;
    CloseKey();
    FRootKey = rootKey;
}

HKEY TRegistry::BaseKey(const AnsiString& key, AnsiString& relative) const {
    // A first byte is never a trail byte, so key[0] is a '\' of its own.
    bool absolute = !key.empty() && key[0] == '\\';
    relative = ExcludeTrailingBackslash(absolute ? key.substr(1) : key);
    return absolute || !FCurrentKey ? FRootKey : FCurrentKey;
}

AnsiString TRegistry::FullPath(const AnsiString& key, const AnsiString& relative) const {
    bool absolute = !key.empty() && key[0] == '\\';
    if (absolute || !FCurrentKey || FCurrentPath.empty())
        return relative;
    if (relative.empty())
        return FCurrentPath;
    return FCurrentPath + "\\" + relative;
}

void TRegistry::ChangeKey(HKEY key, const AnsiString& path) {
    CloseKey();
    FCurrentKey = key;
    FCurrentPath = path;
}

void TRegistry::CloseKey() {
    if (FCurrentKey) {
        RegCloseKey(FCurrentKey);
        FCurrentKey = nullptr;
    }
    FCurrentPath.clear();
}

bool TRegistry::OpenKey(const AnsiString& key, bool canCreate) {
    AnsiString relative;
    HKEY base = BaseKey(key, relative);
    HKEY opened = nullptr;
    LONG r;
    if (canCreate) {
        DWORD disposition;
        r = RegCreateKeyExA(base, relative.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, FAccess,
                            nullptr, &opened, &disposition);
    } else {
        r = RegOpenKeyExA(base, relative.c_str(), 0, FAccess, &opened);
    }
    if (r != ERROR_SUCCESS)
        return false;
    ChangeKey(opened, FullPath(key, relative));
    return true;
}

bool TRegistry::OpenKeyReadOnly(const AnsiString& key) {
    AnsiString relative;
    HKEY base = BaseKey(key, relative);
    HKEY opened = nullptr;
    if (RegOpenKeyExA(base, relative.c_str(), 0, KEY_READ, &opened) != ERROR_SUCCESS)
        return false;
    ChangeKey(opened, FullPath(key, relative));
    return true;
}

bool TRegistry::CreateKey(const AnsiString& key) {
    AnsiString relative;
    HKEY base = BaseKey(key, relative);
    HKEY created = nullptr;
    DWORD disposition;
    if (RegCreateKeyExA(base, relative.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, FAccess,
                        nullptr, &created, &disposition) != ERROR_SUCCESS)
        throw ERegistryException(Format("キー '%s' を作成できません.", key.c_str()));
    RegCloseKey(created);
    return true;
}

bool TRegistry::DeleteKey(const AnsiString& key) {
    AnsiString relative;
    HKEY base = BaseKey(key, relative);
    if (relative.empty())
        return false;
    return DeleteKeyTree(base, relative);
}

bool TRegistry::KeyExists(const AnsiString& key) {
    AnsiString relative;
    HKEY base = BaseKey(key, relative);
    HKEY probe;
    if (RegOpenKeyExA(base, relative.c_str(), 0, KEY_QUERY_VALUE, &probe) != ERROR_SUCCESS)
        return false;
    RegCloseKey(probe);
    return true;
}

HKEY TRegistry::OpenedKey(const AnsiString& name) const {
    if (!FCurrentKey)
        throw ERegistryException(Format("'%s' を扱うレジストリキーが開かれていません.", name.c_str()));
    return FCurrentKey;
}

bool TRegistry::DeleteValue(const AnsiString& name) {
    return FCurrentKey && RegDeleteValueA(FCurrentKey, name.c_str()) == ERROR_SUCCESS;
}

bool TRegistry::ValueExists(const AnsiString& name) {
    TRegDataInfo info;
    return GetDataInfo(name, info);
}

bool TRegistry::HasSubKeys() {
    DWORD subKeys = 0;
    return FCurrentKey &&
           RegQueryInfoKeyA(FCurrentKey, nullptr, nullptr, nullptr, &subKeys, nullptr, nullptr,
                            nullptr, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS &&
           subKeys > 0;
}

void TRegistry::GetKeyNames(TStrings* strings) {
    strings->BeginUpdate();
    auto endUpdate = OnScopeExit([strings] { strings->EndUpdate(); });
    strings->Clear();
    if (!FCurrentKey) return;
    char name[1024];
    for (DWORD i = 0;; ++i) {
        DWORD length = sizeof name;
        if (RegEnumKeyExA(FCurrentKey, i, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            break;
        strings->Add(AnsiString(name, length));
    }
}

void TRegistry::GetValueNames(TStrings* strings) {
    strings->BeginUpdate();
    auto endUpdate = OnScopeExit([strings] { strings->EndUpdate(); });
    strings->Clear();
    if (!FCurrentKey) return;
    // A value name may be up to 16383 characters.
    std::vector<char> name(32768);
    for (DWORD i = 0;; ++i) {
        DWORD length = static_cast<DWORD>(name.size());
        if (RegEnumValueA(FCurrentKey, i, name.data(), &length, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS)
            break;
        strings->Add(AnsiString(name.data(), length));
    }
}

bool TRegistry::GetDataInfo(const AnsiString& name, TRegDataInfo& info) {
    info = TRegDataInfo();
    DWORD type = REG_NONE, size = 0;
    if (!FCurrentKey ||
        RegQueryValueExA(FCurrentKey, name.c_str(), nullptr, &type, nullptr, &size) != ERROR_SUCCESS)
        return false;
    info.RegData = DataTypeOf(type);
    info.DataSize = static_cast<int>(size);
    return true;
}

TRegDataType TRegistry::GetDataType(const AnsiString& name) {
    TRegDataInfo info;
    GetDataInfo(name, info);
    return info.RegData;
}

int TRegistry::GetDataSize(const AnsiString& name) {
    TRegDataInfo info;
    return GetDataInfo(name, info) ? info.DataSize : -1;
}

AnsiString TRegistry::ReadString(const AnsiString& name) {
    HKEY key = OpenedKey(name);
    DWORD type = REG_NONE, size = 0;
    LONG r = RegQueryValueExA(key, name.c_str(), nullptr, &type, nullptr, &size);
    if (r == ERROR_FILE_NOT_FOUND)
        return AnsiString();
    std::vector<char> data;
    // Another program may lengthen the value between the two queries.
    while (r == ERROR_SUCCESS || r == ERROR_MORE_DATA) {
        if (type != REG_SZ && type != REG_EXPAND_SZ)
            RaiseInvalidType(name);
        data.resize(size + 1);
        DWORD got = size;
        r = RegQueryValueExA(key, name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(data.data()), &got);
        if (r == ERROR_SUCCESS) {
            data.resize(got);
            // As the system reads strings: up to the first NUL.
            std::size_t length = 0;
            while (length < data.size() && data[length] != '\0')
                ++length;
            return AnsiString(data.data(), length);
        }
        size = got;
    }
    RaiseReadFailed(name);
}

int TRegistry::ReadInteger(const AnsiString& name) {
    HKEY key = OpenedKey(name);
    DWORD type = REG_NONE, value = 0, size = sizeof value;
    LONG r = RegQueryValueExA(key, name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(&value), &size);
    if (r == ERROR_MORE_DATA || (r == ERROR_SUCCESS && (type != REG_DWORD || size != sizeof value)))
        RaiseInvalidType(name);
    if (r != ERROR_SUCCESS)
        RaiseReadFailed(name);
    return static_cast<int>(value);
}

bool TRegistry::ReadBool(const AnsiString& name) {
    return ReadInteger(name) != 0;
}

int TRegistry::ReadBinaryData(const AnsiString& name, void* buffer, int size) {
    HKEY key = OpenedKey(name);
    DWORD type = REG_NONE, needed = 0;
    if (RegQueryValueExA(key, name.c_str(), nullptr, &type, nullptr, &needed) != ERROR_SUCCESS)
        RaiseReadFailed(name);
    if (DataTypeOf(type) != rdBinary && DataTypeOf(type) != rdUnknown)
        RaiseInvalidType(name);
    if (size < 0 || needed > static_cast<DWORD>(size))
        throw ERegistryException(
            Format("'%s' は %lu バイトあり, %d バイトのバッファに入りません.", name.c_str(), needed, size));
    DWORD got = needed;
    if (RegQueryValueExA(key, name.c_str(), nullptr, &type, static_cast<BYTE*>(buffer), &got) != ERROR_SUCCESS)
        RaiseReadFailed(name);
    return static_cast<int>(got);
}

void TRegistry::PutData(const AnsiString& name, DWORD type, const void* data, DWORD size) {
    HKEY key = OpenedKey(name);
    if (RegSetValueExA(key, name.c_str(), 0, type, static_cast<const BYTE*>(data), size) != ERROR_SUCCESS)
        throw ERegistryException(Format("'%s' の書き込みに失敗しました.", name.c_str()));
}

void TRegistry::WriteString(const AnsiString& name, const AnsiString& value) {
    PutData(name, REG_SZ, value.c_str(), static_cast<DWORD>(value.size() + 1));
}

void TRegistry::WriteExpandString(const AnsiString& name, const AnsiString& value) {
    PutData(name, REG_EXPAND_SZ, value.c_str(), static_cast<DWORD>(value.size() + 1));
}

void TRegistry::WriteInteger(const AnsiString& name, int value) {
    DWORD data = static_cast<DWORD>(value);
    PutData(name, REG_DWORD, &data, sizeof data);
}

void TRegistry::WriteBool(const AnsiString& name, bool value) {
    WriteInteger(name, value ? 1 : 0);
}

void TRegistry::WriteBinaryData(const AnsiString& name, const void* buffer, int size) {
    if (size < 0)
        throw ERegistryException(Format("'%s' の書き込みに失敗しました.", name.c_str()));
    PutData(name, REG_BINARY, buffer, static_cast<DWORD>(size));
}

}  // namespace Fw
