// The settings store against the current user's registry of the test
// prefix, and the save-folder checks against real folders.
#include <gtest/gtest.h>
#include <windows.h>

#include <iterator>

#include "app/Settings.h"
#include "framework/Registry.h"

using namespace Velmora;
using Fw::Format;

namespace {

const char Key[] = "Software\\Dovrane\\Velmora";
const char Parent[] = "Software\\Dovrane";

bool KeyExists(const char* path) {
    HKEY k;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, path, 0, KEY_READ, &k) != ERROR_SUCCESS)
        return false;
    RegCloseKey(k);
    return true;
}

// Type and bytes of a value, read past the store.
AnsiString RawValue(const char* name, DWORD& type) {
    HKEY k;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, Key, 0, KEY_READ, &k) != ERROR_SUCCESS)
        return "(no key)";
    char data[512];
    DWORD size = sizeof data;
    LONG r = RegQueryValueExA(k, name, nullptr, &type, reinterpret_cast<BYTE*>(data), &size);
    RegCloseKey(k);
    return r == ERROR_SUCCESS ? AnsiString(data, size) : AnsiString("(no value)");
}

void PutRaw(const char* name, DWORD type, const void* data, DWORD size) {
    HKEY k;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_CURRENT_USER, Key, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &k, nullptr));
    EXPECT_EQ(ERROR_SUCCESS, RegSetValueExA(k, name, 0, type, static_cast<const BYTE*>(data), size));
    RegCloseKey(k);
}

class Settings : public ::testing::Test {
protected:
    void SetUp() override { RegDeleteTreeA(HKEY_CURRENT_USER, Key); }
    void TearDown() override {
        RegDeleteTreeA(HKEY_CURRENT_USER, Key);
        RegDeleteKeyA(HKEY_CURRENT_USER, Parent);  // only when nothing else lives there
    }
    AnsiString SaveDir = "unchanged", Prefix = "unchanged";
    bool Beep = false;
};

}  // namespace

TEST_F(Settings, WhatIsSavedIsLoadedWithTheTypesOfTheRegistryClass) {
    const AnsiString dir = "C:\\My Documents\\表示\\壁紙";  // "表" ends in the byte of '\'
    ASSERT_TRUE(SaveSettings(dir, "壁紙", false));
    DWORD type = 0;
    EXPECT_EQ(dir + '\0', RawValue("SaveDir", type));
    EXPECT_EQ(static_cast<DWORD>(REG_SZ), type);
    EXPECT_EQ(AnsiString("壁紙") + '\0', RawValue("Prefix", type));
    EXPECT_EQ(static_cast<DWORD>(REG_SZ), type);
    EXPECT_EQ(AnsiString("\0\0\0\0", 4), RawValue("Beep", type));
    EXPECT_EQ(static_cast<DWORD>(REG_DWORD), type);

    Beep = true;
    ASSERT_TRUE(LoadSettings(SaveDir, Prefix, Beep));
    EXPECT_EQ(dir, SaveDir);
    EXPECT_EQ("壁紙", Prefix);
    EXPECT_FALSE(Beep);

    ASSERT_TRUE(SaveSettings("", "", true));  // overwrites; empty texts keep their NUL
    EXPECT_EQ(AnsiString(1, '\0'), RawValue("SaveDir", type));
    EXPECT_EQ(AnsiString("\1\0\0\0", 4), RawValue("Beep", type));
    ASSERT_TRUE(LoadSettings(SaveDir, Prefix, Beep));
    EXPECT_EQ("", SaveDir);
    EXPECT_TRUE(Beep);

    DWORD seven = 7;  // any number but 0 is on
    PutRaw("Beep", REG_DWORD, &seven, sizeof seven);
    Beep = false;
    ASSERT_TRUE(LoadSettings(SaveDir, Prefix, Beep));
    EXPECT_TRUE(Beep);
}

TEST_F(Settings, NoKeyIsAFirstRun) {
    EXPECT_FALSE(LoadSettings(SaveDir, Prefix, Beep));
    EXPECT_EQ("unchanged", SaveDir);
    EXPECT_EQ("unchanged", Prefix);
    EXPECT_FALSE(KeyExists(Key));  // looking does not create it

    FirstRunSettings(nullptr, SaveDir, Prefix, Beep);
    EXPECT_EQ("WALL", Prefix);
    EXPECT_TRUE(Beep);
    EXPECT_EQ("壁紙", Fw::ExtractFileName(SaveDir));
    EXPECT_TRUE(Fw::DirectoryExists(Fw::ExtractFileDir(SaveDir))) << SaveDir;  // the documents folder
}

TEST_F(Settings, ABeepThatIsNoNumberStopsTheLoad) {
    // Missing strings read as empty text.
    DWORD one = 1;
    PutRaw("Beep", REG_DWORD, &one, sizeof one);
    ASSERT_TRUE(LoadSettings(SaveDir, Prefix, Beep));
    EXPECT_EQ("", SaveDir);
    EXPECT_EQ("", Prefix);
    EXPECT_TRUE(Beep);

    struct Case {
        DWORD type;
        AnsiString data;
    } cases[] = {{REG_SZ, AnsiString("1", 2)}, {REG_BINARY, AnsiString("\1\0\0\0", 4)}};
    for (int missing = 0; missing <= static_cast<int>(std::size(cases)); ++missing) {
        SCOPED_TRACE(missing);
        RegDeleteTreeA(HKEY_CURRENT_USER, Key);
        PutRaw("SaveDir", REG_SZ, "D:\\pics", 8);
        PutRaw("Prefix", REG_SZ, "IE", 3);
        if (missing < static_cast<int>(std::size(cases)))
            PutRaw("Beep", cases[missing].type, cases[missing].data.data(),
                   static_cast<DWORD>(cases[missing].data.size()));
        SaveDir = Prefix = "unchanged";
        Beep = false;
        EXPECT_THROW(LoadSettings(SaveDir, Prefix, Beep), Fw::ERegistryException);
        EXPECT_EQ("D:\\pics", SaveDir);  // read before the failing value
        EXPECT_EQ("IE", Prefix);
        EXPECT_FALSE(Beep);
    }
}

TEST_F(Settings, DeleteRemovesTheKeyAndKeepsItsParent) {
    ASSERT_TRUE(SaveSettings("C:\\a", "WALL", true));
    HKEY sub;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Dovrane\\Velmora\\Old", 0, nullptr, 0,
                                             KEY_ALL_ACCESS, nullptr, &sub, nullptr));
    RegCloseKey(sub);
    EXPECT_TRUE(DeleteSettings());
    EXPECT_FALSE(KeyExists(Key));
    EXPECT_TRUE(KeyExists(Parent));
    EXPECT_FALSE(LoadSettings(SaveDir, Prefix, Beep));
    EXPECT_FALSE(DeleteSettings());
    EXPECT_TRUE(KeyExists(Parent));
}

TEST(SaveFolder, OneTrailingBackslashGoes) {
    struct Case {
        const char* typed;
        const char* kept;
    } cases[] = {
        {"C:\\", "C:"},
        {"D:\\pics\\", "D:\\pics"},
        {"D:\\pics\\\\", "D:\\pics\\"},
        {"D:\\pics", "D:\\pics"},
        {"", ""},
        {"\\", ""},
        {"C:\\表", "C:\\表"},        // 0x95 0x5C: one character, no backslash
        {"C:\\ソ\\", "C:\\ソ"},      // 0x83 0x5C
        {"C:\\表\\", "C:\\表"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.kept, TrimSaveDir(c.typed)) << c.typed;
}

TEST(SaveFolder, ExistsAndCreate) {
    char temp[MAX_PATH];
    ASSERT_NE(0u, GetTempPathA(sizeof temp, temp));
    const AnsiString root = Format("%svelmora-settings-%lu", temp, GetCurrentProcessId());
    const AnsiString dir = root + "\\壁紙", file = root + "\\file.bmp";

    EXPECT_FALSE(SaveDirExists(root));
    EXPECT_EQ(static_cast<DWORD>(ERROR_PATH_NOT_FOUND), CreateSaveDir(dir));  // one level only
    EXPECT_FALSE(SaveDirExists(dir));
    EXPECT_EQ(static_cast<DWORD>(ERROR_SUCCESS), CreateSaveDir(root));
    EXPECT_EQ(static_cast<DWORD>(ERROR_SUCCESS), CreateSaveDir(dir));
    EXPECT_TRUE(SaveDirExists(dir));
    EXPECT_TRUE(Fw::DirectoryExists(dir));
    EXPECT_EQ(static_cast<DWORD>(ERROR_ALREADY_EXISTS), CreateSaveDir(dir));

    HANDLE f = CreateFileA(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, f);
    CloseHandle(f);
    EXPECT_TRUE(SaveDirExists(file));  // a file answers to the name as well

    DeleteFileA(file.c_str());
    RemoveDirectoryA(dir.c_str());
    RemoveDirectoryA(root.c_str());
}
