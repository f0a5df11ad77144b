// What the end-to-end tests of velmora.exe share: the tool's texts, reading
// and writing the registry, files and folders as the tool leaves them, and
// the fixture that starts each test from no settings, a browser folder
// without a wallpaper and a save folder of its own.
#pragma once

#include <gtest/gtest.h>
#include <windows.h>
#include <shlobj.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "e2e_driver.h"

namespace VelmoraE2E {

using namespace VelmoraDriver;

inline constexpr char Key[] = "Software\\Dovrane\\Velmora";
inline constexpr char Parent[] = "Software\\Dovrane";
inline constexpr char WallpaperName[] = "Internet Explorer 壁紙.bmp";

inline constexpr char Welcome[] = "お使いいただき、ありがとうございます。\nまず、壁紙の保存先などを設定してください。";
inline constexpr char CreateQuestion[] = "指定された保存先フォルダは存在しません。作成しますか？";
inline constexpr char DeleteQuestion[] = "レジストリの設定を削除して終了します。よろしいですか？";
inline constexpr char AlreadyRunning[] = "Velmoraはすでに起動しています。複数起動はできません。";
inline constexpr char SaveFailed[] = "壁紙の保存に失敗しました。\n保存先フォルダの設定などを確認してください。";

inline constexpr char SetCaption[] = "設定";
inline constexpr char CancelCaption[] = "キャンセル";
inline constexpr char HelpCaption[] = "ヘルプ(&H)";
inline constexpr char DeleteCaption[] = "設定削除（&U)";
inline constexpr char BrowseCaption[] = "参照(&F)";
inline constexpr char BeepCaption[] = "壁紙保存時に音を鳴らす(&B)";
inline constexpr char DesktopCaption[] = "ほかのソフトで設定した壁紙も保存する(&D)";
inline constexpr char NoDuplicatesCaption[] = "同じ画像がフォルダにあれば保存しない(&N)";
inline constexpr char StartCaption[] = "Windowsの起動時にVelmoraを起動する(&W)";

inline constexpr char RunKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";

inline std::string SpecialFolder(int folder) {
    char path[MAX_PATH] = "";
    SHGetSpecialFolderPathA(nullptr, path, folder, FALSE);
    return path;
}

inline bool KeyExists(const char* path) {
    HKEY key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, path, 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    RegCloseKey(key);
    return true;
}

// Type and bytes of a value as the registry holds them.
inline std::string RawValue(const char* name, DWORD& type) {
    type = REG_NONE;
    HKEY key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, Key, 0, KEY_READ, &key) != ERROR_SUCCESS) return "(no key)";
    char data[1024];
    DWORD size = sizeof data;
    LONG r = RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(data), &size);
    RegCloseKey(key);
    return r == ERROR_SUCCESS ? std::string(data, size) : std::string("(no value)");
}

inline std::string Dword(DWORD value) {
    return std::string(reinterpret_cast<const char*>(&value), sizeof value);
}

// A side x side picture of one colour (2 x 2 unless said). Every picture of
// one side has the same size, so a new one is written over the old without
// cutting the file first: cutting it is a change of its own that the tool
// would see.
inline std::string Bitmap(BYTE red, BYTE green, BYTE blue, int side = 2) {
    const DWORD rowBytes = (static_cast<DWORD>(side) * 3 + 3) & ~3u;  // padded to 4
    const DWORD pixelBytes = rowBytes * static_cast<DWORD>(side);
    BITMAPFILEHEADER file{};
    BITMAPINFOHEADER info{};
    file.bfType = 0x4D42;  // "BM"
    file.bfOffBits = sizeof file + sizeof info;
    file.bfSize = file.bfOffBits + pixelBytes;
    info.biSize = sizeof info;
    info.biWidth = side;
    info.biHeight = side;
    info.biPlanes = 1;
    info.biBitCount = 24;
    info.biSizeImage = pixelBytes;
    std::string bytes(reinterpret_cast<const char*>(&file), sizeof file);
    bytes.append(reinterpret_cast<const char*>(&info), sizeof info);
    std::string row;
    for (int pixel = 0; pixel < side; ++pixel) {
        row += static_cast<char>(blue);
        row += static_cast<char>(green);
        row += static_cast<char>(red);
    }
    row.resize(rowBytes, '\0');
    for (int n = 0; n < side; ++n) bytes += row;
    return bytes;
}

inline std::string Content(const std::string& name) {
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

// The same bytes; told apart by sizes and the first byte that differs, not
// by a megabyte of picture each.
inline ::testing::AssertionResult SameBytes(const std::string& expected, const std::string& actual) {
    if (expected == actual) return ::testing::AssertionSuccess();
    const auto diff = std::mismatch(expected.begin(), expected.end(), actual.begin(), actual.end());
    return ::testing::AssertionFailure() << "expected " << expected.size() << " bytes, found " << actual.size()
                                         << ", first different at byte " << (diff.first - expected.begin());
}

inline bool Exists(const std::string& name) {
    return GetFileAttributesA(name.c_str()) != INVALID_FILE_ATTRIBUTES;
}

inline bool IsFolder(const std::string& name) {
    DWORD a = GetFileAttributesA(name.c_str());
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

inline bool Hidden(const std::string& name) {
    DWORD a = GetFileAttributesA(name.c_str());
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_HIDDEN);
}

inline std::vector<std::string> Names(const std::string& dir) {
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

inline void RemoveTree(const std::string& dir) {
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
inline bool WaitInFolder(const std::string& folder, HANDLE process, const std::function<bool()>& ready,
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

// The desktop wallpaper as a program sets it: stored and announced.
inline bool SetDesktopWallpaper(const std::string& file, UINT flags = SPIF_UPDATEINIFILE | SPIF_SENDCHANGE) {
    std::wstring wide(file.size() + 1, L'\0');
    wide.resize(static_cast<std::size_t>(MultiByteToWideChar(CP_ACP, 0, file.c_str(), -1, wide.data(),
                                                             static_cast<int>(wide.size()))));
    return SystemParametersInfoW(SPI_SETDESKWALLPAPER, 0, wide.data(), flags);
}

// Each test starts from no settings, an Internet Explorer folder without a
// wallpaper, a solid colour on the desktop, no value that starts the tool
// with Windows and a save folder of its own that does not exist yet.
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
        SystemCopy = appData + "\\Microsoft\\Windows\\Themes\\TranscodedWallpaper";
        ClearDesktop();

        char temp[MAX_PATH];
        ASSERT_NE(0u, GetTempPathA(sizeof temp, temp));
        static int run;
        Root = std::string(temp) + "velmora-e2e-" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(++run);
        RemoveTree(Root);  // left by a run cut short whose process id has come round again
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
        ClearDesktop();
        RemoveTree(Root);
    }

    // No tool runs: nothing to announce it to.
    void ClearDesktop() {
        SetDesktopWallpaper("", SPIF_UPDATEINIFILE);
        DeleteFileA(SystemCopy.c_str());
        RegDeleteKeyValueA(HKEY_CURRENT_USER, RunKey, "Velmora");
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

    // Any type and bytes, as a user or another program could leave them.
    void PutValue(const char* name, DWORD type, const std::string& data) {
        HKEY key;
        ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_CURRENT_USER, Key, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                                 &key, nullptr));
        EXPECT_EQ(ERROR_SUCCESS, RegSetValueExA(key, name, 0, type, reinterpret_cast<const BYTE*>(data.data()),
                                                static_cast<DWORD>(data.size())));
        RegCloseKey(key);
    }

    // The three values as stored, type and bytes, for comparing before and after.
    std::string StoredSettings() {
        std::string all;
        for (const char* name : {"SaveDir", "Prefix", "Beep"}) {
            DWORD type = REG_NONE;
            std::string value = RawValue(name, type);
            all += std::string(name) + "=" + std::to_string(type) + ":" + value + ";";
        }
        return all;
    }

    void Start(TVelmora& tool, const char* directory = nullptr) {
        DWORD error = 0;
        ASSERT_TRUE(tool.Start(error, directory)) << ProgramPath() << ": error " << error;
    }

    // The settings window, hidden or not. It is made first of all; the tray
    // icon, the settings, the observer and the start-up capture follow
    // before the message loop runs, so a message posted to the window from
    // now on is handled after them.
    HWND WaitSettingsWindow(TVelmora& tool) {
        HWND form = nullptr;
        WaitUntil(tool.Process(), tool.Id(),
                  [&] { return (form = FindTopLevel(tool.Id(), nullptr, SettingsCaption, false)) != nullptr; });
        return form;
    }

    // Started with settings and a wallpaper in place: the observer is
    // switched on and the start-up capture saves the wallpaper as
    // WALL001.BMP, with no look at the message queue in between; a message
    // sent to the window is answered only after that.
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

    // Answers the tool's message box with OK once it has shown the text.
    void ExpectBoxAndAnswer(TVelmora& tool, const std::string& text, const char* what) {
        HWND box = WaitMessageBox(tool);
        ASSERT_TRUE(box) << "no message box: " << what;
        EXPECT_EQ("Velmora", CaptionOf(box)) << what;
        EXPECT_EQ(text, MessageBoxText(box)) << what;
        ASSERT_TRUE(Answer(box, IDOK)) << what;
        ASSERT_TRUE(WaitBoxGone(tool, box)) << what;
    }

    // A copy that found another one running: its message, no window of its
    // own, and its end once the message is answered.
    void ExpectRefused(TVelmora& copy, HWND box) {
        ASSERT_TRUE(box) << "no message from the copy that should not run";
        EXPECT_EQ(AlreadyRunning, MessageBoxText(box));
        EXPECT_FALSE(FindTopLevel(copy.Id(), nullptr, SettingsCaption, false)) << "the refused copy made its window";
        ASSERT_TRUE(Answer(box, IDOK));
        DWORD code = STILL_ACTIVE;
        ASSERT_TRUE(copy.WaitForExit(Patience, code)) << "the refused copy did not end after its message";
        EXPECT_EQ(0u, code);
    }

    // What the root of this test's folders holds besides the save folder:
    // anything there was written outside it.
    std::vector<std::string> Outside(std::initializer_list<std::string> expected = {}) const {
        std::vector<std::string> stray;
        const std::string saveDirName = SaveDir.substr(Root.size() + 1);
        for (const std::string& n : Names(Root))
            if (n != saveDirName && std::find(expected.begin(), expected.end(), n) == expected.end())
                stray.push_back(n);
        return stray;
    }

    // A new wallpaper, as the browser leaves it: the one file, with the time
    // of its writing, and a last-write change in its folder. The picture is
    // written beside and moved over the file, then another file of the folder
    // is written: a move into the folder is reported to no one. (A file
    // written in place is still open for writing when the change is
    // reported; what the tool does then is tested on its own.)
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
        return WaitInSaveDir(tool, [&] { return Exists(In(name)) && Hidden(In(prefix + "000.TMP")); },
                             "no " + name + " with a hidden marker");
    }

    // Until ready() holds; what the folder holds and the tool says otherwise.
    ::testing::AssertionResult WaitInSaveDir(TVelmora& tool, const std::function<bool()>& ready,
                                             const std::string& what) {
        if (WaitInFolder(SaveDir, tool.Process(), ready)) return ::testing::AssertionSuccess();
        ::testing::AssertionResult failure = ::testing::AssertionFailure();
        failure << what << "; the folder holds:";
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
    std::string SystemCopy;   // where Windows keeps its copy of the desktop wallpaper
    std::string Root;
    std::string SaveDir;
};

}  // namespace VelmoraE2E
