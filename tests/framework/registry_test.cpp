// The registry class against the real current-user hive.
#include <gtest/gtest.h>
#include <windows.h>

#include "framework/Registry.h"
#include "framework/StringList.h"

using namespace Fw;

namespace {

// Each test works below its own key, removed before and after.
class Registry : public ::testing::Test {
protected:
    void SetUp() override {
        Base = Format("Software\\VelmoraTests\\Registry%lu", GetCurrentProcessId());
        RegDeleteTreeA(HKEY_CURRENT_USER, Base.c_str());
    }
    void TearDown() override {
        RegDeleteTreeA(HKEY_CURRENT_USER, Base.c_str());
        RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\VelmoraTests");  // only when empty
    }

    AnsiString Abs(const AnsiString& sub = AnsiString()) const {
        return "\\" + Base + (sub.empty() ? "" : "\\" + sub);
    }
    AnsiString Path(const AnsiString& sub) const { return sub.empty() ? Base : Base + "\\" + sub; }
    bool RawKeyExists(const AnsiString& sub) const {
        HKEY k;
        if (RegOpenKeyExA(HKEY_CURRENT_USER, Path(sub).c_str(), 0, KEY_READ, &k) != ERROR_SUCCESS)
            return false;
        RegCloseKey(k);
        return true;
    }
    // Type and bytes of a value, read past the class under test.
    bool RawValue(const AnsiString& sub, const char* name, DWORD& type, AnsiString& bytes) const {
        HKEY k;
        if (RegOpenKeyExA(HKEY_CURRENT_USER, Path(sub).c_str(), 0, KEY_READ, &k) != ERROR_SUCCESS)
            return false;
        char data[512];
        DWORD size = sizeof data;
        LONG r = RegQueryValueExA(k, name, nullptr, &type, reinterpret_cast<BYTE*>(data), &size);
        RegCloseKey(k);
        bytes.assign(data, r == ERROR_SUCCESS ? size : 0);
        return r == ERROR_SUCCESS;
    }

    AnsiString Base;
};

template <class F>
AnsiString RegistryError(F f) {
    try {
        f();
    } catch (const ERegistryException& e) {
        return e.Message();
    }
    ADD_FAILURE() << "ERegistryException was not raised";
    return AnsiString();
}

}  // namespace

TEST_F(Registry, WritesTheTypesTheSettingsStoreExpects) {
    TRegistry reg;
    EXPECT_EQ(HKEY_CURRENT_USER, reg.RootKey());
    ASSERT_TRUE(reg.OpenKey(Abs("Velmora"), true));
    EXPECT_EQ(Base + "\\Velmora", reg.CurrentPath());
    const AnsiString dir = "C:\\マイ ドキュメント\\壁紙";
    reg.WriteString("SaveDir", dir);
    reg.WriteString("Prefix", "");
    reg.WriteBool("Beep", true);
    reg.WriteBool("Off", false);
    reg.WriteInteger("Number", -7);
    reg.CloseKey();
    EXPECT_EQ(nullptr, reg.CurrentKey());

    DWORD type;
    AnsiString bytes;
    ASSERT_TRUE(RawValue("Velmora", "SaveDir", type, bytes));
    EXPECT_EQ(static_cast<DWORD>(REG_SZ), type);
    EXPECT_EQ(dir + '\0', bytes);  // the terminating NUL is stored
    ASSERT_TRUE(RawValue("Velmora", "Prefix", type, bytes));
    EXPECT_EQ(AnsiString(1, '\0'), bytes);
    ASSERT_TRUE(RawValue("Velmora", "Beep", type, bytes));
    EXPECT_EQ(static_cast<DWORD>(REG_DWORD), type);
    EXPECT_EQ(AnsiString("\1\0\0\0", 4), bytes);
    ASSERT_TRUE(RawValue("Velmora", "Off", type, bytes));
    EXPECT_EQ(AnsiString("\0\0\0\0", 4), bytes);

    ASSERT_TRUE(reg.OpenKey(Abs("Velmora"), false));
    EXPECT_EQ(dir, reg.ReadString("SaveDir"));
    EXPECT_EQ("", reg.ReadString("Prefix"));
    EXPECT_TRUE(reg.ReadBool("Beep"));
    EXPECT_FALSE(reg.ReadBool("Off"));
    EXPECT_EQ(-7, reg.ReadInteger("Number"));
    EXPECT_EQ(rdString, reg.GetDataType("SaveDir"));
    EXPECT_EQ(rdInteger, reg.GetDataType("Beep"));
    EXPECT_EQ(static_cast<int>(dir.size() + 1), reg.GetDataSize("SaveDir"));
    EXPECT_EQ(-1, reg.GetDataSize("Missing"));
}

TEST_F(Registry, MissingAndMistypedValues) {
    TRegistry reg;
    ASSERT_TRUE(reg.OpenKey(Abs(), true));
    EXPECT_EQ("", reg.ReadString("SaveDir"));  // a missing string reads as empty text
    EXPECT_EQ("'Beep' の読み込みに失敗しました.", RegistryError([&] { reg.ReadBool("Beep"); }));
    reg.WriteString("Beep", "1");
    EXPECT_FALSE(RegistryError([&] { reg.ReadBool("Beep"); }).empty());
    reg.WriteInteger("Text", 3);
    EXPECT_FALSE(RegistryError([&] { reg.ReadString("Text"); }).empty());

    // Any number but 0 reads as true.
    DWORD five = 5;
    ASSERT_EQ(ERROR_SUCCESS, RegSetValueExA(reg.CurrentKey(), "Five", 0, REG_DWORD,
                                            reinterpret_cast<BYTE*>(&five), sizeof five));
    EXPECT_TRUE(reg.ReadBool("Five"));

    EXPECT_TRUE(reg.ValueExists("Five"));
    EXPECT_TRUE(reg.DeleteValue("Five"));
    EXPECT_FALSE(reg.ValueExists("Five"));
    EXPECT_FALSE(reg.DeleteValue("Five"));
}

TEST_F(Registry, WritesNeedAWritableOpenKey) {
    TRegistry reg;
    EXPECT_FALSE(RegistryError([&] { reg.WriteString("x", "y"); }).empty());
    EXPECT_FALSE(RegistryError([&] { reg.ReadString("x"); }).empty());
    ASSERT_TRUE(reg.OpenKey(Abs(), true));
    reg.CloseKey();
    ASSERT_TRUE(reg.OpenKeyReadOnly(Abs()));
    EXPECT_EQ("'Prefix' の書き込みに失敗しました.", RegistryError([&] { reg.WriteString("Prefix", "WALL"); }));
}

TEST_F(Registry, RelativeAndAbsolutePaths) {
    TRegistry reg;
    ASSERT_TRUE(reg.OpenKey(Abs("A"), true));
    HKEY a = reg.CurrentKey();
    // A failed open keeps the previous key.
    EXPECT_FALSE(reg.OpenKey("Missing", false));
    EXPECT_EQ(a, reg.CurrentKey());
    EXPECT_EQ(Base + "\\A", reg.CurrentPath());

    ASSERT_TRUE(reg.OpenKey("B\\C\\", true));  // relative to A; trailing '\' ignored
    EXPECT_EQ(Base + "\\A\\B\\C", reg.CurrentPath());
    EXPECT_TRUE(RawKeyExists("A\\B\\C"));
    // The key name ends in the trail byte 0x5C of "ソ": it is not a separator.
    ASSERT_TRUE(reg.OpenKey("ソ", true));
    EXPECT_TRUE(RawKeyExists("A\\B\\C\\ソ"));
    EXPECT_EQ(Base + "\\A\\B\\C\\ソ", reg.CurrentPath());

    ASSERT_TRUE(reg.OpenKey(Abs("A"), false));
    EXPECT_TRUE(reg.KeyExists("B\\C"));
    EXPECT_TRUE(reg.KeyExists(Abs("A\\B")));
    EXPECT_FALSE(reg.KeyExists("C"));
    EXPECT_TRUE(reg.HasSubKeys());
    EXPECT_TRUE(reg.CreateKey("D"));
    EXPECT_TRUE(RawKeyExists("A\\D"));

    TStringList names;
    reg.GetKeyNames(&names);
    names.SetSorted(true);
    EXPECT_EQ("B,D", names.CommaText());
    reg.WriteString("v1", "1");
    reg.WriteInteger("v2", 2);
    reg.GetValueNames(&names);
    EXPECT_EQ(2, names.Count());
    EXPECT_GE(names.IndexOf("V2"), 0);
}

TEST_F(Registry, DeleteKeyRemovesSubkeysAndKeepsTheParent) {
    TRegistry reg;
    ASSERT_TRUE(reg.OpenKey(Abs("Velmora\\Sub\\Deeper"), true));
    reg.WriteString("x", "y");
    ASSERT_TRUE(reg.OpenKey(Abs("Velmora\\Sub2"), true));
    reg.WriteBool("Beep", true);
    reg.CloseKey();

    EXPECT_TRUE(reg.DeleteKey(Abs("Velmora")));
    EXPECT_FALSE(RawKeyExists("Velmora"));
    EXPECT_FALSE(reg.OpenKey(Abs("Velmora"), false));
    ASSERT_TRUE(reg.OpenKey(Abs(), false));  // the parent stays
    EXPECT_FALSE(reg.DeleteKey("Velmora"));  // gone already

    ASSERT_TRUE(reg.OpenKey("Rel\\Child", true));
    ASSERT_TRUE(reg.OpenKey(Abs(), false));
    EXPECT_TRUE(reg.DeleteKey("Rel"));
    EXPECT_FALSE(RawKeyExists("Rel"));
    EXPECT_FALSE(reg.DeleteKey(""));
    EXPECT_FALSE(reg.DeleteKey("\\"));
    EXPECT_TRUE(RawKeyExists(""));
}
