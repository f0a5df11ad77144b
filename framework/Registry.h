// Keys and values of the system registry, one open key at a time.
#pragma once

// Framework headers before <windows.h>, whose macros would rename
// framework members such as GetObject.
#include "framework/TypeInfo.h"

#include <windows.h>

namespace Fw {

class TStrings;

enum TRegDataType { rdUnknown, rdString, rdExpandString, rdInteger, rdBinary };

struct TRegDataInfo {
    TRegDataType RegData = rdUnknown;
    int DataSize = 0;
};

// Key paths: a leading '\' makes a path absolute, from RootKey; without it a
// path is relative to the open key (or to RootKey when none is open).
//
// Reading a value that is missing or of another type raises
// ERegistryException, except ReadString, which reads a missing value as "".
// A failed write raises ERegistryException. Reads and writes need an open
// key.
class TRegistry : public TObject {
public:
    FW_CLASS(TRegistry, TObject)
    // Root HKEY_CURRENT_USER, no key open, full access to keys opened later.
    TRegistry();
    explicit TRegistry(REGSAM access);
    ~TRegistry() override;

    HKEY RootKey() const { return FRootKey; }
    // Closes the open key.
    void SetRootKey(HKEY rootKey);
    HKEY CurrentKey() const { return FCurrentKey; }
    // The open key's path from the root, without a leading '\'.
    const AnsiString& CurrentPath() const { return FCurrentPath; }
    REGSAM Access() const { return FAccess; }
    void SetAccess(REGSAM access) { FAccess = access; }

    // Opens the key (creating it and any missing parents when canCreate)
    // and makes it the current key, closing the previous one. On failure
    // the previous key stays open and false is returned.
    bool OpenKey(const AnsiString& key, bool canCreate);
    // As OpenKey without creating, with read access only.
    bool OpenKeyReadOnly(const AnsiString& key);
    // Makes sure the key exists (creating missing parents too) without
    // opening it; ERegistryException when it cannot be made.
    bool CreateKey(const AnsiString& key);
    // Deletes the key with all its subkeys. The root itself is never
    // deleted; "" or "\" return false.
    bool DeleteKey(const AnsiString& key);
    bool KeyExists(const AnsiString& key);
    void CloseKey();

    bool DeleteValue(const AnsiString& name);
    bool ValueExists(const AnsiString& name);
    bool HasSubKeys();
    // Names of the open key's subkeys and values; the lists are cleared first.
    void GetKeyNames(TStrings* strings);
    void GetValueNames(TStrings* strings);

    TRegDataType GetDataType(const AnsiString& name);
    // Size in bytes as stored (a string's with its NUL), or -1 when missing.
    int GetDataSize(const AnsiString& name);
    bool GetDataInfo(const AnsiString& name, TRegDataInfo& info);

    // REG_SZ or REG_EXPAND_SZ (not expanded); "" when the value is missing.
    AnsiString ReadString(const AnsiString& name);
    // REG_DWORD. ReadBool is true for any number but 0.
    int ReadInteger(const AnsiString& name);
    bool ReadBool(const AnsiString& name);
    // Copies a REG_BINARY value into buffer; returns the bytes copied.
    // Raises when the value is missing, of another type, or larger than size.
    int ReadBinaryData(const AnsiString& name, void* buffer, int size);

    // REG_SZ with its terminating NUL counted in the size.
    void WriteString(const AnsiString& name, const AnsiString& value);
    void WriteExpandString(const AnsiString& name, const AnsiString& value);
    void WriteInteger(const AnsiString& name, int value);
    // REG_DWORD, 1 or 0.
    void WriteBool(const AnsiString& name, bool value);
    void WriteBinaryData(const AnsiString& name, const void* buffer, int size);

private:
    // The key a path starts from, and the path with its leading '\' and
    // trailing '\' removed.
    HKEY BaseKey(const AnsiString& key, AnsiString& relative) const;
    AnsiString FullPath(const AnsiString& key, const AnsiString& relative) const;
    HKEY OpenedKey(const AnsiString& name) const;
    void ChangeKey(HKEY key, const AnsiString& path);
    void PutData(const AnsiString& name, DWORD type, const void* data, DWORD size);

    HKEY FRootKey = HKEY_CURRENT_USER;
    HKEY FCurrentKey = nullptr;
    AnsiString FCurrentPath;
    REGSAM FAccess = KEY_ALL_ACCESS;
};

// The unit's initialise and finalise steps (Object.h).
FW_UNIT(Registry)

}  // namespace Fw
