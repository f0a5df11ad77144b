// The settings store against the current user's registry of the test
// prefix, and the save-folder checks against real folders.
#include <gtest/gtest.h>
#include <windows.h>

#include <iterator>
#include <string_view>
#include <utility>
#include <vector>

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
    bool Load() {
        Unread.clear();
        return LoadSettings(SaveDir, Prefix, Beep, Options, Unread);
    }
    // The names of the values not read, in the order reported.
    AnsiString UnreadNames() const {
        AnsiString names;
        for (const TUnreadSetting& u : Unread)
            names += (names.empty() ? "" : " ") + u.Name;
        return names;
    }
    AnsiString SaveDir = "unchanged", Prefix = "unchanged";
    bool Beep = false;
    TOptions Options;
    std::vector<TUnreadSetting> Unread;
};

}  // namespace

TEST_F(Settings, WhatIsSavedIsLoadedWithTheTypesOfTheRegistryClass) {
    const AnsiString dir = "C:\\My Documents\\表示\\壁紙";  // "表" ends in the byte of '\'
    ASSERT_TRUE(SaveSettings(dir, "壁紙", false, {false, true}));
    DWORD type = 0;
    EXPECT_EQ(dir + '\0', RawValue("SaveDir", type));
    EXPECT_EQ(static_cast<DWORD>(REG_SZ), type);
    EXPECT_EQ(AnsiString("壁紙") + '\0', RawValue("Prefix", type));
    EXPECT_EQ(static_cast<DWORD>(REG_SZ), type);
    EXPECT_EQ(AnsiString("\0\0\0\0", 4), RawValue("Beep", type));
    EXPECT_EQ(static_cast<DWORD>(REG_DWORD), type);
    EXPECT_EQ(AnsiString("\0\0\0\0", 4), RawValue("Desktop", type));
    EXPECT_EQ(static_cast<DWORD>(REG_DWORD), type);
    EXPECT_EQ(AnsiString("\1\0\0\0", 4), RawValue("NoDuplicates", type));

    Beep = true;
    ASSERT_TRUE(Load());
    EXPECT_EQ("", UnreadNames());
    EXPECT_EQ(dir, SaveDir);
    EXPECT_EQ("壁紙", Prefix);
    EXPECT_FALSE(Beep);
    EXPECT_FALSE(Options.Desktop);
    EXPECT_TRUE(Options.NoDuplicates);

    ASSERT_TRUE(SaveSettings("\\\\server\\share", "", true, {}));  // overwrites; empty texts keep their NUL
    EXPECT_EQ(AnsiString(1, '\0'), RawValue("Prefix", type));
    EXPECT_EQ(AnsiString("\1\0\0\0", 4), RawValue("Beep", type));
    ASSERT_TRUE(Load());
    EXPECT_EQ("", UnreadNames());
    EXPECT_EQ("\\\\server\\share", SaveDir);
    EXPECT_EQ("", Prefix);
    EXPECT_TRUE(Beep);

    DWORD seven = 7;  // any number but 0 is on
    PutRaw("Beep", REG_DWORD, &seven, sizeof seven);
    Beep = false;
    ASSERT_TRUE(Load());
    EXPECT_TRUE(Beep);

    // Only what is asked for is written; the rest stays as stored.
    ASSERT_TRUE(SaveSettings("D:\\other", "IE", false, {}, stPrefix));
    EXPECT_EQ(AnsiString("\\\\server\\share") + '\0', RawValue("SaveDir", type));
    EXPECT_EQ(AnsiString("IE") + '\0', RawValue("Prefix", type));
    EXPECT_EQ(AnsiString("\7\0\0\0", 4), RawValue("Beep", type));

    // A flag of another type is named as the others are, and keeps its default.
    PutRaw("Desktop", REG_SZ, "0", 2);
    Options = {};
    ASSERT_TRUE(Load());
    EXPECT_EQ("Desktop", UnreadNames());
    EXPECT_TRUE(Options.Desktop);
}

TEST_F(Settings, NoKeyIsAFirstRun) {
    EXPECT_FALSE(Load());
    EXPECT_EQ("unchanged", SaveDir);
    EXPECT_EQ("unchanged", Prefix);
    EXPECT_TRUE(Unread.empty());
    EXPECT_FALSE(KeyExists(Key));  // looking does not create it

    FirstRunSettings(nullptr, SaveDir, Prefix, Beep);
    EXPECT_EQ("WALL", Prefix);
    EXPECT_TRUE(Beep);
    EXPECT_EQ("壁紙", Fw::ExtractFileName(SaveDir));
    EXPECT_TRUE(IsAbsoluteSaveDir(SaveDir)) << SaveDir;
    EXPECT_TRUE(Fw::DirectoryExists(Fw::ExtractFileDir(SaveDir))) << SaveDir;  // the documents folder
}

// Each value that cannot be used is named once with its reason and leaves
// the caller's default in place; the others are read all the same.
TEST_F(Settings, AValueThatCannotBeUsedIsNamedAndKeepsTheDefault) {
    struct Value {
        DWORD type;
        std::string_view data;  // with the NUL of a string
    };
    const Value goodDir{REG_SZ, std::string_view("D:\\pics", 8)}, goodPrefix{REG_SZ, std::string_view("IE", 3)},
        goodBeep{REG_DWORD, std::string_view("\1\0\0\0", 4)}, missing{REG_NONE, {}};
    struct Case {
        Value dir, prefix, beep;
        const char* unread;
        const char* reason;  // of the first value not read
    } cases[] = {
        {{REG_DWORD, std::string_view("\5\0\0\0", 4)}, goodPrefix, goodBeep, "SaveDir", "データ型が無効です。"},
        {{REG_BINARY, std::string_view("D:\\", 3)}, goodPrefix, goodBeep, "SaveDir", "データ型が無効です。"},
        {missing, goodPrefix, goodBeep, "SaveDir", "値がありません。"},
        {{REG_SZ, std::string_view("", 1)}, goodPrefix, goodBeep, "SaveDir", "空です。"},
        {{REG_SZ, std::string_view("壁紙", 5)}, goodPrefix, goodBeep, "SaveDir", nullptr},
        {{REG_SZ, std::string_view("\\壁紙", 6)}, goodPrefix, goodBeep, "SaveDir", nullptr},
        {{REG_SZ, std::string_view("C:壁紙", 7)}, goodPrefix, goodBeep, "SaveDir", nullptr},
        {goodDir, {REG_DWORD, std::string_view("\0\0\0\0", 4)}, goodBeep, "Prefix", "データ型が無効です。"},
        {goodDir, {REG_SZ, std::string_view("..\\WALL", 8)}, goodBeep, "Prefix", nullptr},
        {goodDir, goodPrefix, {REG_SZ, std::string_view("1", 2)}, "Beep", "データ型が無効です。"},
        {goodDir, goodPrefix, {REG_BINARY, std::string_view("\1\0\0\0", 4)}, "Beep", "データ型が無効です。"},
        {goodDir, goodPrefix, {REG_DWORD, std::string_view("\1\0", 2)}, "Beep", "データ型が無効です。"},
        {goodDir, goodPrefix, missing, "Beep", "値がありません。"},
        {{REG_DWORD, std::string_view("\5\0\0\0", 4)}, {REG_SZ, std::string_view("a:b", 4)}, {REG_SZ, std::string_view("1", 2)},
         "SaveDir Prefix Beep", "データ型が無効です。"},
        // A missing prefix is the empty one, a prefix like any.
        {goodDir, missing, goodBeep, "", nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.unread);
        RegDeleteTreeA(HKEY_CURRENT_USER, Key);
        const std::pair<const char*, const Value*> values[] = {{"SaveDir", &c.dir}, {"Prefix", &c.prefix}, {"Beep", &c.beep}};
        for (const auto& [name, v] : values)
            if (v->type != REG_NONE)
                PutRaw(name, v->type, v->data.data(), static_cast<DWORD>(v->data.size()));
        SaveDir = "C:\\default";
        Prefix = "WALL";
        Beep = false;
        ASSERT_TRUE(Load());
        EXPECT_EQ(c.unread, UnreadNames());
        if (!Unread.empty() && c.reason) {
            EXPECT_EQ(c.reason, Unread[0].Reason);
        }
        for (const TUnreadSetting& u : Unread)
            EXPECT_FALSE(u.Reason.empty()) << u.Name;
        const AnsiString names = UnreadNames();
        const bool dirUnread = names.find("SaveDir") != AnsiString::npos;
        const bool prefixUnread = names.find("Prefix") != AnsiString::npos;
        const bool beepUnread = names.find("Beep") != AnsiString::npos;
        EXPECT_EQ(dirUnread ? "C:\\default" : "D:\\pics", SaveDir);
        EXPECT_EQ(prefixUnread ? "WALL" : (c.prefix.type == REG_NONE ? "" : "IE"), Prefix);
        EXPECT_EQ(!beepUnread, Beep);
        unsigned bits = 0;
        for (const TUnreadSetting& u : Unread)
            bits |= u.Setting;
        EXPECT_EQ((dirUnread ? stSaveDir : 0u) | (prefixUnread ? stPrefix : 0u) | (beepUnread ? stBeep : 0u), bits);
    }
}

// The prefix is checked against the folder in force: the one read, or the
// default when the stored one cannot be used.
TEST_F(Settings, AStoredPrefixIsCheckedWithTheFolderInForce) {
    const AnsiString longDir = "C:\\" + AnsiString(200, 'd');
    PutRaw("SaveDir", REG_SZ, longDir.c_str(), static_cast<DWORD>(longDir.size() + 1));
    const AnsiString prefix(50, 'p');  // 203 + 1 + 50 + 10 + 4 + 1 > 260
    PutRaw("Prefix", REG_SZ, prefix.c_str(), static_cast<DWORD>(prefix.size() + 1));
    DWORD one = 1;
    PutRaw("Beep", REG_DWORD, &one, sizeof one);
    SaveDir = "C:\\d";
    Prefix = "WALL";
    ASSERT_TRUE(Load());
    EXPECT_EQ("Prefix", UnreadNames());
    EXPECT_EQ(longDir, SaveDir);
    EXPECT_EQ("WALL", Prefix);

    PutRaw("SaveDir", REG_DWORD, &one, sizeof one);
    SaveDir = "C:\\d";
    ASSERT_TRUE(Load());
    EXPECT_EQ("SaveDir", UnreadNames());
    EXPECT_EQ(prefix, Prefix);
}

TEST_F(Settings, DeleteRemovesTheKeyAndKeepsItsParent) {
    ASSERT_TRUE(SaveSettings("C:\\a", "WALL", true, {}));
    HKEY sub;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Dovrane\\Velmora\\Old", 0, nullptr, 0,
                                             KEY_ALL_ACCESS, nullptr, &sub, nullptr));
    RegCloseKey(sub);
    EXPECT_TRUE(DeleteSettings());
    EXPECT_FALSE(KeyExists(Key));
    EXPECT_TRUE(KeyExists(Parent));
    EXPECT_FALSE(Load());
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

TEST(SaveFolder, OnlyAnAbsolutePathNamesOnePlace) {
    for (const char* absolute : {"C:\\壁紙", "c:\\", "C:", "z:/pics", "\\\\server\\share", "//server/share",
                                 "\\\\?\\C:\\pics", "C:\\表"})
        EXPECT_TRUE(IsAbsoluteSaveDir(absolute)) << absolute;
    for (const char* relative : {"", "壁紙", "\\壁紙", "/pics", "C:壁紙", "..\\pics", "\\\\", "\\\\\\x", "1:\\x", ":\\x",
                                 "表:\\x", "C"})
        EXPECT_FALSE(IsAbsoluteSaveDir(relative)) << relative;
}

TEST(Prefix, StaysInsideTheSaveFolderAndMakesNamesTheFileSystemTakes) {
    const AnsiString dir = "C:\\pics";
    // Trail bytes equal to '\' (表 ソ 予) or '|' (ポ) are no such characters.
    for (const char* good : {"WALL", "", "壁紙", "表示", "ソ予", "ポスター", "old\\WALL", "old/WALL", "a\\b\\", "old\\",
                             "..WALL", "WALL..", "..", "a..b\\c", "my pics ", "#1 (new) [x] {y}", "表\\予"})
        EXPECT_EQ("", PrefixProblem(dir, good)) << good;
    struct Case {
        AnsiString prefix;
        const char* reason;
    } bad[] = {
        {"..\\WALL", "「..」"},
        {"a\\..\\..\\WALL", "「..」"},
        {"../WALL", "「..」"},
        {".. \\WALL", "「..」"},  // Windows drops trailing dots and spaces
        {"...\\WALL", "「..」"},
        {".\\WALL", "「..」"},
        {"\\WALL", "で始まる"},
        {"/WALL", "で始まる"},
        {"C:WALL", "「:」"},
        {"WALL:stream", "「:」"},
        {"WALL?", "「?」"},
        {"WA*LL", "「*」"},
        {"a<b", "「<」"},
        {"a>b", "「>」"},
        {"a\"b", "「\"」"},
        {"a|b", "「|」"},
        {"a\tb", "制御文字"},
        {AnsiString("a\x1F", 2), "制御文字"},
        {AnsiString("壁\x95", 3), "使えない文字"},  // a lead byte with no trail byte
    };
    for (const Case& c : bad) {
        const AnsiString problem = PrefixProblem(dir, c.prefix);
        EXPECT_NE(AnsiString::npos, problem.find(c.reason)) << c.prefix << ": " << problem;
    }
    // Just room for the longest name, ten digits: 7 + 1 + 237 + 10 + 4 + NUL = 260.
    const std::size_t room = MAX_PATH - dir.size() - 1 - 10 - 4 - 1;
    EXPECT_EQ("", PrefixProblem(dir, AnsiString(room, 'P')));
    EXPECT_NE(AnsiString::npos, PrefixProblem(dir, AnsiString(room + 1, 'P')).find("長すぎます"));
    EXPECT_NE("", PrefixProblem(dir + "x", AnsiString(room, 'P')));

    EXPECT_EQ("old", PrefixFolder("old\\WALL"));
    EXPECT_EQ("a/b", PrefixFolder("a/b/WALL"));
    EXPECT_EQ("old", PrefixFolder("old\\"));
    EXPECT_EQ("", PrefixFolder("WALL"));
    EXPECT_EQ("", PrefixFolder("表示"));
}
