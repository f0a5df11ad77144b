// velmora.exe against what goes wrong around it: a save folder that goes
// away, cannot be written to or fills up; a browser that holds its file open
// after the last write or writes it in pieces; stored settings the tool
// cannot use; two starts at once. Each test ends with every picture kept
// exactly once, the user's stored settings intact and nothing written
// outside the save folder.
#include <thread>

#include "e2e_fixture.h"
#include "test_mounts.h"

using namespace VelmoraE2E;

namespace {

const char FolderRefused[] = "保存先フォルダは、「C:\\壁紙」のようにドライブ名から始まるフォルダを指定してください。";

std::string Unreadable(std::initializer_list<const char*> lines) {
    std::string text = "レジストリに保存された設定を読み込めませんでした。\n";
    for (const char* line : lines) text += std::string("\n") + line;
    return text + "\n\n読み込めなかった設定は初めの値にしてあります。確かめて「設定」を押してください。";
}

// A prefix longer than the edit box takes is shown cut.
std::string PrefixRefused(const std::string& prefix, const std::string& why) {
    const std::string shown = prefix.size() > 50 ? prefix.substr(0, 50) + "…" : prefix;
    return "ファイル名の先頭文字「" + shown + "」は使えません。\n" + why;
}

// The browser writing its file in place, as a program of its own would: any
// share mode, any pieces, and the handle held as long as it likes. A
// write that finds the file opened by the tool at that very moment tries
// again, as the browser would have to.
class TWriter {
public:
    bool Open(const std::string& name, DWORD disposition, DWORD share) {
        for (int tries = 0; tries < 1000; ++tries) {
            File = CreateFileA(name.c_str(), GENERIC_WRITE, share, nullptr, disposition, FILE_ATTRIBUTE_NORMAL,
                               nullptr);
            if (File != INVALID_HANDLE_VALUE || GetLastError() != ERROR_SHARING_VIOLATION) break;
            Sleep(1);
        }
        return File != INVALID_HANDLE_VALUE;
    }
    bool WriteAt(const std::string& bytes, std::size_t offset, std::size_t length) {
        LARGE_INTEGER at;
        at.QuadPart = static_cast<LONGLONG>(offset);
        DWORD written = 0;
        return SetFilePointerEx(File, at, nullptr, FILE_BEGIN) &&
               WriteFile(File, bytes.data() + offset, static_cast<DWORD>(length), &written, nullptr) &&
               written == length;
    }
    void Close() {
        if (File != INVALID_HANDLE_VALUE) CloseHandle(File);
        File = INVALID_HANDLE_VALUE;
    }
    ~TWriter() { Close(); }

private:
    HANDLE File = INVALID_HANDLE_VALUE;
};

class E2EFaults : public E2EBase {
protected:
    // A box must not come. Nothing announces that nothing happens: this
    // waits long enough for the tool to have reacted (several times the
    // capture's settle time), and no longer.
    bool MessageBoxWithin(TVelmora& tool, DWORD milliseconds) {
        return WaitUntil(tool.Process(), tool.Id(), [&] { return FindMessageBox(tool.Id()) != nullptr; },
                         milliseconds);
    }

    HWND WaitSettingsShown(TVelmora& tool) {
        HWND form = WaitShown(tool, SettingsCaption);
        EXPECT_TRUE(form) << "the settings window did not open";
        return form;
    }

    // Types into the settings window and presses 設定.
    void Confirm(HWND form, const std::string& folder, const std::string& prefix) {
        std::vector<HWND> edits = EditBoxes(form);
        ASSERT_EQ(2u, edits.size());
        ASSERT_TRUE(SetText(edits[0], folder));
        ASSERT_TRUE(SetText(edits[1], prefix));
        ASSERT_TRUE(Press(FindChildByText(form, SetCaption)));
    }

    void ExpectStillOpen(TVelmora& tool, HWND form) {
        ASSERT_TRUE(Sync(form));
        EXPECT_TRUE(IsWindowVisible(form)) << "the settings window closed";
        EXPECT_FALSE(FindMessageBox(tool.Id())) << "another box";
    }
};

}  // namespace

// ---- A failed capture is kept once the cause is mended ----

TEST_F(E2EFaults, AFolderMissingAtStartIsUsedOnceBackAndNoFurtherBoxComesMeanwhile) {
    ASSERT_NO_FATAL_FAILURE(PutSettings(SaveDir, "WALL", false));
    const std::string before = StoredSettings();
    ASSERT_NO_FATAL_FAILURE(SetWallpaper(Bitmap(0x10, 0x10, 0x10)));
    ASSERT_NO_FATAL_FAILURE(Start(Tool));
    ASSERT_NO_FATAL_FAILURE(ExpectBoxAndAnswer(Tool, SaveFailed, "the start-up capture"));
    HWND form = WaitSettingsShown(Tool);
    ASSERT_TRUE(form);

    // New wallpapers while the window is open after the failure: no more
    // boxes on top of it.
    ASSERT_NO_FATAL_FAILURE(SetWallpaper(Bitmap(0x20, 0x20, 0x20)));
    const std::string last = Bitmap(0x30, 0x30, 0x30);
    ASSERT_NO_FATAL_FAILURE(SetWallpaper(last));
    EXPECT_FALSE(MessageBoxWithin(Tool, 1000)) << "a failure box came on top of the settings window";
    EXPECT_FALSE(Exists(SaveDir));

    // The folder is back; cancelling resumes watching with a capture.
    ASSERT_TRUE(CreateDirectoryA(SaveDir.c_str(), nullptr));
    ASSERT_TRUE(Press(FindChildByText(form, CancelCaption)));
    ASSERT_TRUE(WaitForPicture(Tool, "WALL", "WALL001.BMP")) << "the wallpaper was not kept once the folder was back";
    EXPECT_TRUE(SameBytes(last, Content(In("WALL001.BMP"))));

    ASSERT_NO_FATAL_FAILURE(ExitFromTrayMenu(Tool, form));
    EXPECT_EQ((std::vector<std::string>{"WALL000.TMP", "WALL001.BMP"}), Names(SaveDir));
    EXPECT_EQ(before, StoredSettings());
    EXPECT_TRUE(Outside().empty());
}

TEST_F(E2EFaults, AFolderRemovedWhileRunningIsUsedAgainOnceRestoredAndConfirmed) {
    ASSERT_NO_FATAL_FAILURE(Configure());
    const std::string before = StoredSettings();
    ASSERT_NO_FATAL_FAILURE(SetWallpaper(Bitmap(0x40, 0x40, 0x40)));
    ASSERT_NO_FATAL_FAILURE(Start(Tool));
    HWND form = WaitObserving(Tool);
    ASSERT_TRUE(form);

    RemoveTree(SaveDir);
    const std::string picture = Bitmap(0x50, 0x50, 0x50);
    ASSERT_NO_FATAL_FAILURE(SetWallpaper(picture));
    ASSERT_NO_FATAL_FAILURE(ExpectBoxAndAnswer(Tool, SaveFailed, "the folder is gone"));
    ASSERT_TRUE(WaitSettingsShown(Tool));

    ASSERT_TRUE(CreateDirectoryA(SaveDir.c_str(), nullptr));
    ASSERT_NO_FATAL_FAILURE(Confirm(form, SaveDir, "WALL"));
    ASSERT_TRUE(WaitHidden(Tool, form));
    ASSERT_TRUE(WaitForPicture(Tool, "WALL", "WALL001.BMP")) << "the wallpaper was not kept on confirming";
    EXPECT_TRUE(SameBytes(picture, Content(In("WALL001.BMP"))));

    ASSERT_NO_FATAL_FAILURE(ExitFromTrayMenu(Tool, form));
    EXPECT_EQ((std::vector<std::string>{"WALL000.TMP", "WALL001.BMP"}), Names(SaveDir));
    EXPECT_EQ(before, StoredSettings());
    EXPECT_TRUE(Outside().empty());
}

TEST_F(E2EFaults, AReadOnlyFolderFailsAndThePictureGoesWhereTheUserSaysThen) {
    std::string whyNot;
    const std::string readOnly = TestMount("readonly", whyNot);
    if (readOnly.empty()) GTEST_SKIP() << "no read-only file system to save into: " << whyNot;
    ASSERT_TRUE(CreateDirectoryA(SaveDir.c_str(), nullptr));
    ASSERT_NO_FATAL_FAILURE(PutSettings(readOnly, "WALL", true));
    const std::string picture = Bitmap(0x60, 0x60, 0x60);
    ASSERT_NO_FATAL_FAILURE(SetWallpaper(picture));
    ASSERT_NO_FATAL_FAILURE(Start(Tool));
    ASSERT_NO_FATAL_FAILURE(ExpectBoxAndAnswer(Tool, SaveFailed, "the folder cannot be written to"));
    HWND form = WaitSettingsShown(Tool);
    ASSERT_TRUE(form);
    EXPECT_EQ(readOnly, TextOf(EditBoxes(form)[0]));

    ASSERT_NO_FATAL_FAILURE(Confirm(form, SaveDir, "WALL"));
    ASSERT_TRUE(WaitForPicture(Tool, "WALL", "WALL001.BMP")) << "the wallpaper was not kept in the folder chosen";
    EXPECT_TRUE(SameBytes(picture, Content(In("WALL001.BMP"))));

    ASSERT_NO_FATAL_FAILURE(ExitFromTrayMenu(Tool, form));
    EXPECT_TRUE(Names(readOnly).empty());
    EXPECT_EQ((std::vector<std::string>{"WALL000.TMP", "WALL001.BMP"}), Names(SaveDir));
    DWORD type = REG_NONE;
    EXPECT_EQ(SaveDir + '\0', RawValue("SaveDir", type)) << "the folder the user confirmed";
    EXPECT_EQ(Dword(1), RawValue("Beep", type));
    EXPECT_TRUE(Outside().empty());
}

// A disk with room for the marker's copy but not for the picture's: neither
// an empty numbered file nor a marker is left, and the picture is kept once
// there is room.
TEST_F(E2EFaults, AFullDiskLeavesNoHalfPictureAndThePictureIsKeptOnceThereIsRoom) {
    std::string whyNot;
    const std::string full = TestMount("full", whyNot);
    if (full.empty()) GTEST_SKIP() << "no small file system to fill: " << whyNot;
    const std::string leaf = "e2e-" + std::to_string(GetCurrentProcessId());
    SaveDir = full + "\\" + leaf;
    const std::string filler = full + "\\" + leaf + "-filler";
    struct TCleanUp {
        std::string dir, filler;
        ~TCleanUp() {
            DeleteFileA(filler.c_str());
            RemoveTree(dir);
        }
    } cleanUp{SaveDir, filler};
    ASSERT_NO_FATAL_FAILURE(Configure());
    const std::string before = StoredSettings();
    const std::string first = Bitmap(0x70, 0x70, 0x70);
    ASSERT_NO_FATAL_FAILURE(SetWallpaper(first));
    ASSERT_NO_FATAL_FAILURE(Start(Tool));
    HWND form = WaitObserving(Tool);
    ASSERT_TRUE(form);

    const std::string picture = Bitmap(0x80, 0x80, 0x80, 128);
    ULARGE_INTEGER available;
    ASSERT_TRUE(GetDiskFreeSpaceExA((full + "\\").c_str(), &available, nullptr, nullptr));
    ASSERT_GT(available.QuadPart, picture.size() * 2);
    ASSERT_NO_FATAL_FAILURE(WriteNew(filler, std::string(available.QuadPart - picture.size() * 3 / 2, 'f')));

    ASSERT_NO_FATAL_FAILURE(SetWallpaper(picture));
    ASSERT_NO_FATAL_FAILURE(ExpectBoxAndAnswer(Tool, SaveFailed, "the disk is full"));
    ASSERT_TRUE(WaitSettingsShown(Tool));
    EXPECT_EQ((std::vector<std::string>{"WALL001.BMP"}), Names(SaveDir)) << "a half-written file was left";

    ASSERT_TRUE(DeleteFileA(filler.c_str()));
    ASSERT_TRUE(Press(FindChildByText(form, CancelCaption)));
    ASSERT_TRUE(WaitForPicture(Tool, "WALL", "WALL002.BMP")) << "the wallpaper was not kept once there was room";
    EXPECT_TRUE(SameBytes(picture, Content(In("WALL002.BMP"))));
    EXPECT_TRUE(SameBytes(first, Content(In("WALL001.BMP"))));

    ASSERT_NO_FATAL_FAILURE(ExitFromTrayMenu(Tool, form));
    EXPECT_EQ((std::vector<std::string>{"WALL000.TMP", "WALL001.BMP", "WALL002.BMP"}), Names(SaveDir));
    EXPECT_EQ(before, StoredSettings());
    EXPECT_EQ((std::vector<std::string>{leaf}), Names(full));
}

// ---- The browser still writing ----

// The last write, then the handle held: closing signals nothing, so only
// trying again finds the file free. A newer write while the handle is held
// is the one kept.
TEST_F(E2EFaults, AWallpaperHeldOpenAfterItsLastWriteIsKeptWhenTheWriterCloses) {
    ASSERT_NO_FATAL_FAILURE(Configure());
    const std::string before = StoredSettings();
    ASSERT_NO_FATAL_FAILURE(SetWallpaper(Bitmap(0x90, 0x90, 0x90, 256)));
    ASSERT_NO_FATAL_FAILURE(Start(Tool));
    HWND form = WaitObserving(Tool);
    ASSERT_TRUE(form);

    const std::string second = Bitmap(0xA0, 0xA0, 0xA0, 256);
    {
        TWriter writer;
        ASSERT_TRUE(writer.Open(Wallpaper, OPEN_EXISTING, FILE_SHARE_READ));
        ASSERT_TRUE(writer.WriteAt(second, 0, second.size()));
        Sleep(600);  // the browser's own pace: the tool finds the file busy meanwhile
    }
    ASSERT_TRUE(WaitForPicture(Tool, "WALL", "WALL002.BMP")) << "the wallpaper was not kept after its writer closed";
    EXPECT_TRUE(SameBytes(second, Content(In("WALL002.BMP"))));

    const std::string dropped = Bitmap(0xB0, 0xB0, 0xB0, 256), third = Bitmap(0xC0, 0xC0, 0xC0, 256);
    {
        TWriter writer;
        ASSERT_TRUE(writer.Open(Wallpaper, OPEN_EXISTING, FILE_SHARE_READ));
        ASSERT_TRUE(writer.WriteAt(dropped, 0, dropped.size()));
        Sleep(400);
        ASSERT_TRUE(writer.WriteAt(third, 0, third.size()));
        Sleep(400);
    }
    ASSERT_TRUE(WaitForPicture(Tool, "WALL", "WALL003.BMP")) << "the newer wallpaper was not kept";
    EXPECT_TRUE(SameBytes(third, Content(In("WALL003.BMP"))));

    ASSERT_NO_FATAL_FAILURE(ExitFromTrayMenu(Tool, form));
    EXPECT_EQ((std::vector<std::string>{"WALL000.TMP", "WALL001.BMP", "WALL002.BMP", "WALL003.BMP"}), Names(SaveDir));
    EXPECT_EQ(before, StoredSettings());
    EXPECT_TRUE(Outside().empty());
}

// Written in pieces, the file passes through every half picture: none of
// them is kept, only the whole one, once. First through a handle of its own
// for each piece (the tool can open the file between two pieces), then
// through one handle shared for writing and held to the end.
TEST_F(E2EFaults, AWallpaperWrittenInPiecesIsKeptWholeAndOnce) {
    ASSERT_NO_FATAL_FAILURE(Configure());
    const std::string before = StoredSettings();
    ASSERT_NO_FATAL_FAILURE(SetWallpaper(Bitmap(0x11, 0x22, 0x33, 256)));
    ASSERT_NO_FATAL_FAILURE(Start(Tool));
    HWND form = WaitObserving(Tool);
    ASSERT_TRUE(form);
    constexpr int Pieces = 16;

    const std::string second = Bitmap(0x44, 0x55, 0x66, 512);
    const std::size_t piece = (second.size() + Pieces - 1) / Pieces;
    for (std::size_t at = 0; at < second.size(); at += piece) {
        TWriter writer;
        ASSERT_TRUE(writer.Open(Wallpaper, at ? OPEN_EXISTING : CREATE_ALWAYS, FILE_SHARE_READ | FILE_SHARE_WRITE));
        ASSERT_TRUE(writer.WriteAt(second, at, std::min(piece, second.size() - at)));
    }
    ASSERT_TRUE(WaitForPicture(Tool, "WALL", "WALL002.BMP"));
    EXPECT_TRUE(SameBytes(second, Content(In("WALL002.BMP"))));
    EXPECT_EQ((std::vector<std::string>{"WALL000.TMP", "WALL001.BMP", "WALL002.BMP"}), Names(SaveDir));

    const std::string third = Bitmap(0x77, 0x88, 0x99, 512);
    {
        TWriter writer;
        ASSERT_TRUE(writer.Open(Wallpaper, CREATE_ALWAYS, FILE_SHARE_READ | FILE_SHARE_WRITE));
        for (std::size_t at = 0; at < third.size(); at += piece)
            ASSERT_TRUE(writer.WriteAt(third, at, std::min(piece, third.size() - at)));
    }
    ASSERT_TRUE(WaitForPicture(Tool, "WALL", "WALL003.BMP"));
    EXPECT_TRUE(SameBytes(third, Content(In("WALL003.BMP"))));

    ASSERT_NO_FATAL_FAILURE(ExitFromTrayMenu(Tool, form));
    EXPECT_EQ((std::vector<std::string>{"WALL000.TMP", "WALL001.BMP", "WALL002.BMP", "WALL003.BMP"}), Names(SaveDir));
    EXPECT_TRUE(SameBytes(second, Content(In("WALL002.BMP"))));
    EXPECT_EQ(before, StoredSettings());
    EXPECT_TRUE(Outside().empty());
}

// ---- Stored settings the tool cannot use ----

TEST_F(E2EFaults, SettingsOfTheWrongTypeAreNamedOnceAndNeverWrittenOver) {
    ASSERT_TRUE(CreateDirectoryA(SaveDir.c_str(), nullptr));
    ASSERT_NO_FATAL_FAILURE(PutValue("SaveDir", REG_DWORD, Dword(5)));
    ASSERT_NO_FATAL_FAILURE(PutValue("Prefix", REG_SZ, std::string("..\\WALL", 8)));
    ASSERT_NO_FATAL_FAILURE(PutValue("Beep", REG_SZ, std::string("1", 2)));
    const std::string before = StoredSettings();
    const std::string picture = Bitmap(0x12, 0x34, 0x56);
    ASSERT_NO_FATAL_FAILURE(SetWallpaper(picture));
    const std::string defaultDir = SpecialFolder(CSIDL_PERSONAL) + "\\壁紙";
    const bool defaultDirExisted = IsFolder(defaultDir);
    const std::string message = Unreadable({"SaveDir：データ型が無効です。",
                                            "Prefix：「..」などで保存先フォルダの外を指しています。",
                                            "Beep：データ型が無効です。"});

    // Seen and left: the window shows the defaults, and nothing is saved or
    // written.
    ASSERT_NO_FATAL_FAILURE(Start(Tool));
    ASSERT_NO_FATAL_FAILURE(ExpectBoxAndAnswer(Tool, message, "the values that cannot be read"));
    HWND form = WaitSettingsShown(Tool);
    ASSERT_TRUE(form);
    std::vector<HWND> edits = EditBoxes(form);
    ASSERT_EQ(2u, edits.size());
    EXPECT_EQ(defaultDir, TextOf(edits[0]));
    EXPECT_EQ("WALL", TextOf(edits[1]));
    EXPECT_TRUE(Checked(FindChildByText(form, BeepCaption)));
    EXPECT_FALSE(IsWindowEnabled(FindChildByText(form, CancelCaption))) << "nothing chosen yet to resume with";
    EXPECT_TRUE(IsWindowEnabled(FindChildByText(form, DeleteCaption)));
    ASSERT_NO_FATAL_FAILURE(ExpectStillOpen(Tool, form));
    PostMessageA(form, WM_SYSCOMMAND, SC_CLOSE, 0);
    DWORD code = STILL_ACTIVE;
    ASSERT_TRUE(Tool.WaitForExit(Patience, code)) << "closing the settings window did not end the tool";
    EXPECT_EQ(before, StoredSettings()) << "the stored values were written over";
    EXPECT_TRUE(Names(SaveDir).empty());
    EXPECT_EQ(defaultDirExisted, IsFolder(defaultDir));
    EXPECT_TRUE(Outside().empty());

    // Seen and confirmed: the values shown are the tool's and are stored.
    ASSERT_NO_FATAL_FAILURE(Start(Second));
    ASSERT_NO_FATAL_FAILURE(ExpectBoxAndAnswer(Second, message, "the same values, the next start"));
    form = WaitSettingsShown(Second);
    ASSERT_TRUE(form);
    ASSERT_NO_FATAL_FAILURE(Confirm(form, SaveDir, "WALL"));
    ASSERT_TRUE(WaitForPicture(Second, "WALL", "WALL001.BMP")) << "the wallpaper was not kept on confirming";
    EXPECT_TRUE(SameBytes(picture, Content(In("WALL001.BMP"))));
    ASSERT_NO_FATAL_FAILURE(ExitFromTrayMenu(Second, form));
    DWORD type = REG_NONE;
    EXPECT_EQ(SaveDir + '\0', RawValue("SaveDir", type));
    EXPECT_EQ(static_cast<DWORD>(REG_SZ), type);
    EXPECT_EQ(std::string("WALL") + '\0', RawValue("Prefix", type));
    EXPECT_EQ(Dword(1), RawValue("Beep", type));
    EXPECT_EQ(static_cast<DWORD>(REG_DWORD), type);
    EXPECT_EQ((std::vector<std::string>{"WALL000.TMP", "WALL001.BMP"}), Names(SaveDir));
    EXPECT_TRUE(Outside().empty());
}

// A folder that depends on where the tool was started from is no save
// folder: not when stored, not when typed.
TEST_F(E2EFaults, AnEmptyOrRelativeSaveFolderIsNeverUsed) {
    ASSERT_TRUE(CreateDirectoryA(SaveDir.c_str(), nullptr));
    const std::string startedIn = Root + "\\started-in";
    ASSERT_TRUE(CreateDirectoryA(startedIn.c_str(), nullptr));
    const std::string picture = Bitmap(0x13, 0x57, 0x9B);
    ASSERT_NO_FATAL_FAILURE(SetWallpaper(picture));
    // Where an empty folder would have put the pictures.
    const std::string driveRoot = startedIn.substr(0, 3);  // "C:\"
    const bool rootHadMarker = Exists(driveRoot + "WALL000.TMP"), rootHadPicture = Exists(driveRoot + "WALL001.BMP");

    ASSERT_NO_FATAL_FAILURE(PutSettings("壁紙", "WALL", false));
    ASSERT_NO_FATAL_FAILURE(Start(Tool, startedIn.c_str()));
    ASSERT_NO_FATAL_FAILURE(ExpectBoxAndAnswer(
        Tool, Unreadable({"SaveDir：絶対パス（C:\\… や \\\\サーバー\\…）ではありません。"}), "a relative folder"));
    ASSERT_TRUE(WaitSettingsShown(Tool));
    PostMessageA(FindTopLevel(Tool.Id(), nullptr, SettingsCaption, true), WM_SYSCOMMAND, SC_CLOSE, 0);
    DWORD code = STILL_ACTIVE;
    ASSERT_TRUE(Tool.WaitForExit(Patience, code));

    ASSERT_NO_FATAL_FAILURE(PutSettings("", "WALL", false));
    ASSERT_NO_FATAL_FAILURE(Start(Second, startedIn.c_str()));
    ASSERT_NO_FATAL_FAILURE(ExpectBoxAndAnswer(Second, Unreadable({"SaveDir：空です。"}), "an empty folder"));
    HWND form = WaitSettingsShown(Second);
    ASSERT_TRUE(form);
    for (const char* typed : {"", "\\", "壁紙", "\\壁紙", "C:壁紙", "..\\壁紙"}) {
        SCOPED_TRACE(typed);
        ASSERT_NO_FATAL_FAILURE(Confirm(form, typed, "WALL"));
        ASSERT_NO_FATAL_FAILURE(ExpectBoxAndAnswer(Second, FolderRefused, "a folder that is no absolute path"));
        ASSERT_NO_FATAL_FAILURE(ExpectStillOpen(Second, form));
    }
    ASSERT_NO_FATAL_FAILURE(Confirm(form, SaveDir, "WALL"));
    ASSERT_TRUE(WaitForPicture(Second, "WALL", "WALL001.BMP"));
    EXPECT_TRUE(SameBytes(picture, Content(In("WALL001.BMP"))));
    ASSERT_NO_FATAL_FAILURE(ExitFromTrayMenu(Second, form));

    DWORD type = REG_NONE;
    EXPECT_EQ(SaveDir + '\0', RawValue("SaveDir", type));
    EXPECT_EQ((std::vector<std::string>{"WALL000.TMP", "WALL001.BMP"}), Names(SaveDir));
    EXPECT_TRUE(Names(startedIn).empty());
    EXPECT_EQ(rootHadMarker, Exists(driveRoot + "WALL000.TMP"));
    EXPECT_EQ(rootHadPicture, Exists(driveRoot + "WALL001.BMP"));
    EXPECT_TRUE(Outside({"started-in"}).empty());
}

TEST_F(E2EFaults, APrefixThatWouldLeaveTheSaveFolderIsRefusedSayingWhy) {
    ASSERT_NO_FATAL_FAILURE(Configure());
    ASSERT_TRUE(CreateDirectoryA(In("old").c_str(), nullptr));
    const std::string before = StoredSettings();
    ASSERT_NO_FATAL_FAILURE(SetWallpaper(Bitmap(0x24, 0x68, 0xAC)));
    ASSERT_NO_FATAL_FAILURE(Start(Tool));
    HWND form = WaitObserving(Tool);
    ASSERT_TRUE(form);
    DoubleClickTrayIcon(form);
    ASSERT_TRUE(WaitSettingsShown(Tool));

    const std::string tooLong(MAX_PATH - SaveDir.size() - 1 - 14, 'P');
    const struct {
        std::string prefix, why;
    } refused[] = {
        {"..\\WALL", "「..」などで保存先フォルダの外を指しています。"},
        {"old\\..\\..\\WALL", "「..」などで保存先フォルダの外を指しています。"},
        {"\\WALL", "「\\」や「/」で始まるため、保存先フォルダの外（ドライブのルート）を指します。"},
        {"C:WALL", "「:」は使えません。ドライブ名や、ファイルの別のデータ ストリームを指します。"},
        {"WALL:hidden", "「:」は使えません。ドライブ名や、ファイルの別のデータ ストリームを指します。"},
        {"WALL?", "ファイル名に使えない文字「?」が含まれています。"},
        {"WA\tLL", "制御文字が含まれています。"},
        {"sub\\WALL", "フォルダ「sub」が保存先フォルダの中にありません。"},
        {tooLong, "長すぎます。保存先フォルダと合わせたファイル名が 259 バイトを超えます。"},
    };
    for (const auto& r : refused) {
        SCOPED_TRACE(r.prefix);
        ASSERT_NO_FATAL_FAILURE(Confirm(form, SaveDir, r.prefix));
        ASSERT_NO_FATAL_FAILURE(ExpectBoxAndAnswer(Tool, PrefixRefused(r.prefix, r.why), "a prefix refused"));
        ASSERT_NO_FATAL_FAILURE(ExpectStillOpen(Tool, form));
    }
    // Refused values were never in force: cancelling keeps WALL.
    ASSERT_TRUE(Press(FindChildByText(form, CancelCaption)));
    ASSERT_TRUE(WaitHidden(Tool, form));
    const std::string second = Bitmap(0x35, 0x79, 0xBD);
    ASSERT_NO_FATAL_FAILURE(SetWallpaper(second));
    ASSERT_TRUE(WaitForPicture(Tool, "WALL", "WALL002.BMP"));
    EXPECT_TRUE(SameBytes(second, Content(In("WALL002.BMP"))));

    // A folder inside the save folder is a prefix like any. A new prefix
    // keeps the wallpaper in force once more, under its own numbers.
    DoubleClickTrayIcon(form);
    ASSERT_TRUE(WaitSettingsShown(Tool));
    ASSERT_NO_FATAL_FAILURE(Confirm(form, SaveDir, "old\\WALL"));
    ASSERT_TRUE(WaitHidden(Tool, form));
    ASSERT_TRUE(WaitInFolder(In("old"), Tool.Process(), [&] { return Hidden(In("old\\WALL000.TMP")); }));
    EXPECT_TRUE(SameBytes(second, Content(In("old\\WALL001.BMP"))));

    ASSERT_NO_FATAL_FAILURE(ExitFromTrayMenu(Tool, form));
    EXPECT_EQ((std::vector<std::string>{"WALL000.TMP", "WALL001.BMP", "WALL002.BMP", "old"}), Names(SaveDir));
    EXPECT_EQ((std::vector<std::string>{"WALL000.TMP", "WALL001.BMP"}), Names(In("old")));
    DWORD type = REG_NONE;
    EXPECT_EQ(std::string("old\\WALL") + '\0', RawValue("Prefix", type));
    EXPECT_EQ(SaveDir + '\0', RawValue("SaveDir", type));
    EXPECT_NE(before, StoredSettings());
    EXPECT_TRUE(Outside().empty());
}

// ---- One copy at a time ----

TEST_F(E2EFaults, OfTwoCopiesStartedTogetherExactlyOneRuns) {
    ASSERT_NO_FATAL_FAILURE(Configure());
    const std::string before = StoredSettings();
    const std::string picture = Bitmap(0x46, 0x8A, 0xCE);
    ASSERT_NO_FATAL_FAILURE(SetWallpaper(picture));
    constexpr int Rounds = 20;
    for (int round = 1; round <= Rounds; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        TVelmora copies[2];
        for (TVelmora& copy : copies) {
            DWORD error = 0;
            ASSERT_TRUE(copy.Start(error, nullptr, true)) << "error " << error;
        }
        for (TVelmora& copy : copies) copy.Resume();

        // One says it is running already and ends; the other runs.
        HWND box = nullptr, form = nullptr;
        int loser = -1;
        const bool settled = WaitUntil(nullptr, 0, [&] {
            for (int i = 0; i < 2; ++i) {
                HWND b = FindMessageBox(copies[i].Id());
                HWND f = FindTopLevel(copies[1 - i].Id(), nullptr, SettingsCaption, false);
                if (b && f) {
                    box = b, form = f, loser = i;
                    return true;
                }
            }
            return false;
        });
        ASSERT_TRUE(settled) << "not one copy refused and one running";
        TVelmora& running = copies[1 - loser];
        ASSERT_NO_FATAL_FAILURE(ExpectRefused(copies[loser], box));

        // Ended only once the start-up capture, which writes in the first
        // round, is over.
        if (round == 1) {
            ASSERT_TRUE(WaitForPicture(running, "WALL", "WALL001.BMP"));
        }
        ASSERT_TRUE(Sync(form));
        EXPECT_FALSE(FindMessageBox(running.Id()));
        if (round < Rounds)
            running.Kill();
        else
            ASSERT_NO_FATAL_FAILURE(ExitFromTrayMenu(running, form));
    }
    EXPECT_EQ((std::vector<std::string>{"WALL000.TMP", "WALL001.BMP"}), Names(SaveDir));
    EXPECT_TRUE(SameBytes(picture, Content(In("WALL001.BMP"))));
    EXPECT_EQ(before, StoredSettings());
    EXPECT_TRUE(Outside().empty());

    // A mutex of that name made by another program refuses the start too.
    HANDLE foreign = CreateMutexA(nullptr, FALSE, "Velmora");
    ASSERT_TRUE(foreign);
    ASSERT_NO_FATAL_FAILURE(Start(Tool));
    ASSERT_NO_FATAL_FAILURE(ExpectRefused(Tool, WaitMessageBox(Tool)));
    CloseHandle(foreign);
    ASSERT_NO_FATAL_FAILURE(Start(Second));
    HWND form = WaitSettingsWindow(Second);
    ASSERT_TRUE(form) << "no start once the mutex was gone";
    ASSERT_NO_FATAL_FAILURE(ExitFromTrayMenu(Second, form));
}
