// velmora.exe itself, started as a program and used from outside through its
// windows, its tray icon's messages, the registry and the folders it works
// on, in the Wine prefix this test program runs in.
#include "e2e_fixture.h"

#include <cstdlib>

using namespace VelmoraE2E;

namespace {

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
    // Set before the start: a first run saves nothing until confirmed, and
    // keeps it then.
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
    // Watching starts with one capture at once.
    ASSERT_TRUE(WaitForPicture(Tool, "壁紙", "壁紙001.BMP")) << "the wallpaper found when the settings were confirmed";
    EXPECT_EQ(picture, Content(In("壁紙001.BMP")));

    // The next one when the browser writes it; another change in its folder
    // saves nothing more.
    const std::string next = Bitmap(0x21, 0x81, 0xE1);
    ASSERT_NO_FATAL_FAILURE(SetWallpaper(next));
    ASSERT_TRUE(WaitForPicture(Tool, "壁紙", "壁紙002.BMP")) << "after the settings were confirmed";
    EXPECT_EQ(next, Content(In("壁紙002.BMP")));
    EXPECT_EQ((std::vector<std::string>{"壁紙000.TMP", "壁紙001.BMP", "壁紙002.BMP"}), Names(SaveDir));

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
    ASSERT_NO_FATAL_FAILURE(ExpectRefused(Second, WaitMessageBox(Second)));

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

// The layout is given at 96 pixels per inch; at another resolution every
// length is scaled to it (VELMORA_TEST_PPI names the one a run must be at).
TEST_F(E2ELayout, TheSettingsWindowAndTheVersionBoxKeepTheirLayout) {
    HDC screen = GetDC(nullptr);
    const int ppi = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
    if (const char* required = std::getenv("VELMORA_TEST_PPI")) {
        ASSERT_EQ(std::atoi(required), ppi) << "the prefix does not run at the resolution this run is for";
    }
    auto at = [ppi](int length) { return MulDiv(length, ppi, 96); };

    ASSERT_NO_FATAL_FAILURE(Configure());
    ASSERT_NO_FATAL_FAILURE(Start(Tool));
    HWND form = WaitSettingsWindow(Tool);
    ASSERT_TRUE(form) << "the tool did not come up";
    DoubleClickTrayIcon(form);
    ASSERT_TRUE(WaitShown(Tool, SettingsCaption));

    // 422 x 148 before the three check boxes below the buttons: the window
    // grew by their rows, and nothing above them moved.
    RECT client{};
    GetClientRect(form, &client);
    EXPECT_EQ(at(422), client.right);
    EXPECT_EQ(at(221), client.bottom);

    struct TPlace {
        const char* what;
        int left, top, width, height;
    };
    auto expectAt = [&](HWND owner, HWND control, const TPlace& p) {
        ASSERT_TRUE(control) << p.what;
        RECT r = ClientRectOf(control, owner);
        EXPECT_EQ(at(p.left), r.left) << p.what;
        EXPECT_EQ(at(p.top), r.top) << p.what;
        EXPECT_EQ(at(p.width), r.right - r.left) << p.what;
        EXPECT_EQ(at(p.height), r.bottom - r.top) << p.what;
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
    expectAt(form, FindChildByText(form, DesktopCaption), {DesktopCaption, 8, 148, 330, 17});
    expectAt(form, FindChildByText(form, NoDuplicatesCaption), {NoDuplicatesCaption, 8, 170, 330, 17});
    expectAt(form, FindChildByText(form, StartCaption), {StartCaption, 8, 192, 330, 17});

    ASSERT_TRUE(Press(FindChildByText(form, CancelCaption)));
    ASSERT_TRUE(WaitHidden(Tool, form));
    HWND menu = OpenTrayMenu(Tool.Process(), Tool.Id(), form);
    ASSERT_TRUE(menu);
    PressKeys(menu, {VK_DOWN, VK_RETURN});
    HWND about = WaitShown(Tool, AboutCaption);
    ASSERT_TRUE(about);
    GetClientRect(about, &client);
    EXPECT_EQ(at(247), client.right);
    EXPECT_EQ(at(173), client.bottom);
    expectAt(about, FindChildByText(about, "OK"), {"OK", 87, 136, 73, 25});
}
