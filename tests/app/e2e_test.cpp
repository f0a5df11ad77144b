// velmora.exe itself, started as a program and used from outside through its
// windows, its tray icon's messages, the registry and the folders it works
// on, in the Wine prefix this test program runs in.
#include <gtest/gtest.h>
#include <windows.h>
#include <shlobj.h>

#include <algorithm>
#include <string>
#include <vector>

#include "e2e_driver.h"

using namespace VelmoraDriver;

namespace {

const char Key[] = "Software\\Dovrane\\Velmora";
const char Parent[] = "Software\\Dovrane";
const char WallpaperName[] = "Internet Explorer 壁紙.bmp";

const char Welcome[] = "お使いいただき、ありがとうございます。\nまず、壁紙の保存先などを設定してください。";
const char CreateQuestion[] = "指定された保存先フォルダは存在しません。作成しますか？";
const char DeleteQuestion[] = "レジストリの設定を削除して終了します。よろしいですか？";
const char AlreadyRunning[] = "Velmoraはすでに起動しています。複数起動はできません。";
const char SaveFailed[] = "壁紙の保存に失敗しました。\n保存先フォルダの設定などを確認してください。";

const char SetCaption[] = "設定";
const char CancelCaption[] = "キャンセル";
const char HelpCaption[] = "ヘルプ(&H)";
const char DeleteCaption[] = "設定削除（&U)";
const char BrowseCaption[] = "参照(&F)";
const char BeepCaption[] = "壁紙保存時に音を鳴らす(&B)";

std::string SpecialFolder(int folder) {
    char path[MAX_PATH] = "";
    SHGetSpecialFolderPathA(nullptr, path, folder, FALSE);
    return path;
}

bool KeyExists(const char* path) {
    HKEY key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, path, 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    RegCloseKey(key);
    return true;
}

// Type and bytes of a value as the registry holds them.
std::string RawValue(const char* name, DWORD& type) {
    type = REG_NONE;
    HKEY key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, Key, 0, KEY_READ, &key) != ERROR_SUCCESS) return "(no key)";
    char data[1024];
    DWORD size = sizeof data;
    LONG r = RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(data), &size);
    RegCloseKey(key);
    return r == ERROR_SUCCESS ? std::string(data, size) : std::string("(no value)");
}

std::string Dword(DWORD value) {
    return std::string(reinterpret_cast<const char*>(&value), sizeof value);
}

// A 2 x 2 picture of one colour. Every picture has the same size, so a new
// one is written over the old without cutting the file first: cutting it is
// a change of its own that the tool would see.
std::string Bitmap(BYTE red, BYTE green, BYTE blue) {
    const DWORD rowBytes = 8;  // 2 pixels of 3 bytes, padded to 4
    const DWORD pixelBytes = rowBytes * 2;
    BITMAPFILEHEADER file{};
    BITMAPINFOHEADER info{};
    file.bfType = 0x4D42;  // "BM"
    file.bfOffBits = sizeof file + sizeof info;
    file.bfSize = file.bfOffBits + pixelBytes;
    info.biSize = sizeof info;
    info.biWidth = 2;
    info.biHeight = 2;
    info.biPlanes = 1;
    info.biBitCount = 24;
    info.biSizeImage = pixelBytes;
    std::string bytes(reinterpret_cast<const char*>(&file), sizeof file);
    bytes.append(reinterpret_cast<const char*>(&info), sizeof info);
    for (int row = 0; row < 2; ++row) {
        for (int pixel = 0; pixel < 2; ++pixel) {
            bytes += static_cast<char>(blue);
            bytes += static_cast<char>(green);
            bytes += static_cast<char>(red);
        }
        bytes.append(2, '\0');
    }
    return bytes;
}

std::string Content(const std::string& name) {
    HANDLE f = CreateFileA(name.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                           0, nullptr);
    if (f == INVALID_HANDLE_VALUE) return "(missing)";
    std::string bytes;
    char buffer[4096];
    DWORD read = 0;
    while (ReadFile(f, buffer, sizeof buffer, &read, nullptr) && read) bytes.append(buffer, read);
    CloseHandle(f);
    return bytes;
}

bool Exists(const std::string& name) {
    return GetFileAttributesA(name.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool IsFolder(const std::string& name) {
    DWORD a = GetFileAttributesA(name.c_str());
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

bool Hidden(const std::string& name) {
    DWORD a = GetFileAttributesA(name.c_str());
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_HIDDEN);
}

std::vector<std::string> Names(const std::string& dir) {
    std::vector<std::string> names;
    WIN32_FIND_DATAA f;
    HANDLE h = FindFirstFileA((dir + "\\*").c_str(), &f);
    if (h == INVALID_HANDLE_VALUE) return names;
    do {
        std::string n = f.cFileName;
        if (n != "." && n != "..") names.push_back(n);
    } while (FindNextFileA(h, &f));
    FindClose(h);
    std::sort(names.begin(), names.end());
    return names;
}

void RemoveTree(const std::string& dir) {
    for (const std::string& n : Names(dir)) {
        std::string path = dir + "\\" + n;
        SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        if (IsFolder(path))
            RemoveTree(path);
        else
            DeleteFileA(path.c_str());
    }
    RemoveDirectoryA(dir.c_str());
}

// Waits on the folder's change notification until ready() holds, the
// process ends or timeout passes; nothing is polled.
bool WaitInFolder(const std::string& folder, HANDLE process, const std::function<bool()>& ready,
                  DWORD timeout = Patience) {
    HANDLE change = FindFirstChangeNotificationA(
        folder.c_str(), FALSE,
        FILE_NOTIFY_CHANGE_FILE_NAME | FILE_NOTIFY_CHANGE_ATTRIBUTES | FILE_NOTIFY_CHANGE_SIZE |
            FILE_NOTIFY_CHANGE_LAST_WRITE);
    if (change == INVALID_HANDLE_VALUE) return ready();
    const DWORD start = GetTickCount();
    bool done = false;
    for (;;) {
        // Asked after the notification is armed: a change between the two is
        // not lost.
        if (ready()) {
            done = true;
            break;
        }
        const DWORD elapsed = GetTickCount() - start;
        if (elapsed >= timeout) break;
        HANDLE handles[2] = {change, process};
        DWORD woke = WaitForMultipleObjects(process ? 2 : 1, handles, FALSE, timeout - elapsed);
        if (woke == WAIT_OBJECT_0) {
            FindNextChangeNotification(change);
            continue;
        }
        done = ready();  // the tool ended, or time is up
        break;
    }
    FindCloseChangeNotification(change);
    return done;
}

// Each test starts from no settings, an Internet Explorer folder without a
// wallpaper and a save folder of its own that does not exist yet.
class E2EBase : public ::testing::Test {
protected:
    void SetUp() override {
        HANDLE other = OpenMutexA(SYNCHRONIZE, FALSE, "Velmora");
        if (other) {
            CloseHandle(other);
            FAIL() << "another copy of Velmora runs in this Wine prefix; it would refuse every start";
        }
        RegDeleteTreeA(HKEY_CURRENT_USER, Key);

        std::string appData = SpecialFolder(CSIDL_APPDATA);
        ASSERT_FALSE(appData.empty());
        BrowserFolder = appData + "\\Microsoft\\Internet Explorer";
        CreateDirectoryA((appData + "\\Microsoft").c_str(), nullptr);
        CreateDirectoryA(BrowserFolder.c_str(), nullptr);
        ASSERT_TRUE(IsFolder(BrowserFolder)) << BrowserFolder;
        Wallpaper = BrowserFolder + "\\" + WallpaperName;
        BrowserNote = BrowserFolder + "\\velmora-e2e.dat";
        DeleteFileA(Wallpaper.c_str());

        char temp[MAX_PATH];
        ASSERT_NE(0u, GetTempPathA(sizeof temp, temp));
        static int run;
        Root = std::string(temp) + "velmora-e2e-" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(++run);
        ASSERT_TRUE(CreateDirectoryA(Root.c_str(), nullptr)) << Root;
        SaveDir = Root + "\\壁紙の保存先";
    }

    void TearDown() override {
        Tool.Kill();
        Second.Kill();
        RegDeleteTreeA(HKEY_CURRENT_USER, Key);
        RegDeleteKeyA(HKEY_CURRENT_USER, Parent);  // only when nothing else lives there
        DeleteFileA(Wallpaper.c_str());
        DeleteFileA(BrowserNote.c_str());
        RemoveTree(Root);
    }

    void PutSettings(const std::string& saveDir, const std::string& prefix, bool beep) {
        HKEY key;
        ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_CURRENT_USER, Key, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                                 &key, nullptr));
        RegSetValueExA(key, "SaveDir", 0, REG_SZ, reinterpret_cast<const BYTE*>(saveDir.c_str()),
                       static_cast<DWORD>(saveDir.size() + 1));
        RegSetValueExA(key, "Prefix", 0, REG_SZ, reinterpret_cast<const BYTE*>(prefix.c_str()),
                       static_cast<DWORD>(prefix.size() + 1));
        DWORD value = beep ? 1 : 0;
        RegSetValueExA(key, "Beep", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
        RegCloseKey(key);
    }

    // Settings of a tool that has run before: an existing save folder,
    // prefix WALL, no beep.
    void Configure() {
        ASSERT_TRUE(CreateDirectoryA(SaveDir.c_str(), nullptr)) << SaveDir;
        PutSettings(SaveDir, "WALL", false);
    }

    void Start(TVelmora& tool) {
        DWORD error = 0;
        ASSERT_TRUE(tool.Start(error)) << ProgramPath() << ": error " << error;
    }

    // The settings window, hidden or not. It is made first of all; the tray
    // icon, the settings, the start-up capture and the observer follow
    // before the message loop runs, so a message posted to the window from
    // now on is handled after them.
    HWND WaitSettingsWindow(TVelmora& tool) {
        HWND form = nullptr;
        WaitUntil(tool.Process(), tool.Id(),
                  [&] { return (form = FindTopLevel(tool.Id(), nullptr, SettingsCaption, false)) != nullptr; });
        return form;
    }

    // Started with settings and a wallpaper in place: the start-up capture
    // saves it as WALL001.BMP, and the observer is switched on right after
    // it, with no look at the message queue in between; a message sent to
    // the window is answered only after that.
    HWND WaitObserving(TVelmora& tool) {
        HWND form = WaitSettingsWindow(tool);
        if (!form) return nullptr;
        EXPECT_TRUE(WaitForPicture(tool, "WALL", "WALL001.BMP")) << "the wallpaper found at start-up was not saved";
        return Sync(form) ? form : nullptr;
    }

    HWND WaitShown(TVelmora& tool, const char* caption) {
        HWND window = nullptr;
        WaitUntil(tool.Process(), tool.Id(),
                  [&] { return (window = FindTopLevel(tool.Id(), nullptr, caption, true)) != nullptr; });
        return window;
    }

    bool WaitHidden(TVelmora& tool, HWND window) {
        return WaitUntil(tool.Process(), tool.Id(), [&] { return !IsWindowVisible(window); });
    }

    HWND WaitMessageBox(TVelmora& tool) {
        HWND box = nullptr;
        WaitUntil(tool.Process(), tool.Id(), [&] { return (box = FindMessageBox(tool.Id())) != nullptr; });
        return box;
    }

    bool WaitBoxGone(TVelmora& tool, HWND box) {
        return WaitUntil(tool.Process(), tool.Id(), [&] { return !IsWindow(box) || !IsWindowVisible(box); });
    }

    // A new wallpaper, as the browser leaves it: the one file, with the time
    // of its writing, and a last-write change in its folder. The picture is
    // written beside and moved over the file, then another file of the folder
    // is written. Written in place, the file would be open for writing when
    // the change is reported, and the tool, which opens it refusing other
    // writers, could find it locked; a move into the folder is reported to
    // no one.
    void SetWallpaper(const std::string& picture) {
        const std::string fresh = Root + "\\wallpaper.new";
        ASSERT_NO_FATAL_FAILURE(WriteNew(fresh, picture));
        ASSERT_TRUE(MoveFileExA(fresh.c_str(), Wallpaper.c_str(), MOVEFILE_REPLACE_EXISTING))
            << Wallpaper << " error " << GetLastError();
        static int note;
        ASSERT_NO_FATAL_FAILURE(WriteNew(BrowserNote, std::to_string(++note)));
    }

    void WriteNew(const std::string& name, const std::string& content) {
        HANDLE f = CreateFileA(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        ASSERT_NE(INVALID_HANDLE_VALUE, f) << name << " error " << GetLastError();
        DWORD written = 0;
        BOOL ok = WriteFile(f, content.data(), static_cast<DWORD>(content.size()), &written, nullptr);
        CloseHandle(f);
        ASSERT_TRUE(ok && written == content.size()) << name;
    }

    std::string In(const std::string& name) const { return SaveDir + "\\" + name; }

    // A capture is over once the numbered picture exists and the marker is
    // hidden again: hiding the marker is its last step.
    ::testing::AssertionResult WaitForPicture(TVelmora& tool, const std::string& prefix, const std::string& name) {
        if (WaitInFolder(SaveDir, tool.Process(), [&] { return Exists(In(name)) && Hidden(In(prefix + "000.TMP")); }))
            return ::testing::AssertionSuccess();
        ::testing::AssertionResult failure = ::testing::AssertionFailure();
        failure << "no " << name << " with a hidden marker; the folder holds:";
        for (const std::string& n : Names(SaveDir)) failure << " " << n << (Hidden(In(n)) ? " (hidden)" : "");
        if (!tool.Running()) failure << "; the tool has ended";
        if (HWND box = FindMessageBox(tool.Id())) failure << "; the tool says: " << MessageBoxText(box);
        return failure;
    }

    // The tray menu's last item, 終了(&E), reached with the Up key.
    void ExitFromTrayMenu(TVelmora& tool, HWND form) {
        HWND menu = OpenTrayMenu(tool.Process(), tool.Id(), form);
        ASSERT_TRUE(menu) << "no menu opened on the tray icon's right-button message";
        PressKeys(menu, {VK_UP, VK_RETURN});
        DWORD code = STILL_ACTIVE;
        ASSERT_TRUE(tool.WaitForExit(Patience, code)) << "the tool did not end from the menu's last item";
        EXPECT_EQ(0u, code);
    }

    static std::string CaptionOf(HWND window) {
        char caption[256] = "";
        GetWindowTextA(window, caption, sizeof caption);
        return caption;
    }

    TVelmora Tool;
    TVelmora Second;
    std::string BrowserFolder;
    std::string Wallpaper;
    std::string BrowserNote;  // another file of the browser's folder
    std::string Root;
    std::string SaveDir;
};

class E2EFirstRun : public E2EBase {};
class E2EResident : public E2EBase {};
class E2ELayout : public E2EBase {};

}  // namespace

// ---- A first run: no settings in the registry ----

TEST_F(E2EFirstRun, WelcomesThenOffersTheDefaultsAndWritesThemWhenClosed) {
    ASSERT_NO_FATAL_FAILURE(Start(Tool));
    HWND box = WaitMessageBox(Tool);
    ASSERT_TRUE(box) << "no welcome message on a first run";
    EXPECT_EQ("Velmora", CaptionOf(box));
    EXPECT_EQ(Welcome, MessageBoxText(box));
    EXPECT_FALSE(FindTopLevel(Tool.Id(), nullptr, SettingsCaption, true)) << "the settings window came before the message";

    ASSERT_TRUE(Answer(box, IDOK));
    HWND form = WaitShown(Tool, SettingsCaption);
    ASSERT_TRUE(form) << "the settings window did not show after the welcome message";

    std::vector<HWND> edits = EditBoxes(form);
    ASSERT_EQ(2u, edits.size());
    const std::string defaultDir = SpecialFolder(CSIDL_PERSONAL) + "\\壁紙";
    EXPECT_EQ(defaultDir, TextOf(edits[0]));
    EXPECT_EQ("WALL", TextOf(edits[1]));
    HWND beep = FindChildByText(form, BeepCaption);
    ASSERT_TRUE(beep);
    EXPECT_TRUE(Checked(beep));

    struct {
        const char* caption;
        bool enabled;
    } buttons[] = {{SetCaption, true}, {CancelCaption, false}, {HelpCaption, true}, {DeleteCaption, false},
                   {BrowseCaption, true}};
    for (const auto& b : buttons) {
        HWND button = FindChildByText(form, b.caption);
        ASSERT_TRUE(button) << b.caption;
        EXPECT_EQ(b.enabled, IsWindowEnabled(button) != FALSE) << b.caption;
    }
    EXPECT_FALSE(KeyExists(Key)) << "the settings are written when the tool ends, not before";

    // The close box: the tool ends and keeps what the window offered.
    PostMessageA(form, WM_SYSCOMMAND, SC_CLOSE, 0);
    DWORD code = STILL_ACTIVE;
    ASSERT_TRUE(Tool.WaitForExit(Patience, code)) << "closing the settings window did not end the tool";
    EXPECT_EQ(0u, code);
    DWORD type = REG_NONE;
    EXPECT_EQ(defaultDir + '\0', RawValue("SaveDir", type));
    EXPECT_EQ(static_cast<DWORD>(REG_SZ), type);
    EXPECT_EQ(std::string("WALL") + '\0', RawValue("Prefix", type));
    EXPECT_EQ(static_cast<DWORD>(REG_SZ), type);
    EXPECT_EQ(Dword(1), RawValue("Beep", type));
    EXPECT_EQ(static_cast<DWORD>(REG_DWORD), type);
}

TEST_F(E2EFirstRun, AMissingFolderIsCreatedOnConsentAndObservingStarts) {
    // Set before the start: a first run saves nothing until confirmed.
    const std::string picture = Bitmap(0x20, 0x80, 0xE0);
    ASSERT_NO_FATAL_FAILURE(SetWallpaper(picture));
    ASSERT_NO_FATAL_FAILURE(Start(Tool));
    HWND box = WaitMessageBox(Tool);
    ASSERT_TRUE(box) << "no welcome message on a first run";
    ASSERT_TRUE(Answer(box, IDOK));
    HWND form = WaitShown(Tool, SettingsCaption);
    ASSERT_TRUE(form);

    std::vector<HWND> edits = EditBoxes(form);
    ASSERT_EQ(2u, edits.size());
    ASSERT_FALSE(Exists(SaveDir));
    ASSERT_TRUE(SetText(edits[0], SaveDir));
    ASSERT_TRUE(SetText(edits[1], "壁紙"));
    HWND beep = FindChildByText(form, BeepCaption);
    ASSERT_TRUE(Toggle(beep));
    ASSERT_FALSE(Checked(beep));

    ASSERT_TRUE(Press(FindChildByText(form, SetCaption)));
    box = WaitMessageBox(Tool);
    ASSERT_TRUE(box) << "no question about the missing folder";
    EXPECT_EQ("Velmora", CaptionOf(box));
    EXPECT_EQ(CreateQuestion, MessageBoxText(box));
    EXPECT_TRUE(IsWindowVisible(GetDlgItem(box, IDNO))) << "a yes/no question";
    ASSERT_TRUE(Answer(box, IDYES));

    ASSERT_TRUE(WaitHidden(Tool, form)) << "the settings window stayed after the folder was made";
    EXPECT_TRUE(IsFolder(SaveDir)) << SaveDir;
    ASSERT_TRUE(Tool.Running());
    // Answered once the handler that switched the observer on has returned.
    ASSERT_TRUE(Sync(form));
    EXPECT_TRUE(Names(SaveDir).empty()) << "confirming is no capture";

    // The next change in the browser's folder saves the picture.
    ASSERT_NO_FATAL_FAILURE(WriteNew(BrowserNote, "poke"));
    ASSERT_TRUE(WaitForPicture(Tool, "壁紙", "壁紙001.BMP")) << "after the settings were confirmed";
    EXPECT_EQ(picture, Content(In("壁紙001.BMP")));
    EXPECT_EQ((std::vector<std::string>{"壁紙000.TMP", "壁紙001.BMP"}), Names(SaveDir));

    // Shown again from the tray: what was confirmed, and still no cancel or
    // delete until a confirmation of an existing folder.
    DoubleClickTrayIcon(form);
    ASSERT_TRUE(WaitShown(Tool, SettingsCaption)) << "a double-click on the tray icon did not show the settings";
    EXPECT_EQ(SaveDir, TextOf(edits[0]));
    EXPECT_EQ("壁紙", TextOf(edits[1]));
    EXPECT_FALSE(Checked(beep));
    EXPECT_FALSE(IsWindowEnabled(FindChildByText(form, CancelCaption)));
    EXPECT_FALSE(IsWindowEnabled(FindChildByText(form, DeleteCaption)));
}

// ---- A copy that has run before: settings in the registry ----

TEST_F(E2EResident, SavesEachNewWallpaperUnderTheNextNumber) {
    ASSERT_NO_FATAL_FAILURE(Configure());
    const std::string first = Bitmap(0xFF, 0x00, 0x00);
    ASSERT_NO_FATAL_FAILURE(SetWallpaper(first));
    ASSERT_NO_FATAL_FAILURE(Start(Tool));
    ASSERT_TRUE(WaitObserving(Tool)) << "the tool did not come up";
    EXPECT_FALSE(FindTopLevel(Tool.Id(), nullptr, nullptr, true)) << "a window shows on a start with settings";
    EXPECT_EQ(first, Content(In("WALL001.BMP")));
    EXPECT_EQ(first, Content(In("WALL000.TMP")));

    const std::string second = Bitmap(0x00, 0x00, 0xFF);
    ASSERT_NO_FATAL_FAILURE(SetWallpaper(second));
    ASSERT_TRUE(WaitForPicture(Tool, "WALL", "WALL002.BMP")) << "the second wallpaper";
    EXPECT_EQ(second, Content(In("WALL002.BMP")));

    const std::string third = Bitmap(0x00, 0xFF, 0x00);
    ASSERT_NO_FATAL_FAILURE(SetWallpaper(third));
    ASSERT_TRUE(WaitForPicture(Tool, "WALL", "WALL003.BMP")) << "the third wallpaper";
    EXPECT_EQ(third, Content(In("WALL003.BMP")));
    EXPECT_EQ(second, Content(In("WALL002.BMP")));
    EXPECT_EQ(first, Content(In("WALL001.BMP")));
    EXPECT_EQ((std::vector<std::string>{"WALL000.TMP", "WALL001.BMP", "WALL002.BMP", "WALL003.BMP"}),
              Names(SaveDir));
    EXPECT_TRUE(Hidden(In("WALL000.TMP")));
    EXPECT_FALSE(Hidden(In("WALL003.BMP")));
    EXPECT_TRUE(Tool.Running());
}

TEST_F(E2EResident, ASecondStartIsRefusedAndTheFirstCopyGoesOn) {
    ASSERT_NO_FATAL_FAILURE(Configure());
    ASSERT_NO_FATAL_FAILURE(SetWallpaper(Bitmap(0x01, 0x02, 0x03)));
    ASSERT_NO_FATAL_FAILURE(Start(Tool));
    HWND form = WaitObserving(Tool);
    ASSERT_TRUE(form) << "the first copy did not come up";

    ASSERT_NO_FATAL_FAILURE(Start(Second));
    HWND box = WaitMessageBox(Second);
    ASSERT_TRUE(box) << "the second copy showed no message";
    EXPECT_EQ(AlreadyRunning, MessageBoxText(box));
    EXPECT_FALSE(FindTopLevel(Second.Id(), nullptr, SettingsCaption, false)) << "the second copy made its window";
    ASSERT_TRUE(Answer(box, IDOK));
    DWORD code = STILL_ACTIVE;
    ASSERT_TRUE(Second.WaitForExit(Patience, code)) << "the second copy did not end after its message";
    EXPECT_EQ(0u, code);

    ASSERT_TRUE(Tool.Running());
    ASSERT_TRUE(IsWindow(form));
    const std::string picture = Bitmap(0x10, 0x20, 0x30);
    ASSERT_NO_FATAL_FAILURE(SetWallpaper(picture));
    ASSERT_TRUE(WaitForPicture(Tool, "WALL", "WALL002.BMP")) << "the first copy stopped saving";
    EXPECT_EQ(picture, Content(In("WALL002.BMP")));

    // Its mutex goes with it: a start after it ended is a start like any.
    ASSERT_NO_FATAL_FAILURE(ExitFromTrayMenu(Tool, form));
    TVelmora after;
    ASSERT_NO_FATAL_FAILURE(Start(after));
    HWND again = WaitSettingsWindow(after);
    ASSERT_TRUE(again) << "no start after the first copy ended";
    ASSERT_NO_FATAL_FAILURE(ExitFromTrayMenu(after, again));
}

TEST_F(E2EResident, EndingFromTheTrayMenuWritesTheSettingsInUse) {
    ASSERT_NO_FATAL_FAILURE(Configure());
    ASSERT_NO_FATAL_FAILURE(PutSettings(SaveDir, "WALL", true));
    ASSERT_NO_FATAL_FAILURE(Start(Tool));
    HWND form = WaitSettingsWindow(Tool);
    ASSERT_TRUE(form) << "the tool did not come up";

    DoubleClickTrayIcon(form);
    ASSERT_TRUE(WaitShown(Tool, SettingsCaption)) << "a double-click on the tray icon did not show the settings";
    std::vector<HWND> edits = EditBoxes(form);
    ASSERT_EQ(2u, edits.size());
    EXPECT_EQ(SaveDir, TextOf(edits[0]));
    EXPECT_EQ("WALL", TextOf(edits[1]));
    HWND beep = FindChildByText(form, BeepCaption);
    ASSERT_TRUE(beep);
    EXPECT_TRUE(Checked(beep));
    EXPECT_TRUE(IsWindowEnabled(FindChildByText(form, CancelCaption)));
    EXPECT_TRUE(IsWindowEnabled(FindChildByText(form, DeleteCaption)));

    // One trailing backslash is dropped from the folder.
    ASSERT_TRUE(SetText(edits[0], SaveDir + "\\"));
    ASSERT_TRUE(SetText(edits[1], "壁紙"));
    ASSERT_TRUE(Toggle(beep));
    ASSERT_TRUE(Press(FindChildByText(form, SetCaption)));
    ASSERT_TRUE(WaitHidden(Tool, form)) << "the settings window stayed open with an existing folder";
    EXPECT_FALSE(FindMessageBox(Tool.Id()));

    DWORD type = REG_NONE;
    EXPECT_EQ(std::string("WALL") + '\0', RawValue("Prefix", type)) << "written before the tool ended";

    ASSERT_NO_FATAL_FAILURE(ExitFromTrayMenu(Tool, form));
    EXPECT_EQ(SaveDir + '\0', RawValue("SaveDir", type));
    EXPECT_EQ(static_cast<DWORD>(REG_SZ), type);
    EXPECT_EQ(std::string("壁紙") + '\0', RawValue("Prefix", type));
    EXPECT_EQ(static_cast<DWORD>(REG_SZ), type);
    EXPECT_EQ(Dword(0), RawValue("Beep", type));
    EXPECT_EQ(static_cast<DWORD>(REG_DWORD), type);
    // No wallpaper was ever set: nothing to save, and nothing said.
    EXPECT_TRUE(Names(SaveDir).empty());
}

TEST_F(E2EResident, ARestartSavesTheWallpaperSetWhileTheToolWasNotRunning) {
    ASSERT_NO_FATAL_FAILURE(Configure());
    const std::string before = Bitmap(0x11, 0x22, 0x33);
    ASSERT_NO_FATAL_FAILURE(SetWallpaper(before));
    ASSERT_NO_FATAL_FAILURE(Start(Tool));
    HWND form = WaitObserving(Tool);
    ASSERT_TRUE(form);
    EXPECT_EQ(before, Content(In("WALL001.BMP")));
    ASSERT_NO_FATAL_FAILURE(ExitFromTrayMenu(Tool, form));

    const std::string meanwhile = Bitmap(0x44, 0x55, 0x66);
    ASSERT_NO_FATAL_FAILURE(SetWallpaper(meanwhile));
    TVelmora again;
    ASSERT_NO_FATAL_FAILURE(Start(again));
    ASSERT_TRUE(WaitForPicture(again, "WALL", "WALL002.BMP")) << "the wallpaper set meanwhile";
    EXPECT_EQ(meanwhile, Content(In("WALL002.BMP")));
    form = WaitSettingsWindow(again);
    ASSERT_TRUE(form);
    ASSERT_NO_FATAL_FAILURE(ExitFromTrayMenu(again, form));

    // Nothing new since: the marker remembers the last picture across starts.
    // The menu's exit is handled after the start-up capture.
    TVelmora third;
    ASSERT_NO_FATAL_FAILURE(Start(third));
    form = WaitSettingsWindow(third);
    ASSERT_TRUE(form);
    ASSERT_NO_FATAL_FAILURE(ExitFromTrayMenu(third, form));
    EXPECT_EQ((std::vector<std::string>{"WALL000.TMP", "WALL001.BMP", "WALL002.BMP"}), Names(SaveDir));
}

TEST_F(E2EResident, AWallpaperThatCannotBeSavedIsReportedAndTheSettingsOpen) {
    // The save folder of the settings is gone.
    ASSERT_NO_FATAL_FAILURE(PutSettings(SaveDir, "WALL", false));
    ASSERT_NO_FATAL_FAILURE(SetWallpaper(Bitmap(0x70, 0x70, 0x70)));
    ASSERT_NO_FATAL_FAILURE(Start(Tool));
    HWND box = WaitMessageBox(Tool);
    ASSERT_TRUE(box) << "no word of the failed capture";
    EXPECT_EQ("Velmora", CaptionOf(box));
    EXPECT_EQ(SaveFailed, MessageBoxText(box));
    ASSERT_TRUE(Answer(box, IDOK));
    HWND form = WaitShown(Tool, SettingsCaption);
    ASSERT_TRUE(form) << "the settings window did not open after the failure";
    std::vector<HWND> edits = EditBoxes(form);
    ASSERT_EQ(2u, edits.size());
    EXPECT_EQ(SaveDir, TextOf(edits[0]));
    EXPECT_FALSE(Exists(SaveDir)) << "the folder was made without asking";
}

TEST_F(E2EResident, DeletingTheSettingsRemovesTheKeyAndEndsTheTool) {
    ASSERT_NO_FATAL_FAILURE(Configure());
    ASSERT_NO_FATAL_FAILURE(Start(Tool));
    HWND form = WaitSettingsWindow(Tool);
    ASSERT_TRUE(form) << "the tool did not come up";
    DoubleClickTrayIcon(form);
    ASSERT_TRUE(WaitShown(Tool, SettingsCaption));
    HWND deleteButton = FindChildByText(form, DeleteCaption);

    // Asked first; cancelling keeps everything.
    ASSERT_TRUE(Press(deleteButton)) << "the delete button is not there to press";
    HWND box = WaitMessageBox(Tool);
    ASSERT_TRUE(box) << "no question before deleting";
    EXPECT_EQ("設定削除", CaptionOf(box));
    EXPECT_EQ(DeleteQuestion, MessageBoxText(box));
    ASSERT_TRUE(Answer(box, IDCANCEL));
    ASSERT_TRUE(WaitBoxGone(Tool, box));
    ASSERT_TRUE(Sync(form));
    EXPECT_TRUE(Tool.Running());
    EXPECT_TRUE(KeyExists(Key));
    EXPECT_TRUE(IsWindowVisible(form));

    ASSERT_TRUE(Press(deleteButton));
    box = WaitMessageBox(Tool);
    ASSERT_TRUE(box) << "no question before deleting, the second time";
    ASSERT_TRUE(Answer(box, IDOK));
    DWORD code = STILL_ACTIVE;
    ASSERT_TRUE(Tool.WaitForExit(Patience, code)) << "the tool did not end after deleting its settings";
    EXPECT_EQ(0u, code);
    EXPECT_FALSE(KeyExists(Key)) << "the settings were written again on the way out";
    EXPECT_TRUE(KeyExists(Parent));

    // The next start is a first run again.
    ASSERT_NO_FATAL_FAILURE(Start(Second));
    box = WaitMessageBox(Second);
    ASSERT_TRUE(box);
    EXPECT_EQ(Welcome, MessageBoxText(box));
}

TEST_F(E2EResident, TheVersionBoxOpensFromTheMenuOnlyWhileTheSettingsAreNotEdited) {
    ASSERT_NO_FATAL_FAILURE(Configure());
    ASSERT_NO_FATAL_FAILURE(Start(Tool));
    HWND form = WaitSettingsWindow(Tool);
    ASSERT_TRUE(form) << "the tool did not come up";

    // While the settings window is shown its first item, バージョン情報(&A),
    // is greyed: Enter on it closes the menu and does nothing else.
    DoubleClickTrayIcon(form);
    ASSERT_TRUE(WaitShown(Tool, SettingsCaption));
    HWND menu = OpenTrayMenu(Tool.Process(), Tool.Id(), form);
    ASSERT_TRUE(menu) << "no menu opened on the tray icon's right-button message";
    PressKeys(menu, {VK_DOWN, VK_RETURN});
    ASSERT_TRUE(WaitUntil(Tool.Process(), Tool.Id(), [&] { return !FindTopLevel(Tool.Id(), "#32768", nullptr, true); }))
        << "the menu stayed open";
    // The chosen command runs as soon as the menu has closed, before the
    // tool asks for messages again.
    ASSERT_TRUE(Sync(form));
    EXPECT_FALSE(FindTopLevel(Tool.Id(), nullptr, AboutCaption, true)) << "the version box opened while editing";

    // Opens the version box from the menu's first item and closes it with OK.
    auto openAndCloseVersionBox = [&](const char* whichTime) {
        HWND menu = OpenTrayMenu(Tool.Process(), Tool.Id(), form);
        ASSERT_TRUE(menu);
        PressKeys(menu, {VK_DOWN, VK_RETURN});
        HWND about = WaitShown(Tool, AboutCaption);
        ASSERT_TRUE(about) << "the menu's first item did not open the version box " << whichTime;
        ASSERT_TRUE(Press(FindChildByText(about, "OK")));
        ASSERT_TRUE(WaitHidden(Tool, about)) << "OK did not close the version box";
    };

    ASSERT_TRUE(Press(FindChildByText(form, CancelCaption)));
    ASSERT_TRUE(WaitHidden(Tool, form));
    ASSERT_NO_FATAL_FAILURE(openAndCloseVersionBox("the first time"));
    ASSERT_TRUE(Sync(form));
    EXPECT_TRUE(Tool.Running()) << "closing the version box ended the tool";

    // Closed, it gives the item back.
    ASSERT_NO_FATAL_FAILURE(openAndCloseVersionBox("a second time"));
}

// ---- Where the controls are ----

TEST_F(E2ELayout, TheSettingsWindowAndTheVersionBoxKeepTheirLayout) {
    ASSERT_NO_FATAL_FAILURE(Configure());
    ASSERT_NO_FATAL_FAILURE(Start(Tool));
    HWND form = WaitSettingsWindow(Tool);
    ASSERT_TRUE(form) << "the tool did not come up";
    DoubleClickTrayIcon(form);
    ASSERT_TRUE(WaitShown(Tool, SettingsCaption));

    RECT client{};
    GetClientRect(form, &client);
    EXPECT_EQ(422, client.right);
    EXPECT_EQ(148, client.bottom);

    struct TPlace {
        const char* what;
        int left, top, width, height;
    };
    auto expectAt = [&](HWND owner, HWND control, const TPlace& p) {
        ASSERT_TRUE(control) << p.what;
        RECT r = ClientRectOf(control, owner);
        EXPECT_EQ(p.left, r.left) << p.what;
        EXPECT_EQ(p.top, r.top) << p.what;
        EXPECT_EQ(p.width, r.right - r.left) << p.what;
        EXPECT_EQ(p.height, r.bottom - r.top) << p.what;
    };
    std::vector<HWND> edits = EditBoxes(form);
    ASSERT_EQ(2u, edits.size());
    expectAt(form, edits[0], {"folder box", 146, 20, 207, 20});
    expectAt(form, edits[1], {"prefix box", 146, 51, 87, 20});
    expectAt(form, FindChildByText(form, BrowseCaption), {BrowseCaption, 360, 21, 52, 19});
    expectAt(form, FindChildByText(form, BeepCaption), {BeepCaption, 8, 82, 169, 17});
    expectAt(form, FindChildByText(form, SetCaption), {SetCaption, 29, 111, 82, 25});
    expectAt(form, FindChildByText(form, CancelCaption), {CancelCaption, 123, 111, 82, 25});
    expectAt(form, FindChildByText(form, HelpCaption), {HelpCaption, 216, 111, 82, 25});
    expectAt(form, FindChildByText(form, DeleteCaption), {DeleteCaption, 310, 111, 82, 25});

    ASSERT_TRUE(Press(FindChildByText(form, CancelCaption)));
    ASSERT_TRUE(WaitHidden(Tool, form));
    HWND menu = OpenTrayMenu(Tool.Process(), Tool.Id(), form);
    ASSERT_TRUE(menu);
    PressKeys(menu, {VK_DOWN, VK_RETURN});
    HWND about = WaitShown(Tool, AboutCaption);
    ASSERT_TRUE(about);
    GetClientRect(about, &client);
    EXPECT_EQ(247, client.right);
    EXPECT_EQ(173, client.bottom);
    expectAt(about, FindChildByText(about, "OK"), {"OK", 87, 136, 73, 25});
}
