// velmora.exe and the desktop wallpaper: pictures that another program (this
// one) sets with SystemParametersInfoW, as browsers, the Photos app, Explorer
// and scripts do, kept once each in their own format; and the tool started
// with Windows. The stored settings of these tests predate the desktop
// source: it is on all the same.
#include "e2e_fixture.h"

using namespace VelmoraE2E;
using namespace std::string_literals;

namespace {

// Pictures as their first bytes make them; the rest is filler of a size of
// its own, so that no two are alike.
std::string Jpeg(int n) {
    return "\xFF\xD8\xFF\xE0\x00\x10JFIF"s + std::string(100 + n, static_cast<char>('j' + n)) + "\xFF\xD9"s;
}
std::string Png(int n) { return "\x89PNG\r\n\x1A\n"s + std::string(200 + n, static_cast<char>('p' + n)); }
std::string Gif(int n) { return "GIF89a"s + std::string(300 + n, static_cast<char>('g' + n)); }

std::string NotAPicture(const std::string& file) {
    return "デスクトップの壁紙「" + file + "」は画像（BMP、JPEG、PNG、GIF）ではないため、保存しませんでした。";
}

class E2EDesktop : public E2EBase {
protected:
    void SetUp() override {
        ASSERT_NO_FATAL_FAILURE(E2EBase::SetUp());
        Pictures = Root + "\\set";
        ASSERT_TRUE(CreateDirectoryA(Pictures.c_str(), nullptr));
    }

    // A picture another program keeps, and then sets as the wallpaper.
    std::string Put(const std::string& name, const std::string& bytes) {
        const std::string file = Pictures + "\\" + name;
        WriteNew(file, bytes);
        return file;
    }
    void SetDesktop(const std::string& file) {
        ASSERT_TRUE(SetDesktopWallpaper(file)) << file << " error " << GetLastError();
    }

    // Started with settings, no bitmap of the browser and nothing in the save
    // folder; watching for sure once the settings window, opened from the
    // tray, has been cancelled. Only the message loop takes a posted message,
    // after the start-up; a sent one is answered while the start-up still
    // waits on the shell for its tray icon.
    HWND StartWatching(TVelmora& tool) {
        DWORD error = 0;
        if (!tool.Start(error)) return nullptr;
        HWND form = WaitSettingsWindow(tool);
        if (!form || !OpenSettings(tool, form, CancelCaption) || !Press(FindChildByText(form, CancelCaption)) ||
            !WaitHidden(tool, form) || !Sync(form))
            return nullptr;
        return form;
    }

    // The settings window opened from the tray; its control of caption.
    HWND OpenSettings(TVelmora& tool, HWND form, const char* caption) {
        DoubleClickTrayIcon(form);
        EXPECT_TRUE(WaitShown(tool, SettingsCaption)) << "a double-click on the tray icon did not show the settings";
        return FindChildByText(form, caption);
    }
    HWND OpenSettings(HWND form, const char* caption) { return OpenSettings(Tool, form, caption); }
    void Confirm(HWND form) {
        ASSERT_TRUE(Press(FindChildByText(form, SetCaption)));
        ASSERT_TRUE(WaitHidden(Tool, form)) << "the settings window stayed open";
    }

    // The marker holds a picture once the capture that took it is over.
    ::testing::AssertionResult WaitForMarker(const std::string& bytes) {
        const std::string marker = In("WALL000.TMP");
        return WaitInSaveDir(Tool, [&] { return Content(marker) == bytes && Hidden(marker); },
                             "the marker never held the picture");
    }

    std::string Pictures;  // the other programs' pictures, outside the save folder
};

std::string RunValue(DWORD& type) {
    char data[1024];
    DWORD size = sizeof data;
    type = REG_NONE;
    if (RegGetValueA(HKEY_CURRENT_USER, RunKey, "Velmora", RRF_RT_ANY | RRF_NOEXPAND, &type, data, &size) !=
        ERROR_SUCCESS)
        return "(no value)";
    return std::string(data, size);
}

}  // namespace

TEST_F(E2EDesktop, EachPictureAnyProgramSetsIsKeptOnceInItsOwnFormat) {
    ASSERT_NO_FATAL_FAILURE(Configure());
    HWND form = StartWatching(Tool);
    ASSERT_TRUE(form) << "the tool did not come up";

    // The type is the bytes', not the name's.
    const struct {
        const char* file;
        std::string bytes;
        const char* saved;
    } pictures[] = {
        {"photo.jpeg", Jpeg(1), "WALL001.JPG"},
        {"download.bmp", Png(2), "WALL002.PNG"},
        {"painting.jpg", Bitmap(0x12, 0x34, 0x56, 3), "WALL003.BMP"},
    };
    for (const auto& p : pictures) {
        SCOPED_TRACE(p.file);
        ASSERT_NO_FATAL_FAILURE(SetDesktop(Put(p.file, p.bytes)));
        ASSERT_TRUE(WaitForPicture(Tool, "WALL", p.saved));
        EXPECT_TRUE(SameBytes(p.bytes, Content(In(p.saved))));
    }

    // No picture: said once, kept never, and the settings stay closed.
    const std::string note = Put("readme.png", "This is no picture.");
    ASSERT_NO_FATAL_FAILURE(SetDesktop(note));
    ASSERT_NO_FATAL_FAILURE(ExpectBoxAndAnswer(Tool, NotAPicture(note), "a wallpaper that is no picture"));
    ASSERT_TRUE(Sync(form));
    EXPECT_FALSE(IsWindowVisible(form));
    // Watching resumed looks at it again, and says nothing more.
    ASSERT_TRUE(OpenSettings(form, CancelCaption));
    ASSERT_TRUE(Press(FindChildByText(form, CancelCaption)));
    ASSERT_TRUE(WaitHidden(Tool, form));

    const std::string last = Gif(4);
    ASSERT_NO_FATAL_FAILURE(SetDesktop(Put("last.gif", last)));
    ASSERT_TRUE(WaitForPicture(Tool, "WALL", "WALL004.GIF"));
    EXPECT_TRUE(SameBytes(last, Content(In("WALL004.GIF"))));
    EXPECT_FALSE(FindMessageBox(Tool.Id())) << "the same file was reported again";
    EXPECT_EQ((std::vector<std::string>{"WALL000.TMP", "WALL001.JPG", "WALL002.PNG", "WALL003.BMP", "WALL004.GIF"}),
              Names(SaveDir));
    EXPECT_TRUE(Outside({"set"}).empty());
}

TEST_F(E2EDesktop, TheBrowsersBitmapSetAsTheWallpaperIsKeptOnceAlsoAtTheNextStart) {
    ASSERT_NO_FATAL_FAILURE(Configure());
    HWND form = StartWatching(Tool);
    ASSERT_TRUE(form) << "the tool did not come up";

    // The browser writes its bitmap and sets it as the wallpaper: both
    // sources see the one picture.
    const std::string picture = Bitmap(0x31, 0x41, 0x59, 4);
    ASSERT_NO_FATAL_FAILURE(SetWallpaper(picture));
    ASSERT_NO_FATAL_FAILURE(SetDesktop(Wallpaper));
    ASSERT_TRUE(WaitForPicture(Tool, "WALL", "WALL001.BMP"));
    EXPECT_TRUE(SameBytes(picture, Content(In("WALL001.BMP"))));

    // Another program's picture after it: the browser's bitmap stays as it was.
    const std::string next = Jpeg(5);
    ASSERT_NO_FATAL_FAILURE(SetDesktop(Put("next.jpg", next)));
    ASSERT_TRUE(WaitForPicture(Tool, "WALL", "WALL002.JPG"));
    ASSERT_NO_FATAL_FAILURE(ExitFromTrayMenu(Tool, form));

    // Neither picture is new to the next start.
    ASSERT_TRUE(form = StartWatching(Second)) << "no second start";
    ASSERT_NO_FATAL_FAILURE(ExitFromTrayMenu(Second, form));
    EXPECT_EQ((std::vector<std::string>{"WALL000.TMP", "WALL001.BMP", "WALL002.JPG"}), Names(SaveDir));
}

TEST_F(E2EDesktop, AWallpaperSetWhileTheToolWasNotRunningIsKeptAtStart) {
    ASSERT_NO_FATAL_FAILURE(Configure());
    const std::string before = Png(6);
    ASSERT_NO_FATAL_FAILURE(SetDesktop(Put("before.png", before)));
    HWND form = StartWatching(Tool);
    ASSERT_TRUE(form);
    ASSERT_TRUE(WaitForPicture(Tool, "WALL", "WALL001.PNG")) << "the wallpaper found at start-up";
    EXPECT_TRUE(SameBytes(before, Content(In("WALL001.PNG"))));
    ASSERT_NO_FATAL_FAILURE(ExitFromTrayMenu(Tool, form));

    const std::string meanwhile = Jpeg(7);
    ASSERT_NO_FATAL_FAILURE(SetDesktop(Put("meanwhile.jpg", meanwhile)));
    ASSERT_TRUE(form = StartWatching(Second));
    ASSERT_TRUE(WaitForPicture(Second, "WALL", "WALL002.JPG")) << "the wallpaper set meanwhile";
    EXPECT_TRUE(SameBytes(meanwhile, Content(In("WALL002.JPG"))));
    ASSERT_NO_FATAL_FAILURE(ExitFromTrayMenu(Second, form));
    EXPECT_EQ((std::vector<std::string>{"WALL000.TMP", "WALL001.PNG", "WALL002.JPG"}), Names(SaveDir));
}

TEST_F(E2EDesktop, AReportedFileGoneRightAfterTheChangeIsTakenFromTheSystemsCopy) {
    ASSERT_NO_FATAL_FAILURE(Configure());
    HWND form = StartWatching(Tool);
    ASSERT_TRUE(form);

    // As Windows does it: the picture transcoded into its own copy when the
    // wallpaper is set. The browser then removes its temporary file.
    const std::string original = Png(8), transcoded = Jpeg(8);
    const std::string temporary = Put("browser-temp.png", original);
    const std::string appData = SpecialFolder(CSIDL_APPDATA);
    for (const char* folder : {"\\Microsoft\\Windows", "\\Microsoft\\Windows\\Themes"})
        CreateDirectoryA((appData + folder).c_str(), nullptr);
    ASSERT_NO_FATAL_FAILURE(WriteNew(SystemCopy, transcoded));
    ASSERT_NO_FATAL_FAILURE(SetDesktop(temporary));
    ASSERT_TRUE(DeleteFileA(temporary.c_str()));

    ASSERT_TRUE(WaitForPicture(Tool, "WALL", "WALL001.JPG")) << "the system's copy was not kept";
    EXPECT_TRUE(SameBytes(transcoded, Content(In("WALL001.JPG"))));
    EXPECT_EQ((std::vector<std::string>{"WALL000.TMP", "WALL001.JPG"}), Names(SaveDir));
}

TEST_F(E2EDesktop, WithNoDuplicatesASlideshowOfThreePicturesSetTwiceGivesThreeFiles) {
    ASSERT_NO_FATAL_FAILURE(Configure());
    HWND form = StartWatching(Tool);
    ASSERT_TRUE(form);
    HWND noDuplicates = OpenSettings(form, NoDuplicatesCaption);
    ASSERT_TRUE(noDuplicates);
    EXPECT_FALSE(Checked(noDuplicates)) << "off unless chosen";
    EXPECT_TRUE(Checked(FindChildByText(form, DesktopCaption))) << "the desktop source is on by default";
    ASSERT_TRUE(Toggle(noDuplicates));
    ASSERT_NO_FATAL_FAILURE(Confirm(form));

    const struct {
        std::string file, bytes;
        const char* saved;
    } slides[] = {
        {Put("slide1.jpg", Jpeg(10)), Jpeg(10), "WALL001.JPG"},
        {Put("slide2.png", Png(11)), Png(11), "WALL002.PNG"},
        {Put("slide3.bmp", Bitmap(0x50, 0x60, 0x70, 5)), Bitmap(0x50, 0x60, 0x70, 5), "WALL003.BMP"},
    };
    for (const auto& s : slides) {
        ASSERT_NO_FATAL_FAILURE(SetDesktop(s.file));
        ASSERT_TRUE(WaitForPicture(Tool, "WALL", s.saved));
    }
    // The second round: each picture seen (the marker takes it) and not kept.
    for (const auto& s : slides) {
        SCOPED_TRACE(s.file);
        ASSERT_NO_FATAL_FAILURE(SetDesktop(s.file));
        ASSERT_TRUE(WaitForMarker(s.bytes));
    }
    ASSERT_NO_FATAL_FAILURE(ExitFromTrayMenu(Tool, form));
    EXPECT_EQ((std::vector<std::string>{"WALL000.TMP", "WALL001.JPG", "WALL002.PNG", "WALL003.BMP"}), Names(SaveDir));
    DWORD type = REG_NONE;
    EXPECT_EQ(Dword(1), RawValue("NoDuplicates", type));
    EXPECT_EQ(static_cast<DWORD>(REG_DWORD), type);
    EXPECT_EQ(Dword(1), RawValue("Desktop", type));
}

TEST_F(E2EDesktop, StartWithWindowsWritesTheRunValueAndTakesItAwayAgain) {
    ASSERT_NO_FATAL_FAILURE(Configure());
    HWND form = StartWatching(Tool);
    ASSERT_TRUE(form);
    std::string quoted = "\"";
    quoted += ProgramPath();
    quoted += '"';

    HWND start = OpenSettings(form, StartCaption);
    ASSERT_TRUE(start);
    EXPECT_FALSE(Checked(start));
    ASSERT_TRUE(Toggle(start));
    ASSERT_NO_FATAL_FAILURE(Confirm(form));
    DWORD type = REG_NONE;
    EXPECT_EQ(quoted + '\0', RunValue(type)) << "written when confirmed";
    EXPECT_EQ(static_cast<DWORD>(REG_SZ), type);

    ASSERT_TRUE(OpenSettings(form, StartCaption));
    EXPECT_TRUE(Checked(start));
    ASSERT_TRUE(Toggle(start));
    ASSERT_NO_FATAL_FAILURE(Confirm(form));
    EXPECT_EQ("(no value)", RunValue(type)) << "removed when confirmed";

    // The box shows the value as it is, whoever wrote it; deleting the
    // settings takes it away with them.
    ASSERT_EQ(ERROR_SUCCESS, RegSetKeyValueA(HKEY_CURRENT_USER, RunKey, "Velmora", REG_SZ, quoted.c_str(),
                                             static_cast<DWORD>(quoted.size() + 1)));
    ASSERT_TRUE(OpenSettings(form, StartCaption));
    EXPECT_TRUE(Checked(start));
    ASSERT_TRUE(Press(FindChildByText(form, DeleteCaption)));
    HWND box = WaitMessageBox(Tool);
    ASSERT_TRUE(box);
    ASSERT_TRUE(Answer(box, IDOK));
    DWORD code = STILL_ACTIVE;
    ASSERT_TRUE(Tool.WaitForExit(Patience, code));
    EXPECT_EQ("(no value)", RunValue(type)) << "left behind by 設定削除";
}
